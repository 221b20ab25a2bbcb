// The RIFF module as the program uses it: loaded with dlopen, texts through caller
// buffers, Detect and FindEnd on files made by sox and on hand-built ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/plugins/support/PluginModule.h"

namespace {

using namespace plugin_test;

// A RIFF file of the given form whose chunk size matches its `body` bytes.
Bytes MakeRiff(const char form[4], size_t body) {
  Bytes b(12 + body, 0);
  std::memcpy(b.data(), "RIFF", 4);
  PutLe32(b, 4, static_cast<uint32_t>(4 + body));
  std::memcpy(b.data() + 8, form, 4);
  for (size_t i = 12; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 7);
  return b;
}

class RiffPlugin : public PluginTest {
 protected:
  RiffPlugin() : PluginTest("Riff.fpi") {}
  // Detect without a Reset: the form found before stays.
  int Detect(const Bytes& b) { return Module->Detect(b.data(), static_cast<unsigned>(b.size())); }
};

TEST_F(RiffPlugin, ExtensionFollowsTheDetectedForm) {
  const struct {
    const char* form;
    const char* extension;
  } cases[] = {{"WAVE", ".wav"}, {"AVI ", ".avi"}, {"RMP3", ".rmp"}, {"ACON", ".ani"}, {"CDXA", ".riff"}, {"AVI?", ".riff"}};
  for (const auto& c : cases) {
    Module->Reset();
    ASSERT_EQ(Detect(MakeRiff(c.form, 100)), 1) << c.form;
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    const int length = Module->GetExtension(16, buf);
    EXPECT_STREQ(buf, c.extension) << c.form;
    EXPECT_EQ(length, static_cast<int>(std::strlen(c.extension)));
    for (size_t i = std::strlen(c.extension); i < sizeof buf; ++i) EXPECT_EQ(buf[i], '\0') << c.form;
  }
}

TEST_F(RiffPlugin, NoExtensionBeforeADetect) {
  Module->Reset();
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(Module->GetExtension(16, buf), 0);
  for (char c : buf) EXPECT_EQ(c, '\0');
}

TEST_F(RiffPlugin, FailedDetectKeepsTheFormButForgetsTheFile) {
  Module->Reset();
  Bytes wav = MakeRiff("WAVE", 32);
  ASSERT_EQ(Detect(wav), 1);
  Bytes other = wav;
  other[0] = 'X';
  EXPECT_EQ(Detect(other), 0);
  EXPECT_EQ(Extension(), ".wav");
  bool end = false;
  EXPECT_EQ(FindEnd(wav, end), 0u);
  EXPECT_TRUE(end);
}

TEST_F(RiffPlugin, FindEndAnswersOnceWithTheStatedLength) {
  Module->Reset();
  Bytes wav = MakeRiff("WAVE", 32);  // chunk size 36
  ASSERT_EQ(Detect(wav), 1);
  ExpectEndOnce(wav, 44);
  EXPECT_EQ(Extension(), ".wav");
}

TEST_F(RiffPlugin, StatedLengthBeyondTheDataIsReturnedAsIs) {
  Bytes head = MakeRiff("AVI ", 2036);  // one 2048-byte sector
  PutLe32(head, 4, 5'000'000);
  Module->Reset();
  ASSERT_EQ(Detect(head), 1);
  ExpectEndOnce(head, 5'000'008);
}

TEST_F(RiffPlugin, ASizeThatWouldWrapIsNotAFile) {
  Module->Reset();
  EXPECT_EQ(Detect(Bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}), 0);
  Bytes wraps = MakeRiff("WAVE", 0);
  PutLe32(wraps, 4, 0xFFFFFFF8u);  // plus 8 would wrap to 0
  EXPECT_EQ(Detect(wraps), 0);
  PutLe32(wraps, 4, 0xFFFFFFF7u);
  EXPECT_EQ(Detect(wraps), 1);
  Bytes binaryForm = MakeRiff("WAVE", 10);
  binaryForm[9] = 0x01;
  EXPECT_EQ(Detect(binaryForm), 1);
  // Shorter than the header: nothing past the given bytes is read (checked by the sanitizers).
  Bytes shortHead = MakeRiff("WAVE", 0);
  shortHead.resize(11);
  EXPECT_EQ(Detect(shortHead), 0);
  EXPECT_EQ(Detect(Bytes{}), 0);
}

TEST_F(RiffPlugin, CarvesHandBuiltFormsFollowedByOtherData) {
  const Bytes next = MakeRiff("WAVE", 3000);
  for (unsigned sector : kSectorSizes) {
    for (const char* form : {"ACON", "RMP3", "AVI ", "INFO"}) {
      const Bytes file = MakeRiff(form, 5000);
      EXPECT_EQ(CarvedLength(*Module, OnDisc(file, next, sector), sector), static_cast<long long>(file.size()))
          << form << " in sectors of " << sector;
    }
  }
}

TEST_F(RiffPlugin, CarvesWavFilesMadeBySox) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  // 8-bit mono with an odd sample count ends in a pad byte that belongs to the file.
  ASSERT_TRUE(Shell("sox -n -r 8000 -b 8 -c 1 " + dir / "odd.wav" + " synth 0.5001 sine 440"));
  ASSERT_TRUE(Shell("sox -n -r 44100 -b 16 -c 2 " + dir / "stereo.wav" + " synth 0.3 sine 300"));
  const Bytes odd = plugin_test::ReadFile(dir / "odd.wav");
  const Bytes stereo = plugin_test::ReadFile(dir / "stereo.wav");
  ASSERT_EQ(odd.size(), 44u + 4001u + 1u);  // header, samples, pad byte
  ASSERT_GT(stereo.size(), 50000u);

  for (unsigned sector : kSectorSizes) {
    EXPECT_EQ(CarvedLength(*Module, OnDisc(odd, stereo, sector), sector), static_cast<long long>(odd.size()));
    EXPECT_EQ(Extension(), ".wav");
    EXPECT_EQ(CarvedLength(*Module, OnDisc(stereo, Bytes(4096, 0), sector), sector),
              static_cast<long long>(stereo.size()));
  }
}

TEST_F(RiffPlugin, DamagedWavFilesAreNotCarvedPastTheirData) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  ASSERT_TRUE(Shell("sox -n -r 22050 -b 16 -c 1 " + dir / "t.wav" + " synth 0.5 sine 500"));
  const Bytes wav = plugin_test::ReadFile(dir / "t.wav");
  ASSERT_GT(wav.size(), 8192u);
  // The size left as a writer that cannot seek leaves it, 0xFFFFFFFF: plus 8 it would
  // make a file of 7 bytes.
  Bytes streamed = wav;
  PutLe32(streamed, 4, 0xFFFFFFFFu);
  EXPECT_EQ(CarvedLength(*Module, OnDisc(streamed, Bytes(4096, 0), 2048)), -1);
  // Cut short: the stated length runs past the data.
  EXPECT_EQ(CarvedLength(*Module, Bytes(wav.begin(), wav.begin() + static_cast<std::ptrdiff_t>(wav.size() / 2))), -1);
}

}  // namespace
