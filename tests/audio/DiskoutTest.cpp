#include "audio/Diskout.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <functional>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Files.h"
#include "tests/support/RandomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/Tools.h"

namespace {

using test_support::Capture;
using test_support::HaveTool;
using test_support::Quote;
using test_support::ReadFile;
using test_support::TempDir;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t(b.at(at + 3)) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b.at(at) | b.at(at + 1) << 8); }

// Little-endian fields of a header: where each lies, its width in bytes and its value.
struct Field {
  size_t At;
  int Width;
  uint32_t Value;
};
void ExpectFields(const std::vector<uint8_t>& file, std::initializer_list<Field> fields) {
  for (const Field& f : fields) EXPECT_EQ(f.Width == 2 ? U16(file, f.At) : U32(file, f.At), f.Value) << "at " << f.At;
}

std::vector<uint8_t> Audio(size_t bytes, uint32_t seed = 1) { return test_support::RandomBytes(bytes, seed); }

// The file the sink writes of `bytes` in the format `format` sets (CD audio when none).
std::vector<uint8_t> Written(const std::filesystem::path& path, const void* bytes, size_t size,
                             const std::function<bool(TDiskOut&)>& format = {}) {
  TDiskOut out;
  EXPECT_TRUE(!format || format(out));
  EXPECT_TRUE(out.SetFileName(path.string()));
  EXPECT_TRUE(out.Open());
  EXPECT_TRUE(size == 0 || out.Write(bytes, size));
  EXPECT_TRUE(out.Close());
  return ReadFile(path);
}

TEST(DiskOutTest, DefaultsAreCdAudio) {
  TDiskOut out;
  EXPECT_EQ(out.GetName(), "TDiskOut");
  const auto& f = out.GetFormat();
  EXPECT_EQ(f.wFormatTag, 1);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nSamplesPerSec, 44100u);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
  EXPECT_EQ(f.cbSize, 0);
  EXPECT_EQ(out.GetBufferTime(), 1000u);
  EXPECT_EQ(out.GetBufferBytes(), 176400u);
  EXPECT_EQ(out.GetBufferSamples(), 44100u);
  EXPECT_EQ(out.GetDeviceName(), "");
  EXPECT_FALSE(out.IsOpen());
}

TEST(DiskOutTest, OneSectorGivesTheCdHeaderAndTheData) {
  TempDir dir("qnl-wav");
  const auto path = dir / "track01.wav";
  const auto data = Audio(4 * 588);
  {
    TDiskOut out;
    ASSERT_TRUE(out.SetFileName(path.string()));
    ASSERT_TRUE(out.Open());
    EXPECT_TRUE(out.Write(data.data(), 1000));
    EXPECT_TRUE(out.Write(data.data() + 1000, data.size() - 1000));
    EXPECT_TRUE(out.Close());
    EXPECT_FALSE(out.Close()) << "nothing left to close";
  }
  const auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 2396u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 16), std::string("RIFF\x54\x09\0\0WAVEfmt ", 16));
  ExpectFields(file, {{4, 4, 2388}, {16, 4, 16}, {20, 2, 1}, {22, 2, 2}, {24, 4, 44100}, {28, 4, 176400}, {32, 2, 4},
                      {34, 2, 16}, {40, 4, 2352}});
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
  EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + 44));
}

TEST(DiskOutTest, EmptyFileHasConsistentSizes) {
  TempDir dir("qnl-wav");
  const auto file = Written(dir / "empty.wav", nullptr, 0);
  ASSERT_EQ(file.size(), 44u);
  ExpectFields(file, {{4, 4, 36}, {40, 4, 0}});
}

TEST(DiskOutTest, SoxReadsTheFileAsWrittenSamples) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  TempDir dir("qnl-wav");
  const auto path = dir / "rip.wav";
  const auto data = Audio(4 * 588 * 75, 7);  // one second of CD frames
  {
    TDiskOut out;
    out.SetFileName(path.string());
    ASSERT_TRUE(out.Open());
    for (size_t at = 0; at < data.size(); at += 4 * 588 * 27)
      ASSERT_TRUE(out.Write(data.data() + at, std::min<size_t>(4 * 588 * 27, data.size() - at)));
    ASSERT_TRUE(out.Close());
  }
  const std::string info = Capture("soxi " + Quote(path) + " 2>&1");
  EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
  EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
  EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
  EXPECT_NE(info.find("= 44100 samples"), std::string::npos) << info;
  EXPECT_NE(info.find("Signed Integer PCM"), std::string::npos) << info;
  EXPECT_EQ(info.find("WARN"), std::string::npos) << info;

  EXPECT_EQ(test_support::SoxPcm(path), data);
}

TEST(DiskOutTest, SettersAreRefusedWhileOpenAndChangeNothing) {
  TempDir dir("qnl-wav");
  TDiskOut out;
  out.SetFileName((dir / "a.wav").string());
  ASSERT_TRUE(out.Open());
  EXPECT_FALSE(out.Open());
  EXPECT_FALSE(out.SetFormat(1, 8, 8000));
  EXPECT_FALSE(out.SetFormatEx(1, true, 48000, 6, 0x3F));
  EXPECT_FALSE(out.SetBufferTime(10));
  EXPECT_FALSE(out.SetFileName((dir / "b.wav").string()));
  EXPECT_EQ(out.GetFormat().nChannels, 2);
  EXPECT_EQ(out.GetFormat().wFormatTag, 1);
  EXPECT_EQ(out.GetBufferTime(), 1000u);
  EXPECT_EQ(out.GetFileName(), (dir / "a.wav").string());
  const auto data = Audio(400);
  ASSERT_TRUE(out.Write(data.data(), data.size()));
  ASSERT_TRUE(out.Close());
  EXPECT_FALSE(std::filesystem::exists(dir / "b.wav"));
  const auto file = ReadFile(dir / "a.wav");
  ASSERT_EQ(file.size(), 444u);
  ExpectFields(file, {{40, 4, 400}});  // the data size sits where the 16-byte fmt chunk puts it
  // Closed again, the setters work.
  EXPECT_TRUE(out.SetFormat(1, 8, 8000));
  EXPECT_EQ(out.GetFormat().nBlockAlign, 1);
  EXPECT_EQ(out.GetBufferBytes(), 8000u);
}

TEST(DiskOutTest, WriteAndCloseNeedAnOpenFile) {
  TDiskOut out;
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_FALSE(out.Write(bytes, 4));
  EXPECT_FALSE(out.Close());
}

TEST(DiskOutTest, OpenFailsCleanlyWhenTheFileCannotBeCreated) {
  TempDir dir("qnl-wav");
  TDiskOut out;
  out.SetFileName((dir / "missing" / "x.wav").string());
  EXPECT_FALSE(out.Open());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_TRUE(out.SetFileName((dir / "x.wav").string())) << "the sink stays closed";
  EXPECT_TRUE(out.Open());
}

TEST(DiskOutTest, OpenReplacesAnExistingFileOfTheSameName) {
  TempDir dir("qnl-wav");
  const auto path = dir / "old.wav";
  std::ofstream(path, std::ios::binary) << std::string(5000, 'x');
  TDiskOut out;
  out.SetFileName(path.string());
  ASSERT_TRUE(out.Open());
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(std::filesystem::file_size(path), 44u);
}

TEST(DiskOutTest, DestroyingAnOpenSinkLeavesCorrectSizes) {
  TempDir dir("qnl-wav");
  const auto path = dir / "cancelled.wav";
  const auto data = Audio(4 * 588 * 3);
  {
    TDiskOut out;
    out.SetFileName(path.string());
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(out.Write(data.data(), data.size()));
  }
  const auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 44 + data.size());
  ExpectFields(file, {{4, 4, static_cast<uint32_t>(36 + data.size())}, {40, 4, static_cast<uint32_t>(data.size())}});
}

// Exit code 0 when a write beyond the file-size limit is reported as failed.
[[noreturn]] void WriteBeyondFileSizeLimit(const std::string& path) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{8192, 8192};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  TDiskOut out;
  out.SetFileName(path);
  if (!out.Open()) std::_Exit(2);
  const std::vector<uint8_t> data(16384, 0x55);
  if (out.Write(data.data(), data.size())) std::_Exit(3);
  std::_Exit(out.Close() ? 0 : 4);
}

TEST(DiskOutTest, ShortWriteIsReported) {
  // The file-size limit makes the disk "full" after 8 KiB; it is set in a child process.
  TempDir dir("qnl-wav");
  const std::string path = (dir / "full.wav").string();
  EXPECT_EXIT(WriteBeyondFileSizeLimit(path), ::testing::ExitedWithCode(0), "");
  const auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 8192u);
  ExpectFields(file, {{4, 4, 8184}, {40, 4, 8148}});  // the sizes still describe what reached the disk
}

TEST(DiskOutTest, BufferFollowsFormatAndTime) {
  TDiskOut out;
  EXPECT_TRUE(out.SetBufferTime(250));
  EXPECT_EQ(out.GetBufferBytes(), 44100u / 4 * 4);
  EXPECT_EQ(out.GetBufferSamples(), 11025u);
  EXPECT_TRUE(out.SetFormat(1, 16, 22050));
  EXPECT_EQ(out.GetFormat().nAvgBytesPerSec, 44100u);
  EXPECT_EQ(out.GetBufferBytes(), 22050u / 4 * 2);
  EXPECT_EQ(out.GetBufferSamples(), 5512u);
  // A format without a block size has no samples to count rather than a division by zero.
  EXPECT_TRUE(out.SetFormatEx(42, false, 44100, 2, 0));
  EXPECT_EQ(out.GetFormat().nBlockAlign, 0);
  EXPECT_EQ(out.GetBufferSamples(), 0u);
}

TEST(DiskOutTest, ExtensibleFormatWritesA68ByteHeader) {
  TempDir dir("qnl-wav");
  const auto path = dir / "ext.wav";
  const auto data = Audio(4 * 588, 3);
  const auto file =
      Written(path, data.data(), data.size(), [](TDiskOut& out) { return out.SetFormatEx(1, true, 44100, 2, 0x3); });
  ASSERT_EQ(file.size(), 68 + data.size());
  const auto size = static_cast<uint32_t>(data.size());
  ExpectFields(file, {{4, 4, 60 + size}, {16, 4, 40}, {20, 2, 0xFFFE}, {32, 2, 4}, {34, 2, 16}, {36, 2, 22}, {38, 2, 16},
                      {40, 4, 3}, {64, 4, size}});
  const std::vector<uint8_t> pcmGuid = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  EXPECT_TRUE(std::equal(pcmGuid.begin(), pcmGuid.end(), file.begin() + 44));
  EXPECT_EQ(std::string(file.begin() + 60, file.begin() + 64), "data");

  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  EXPECT_EQ(test_support::SoxPcm(path), data);
}

TEST(DiskOutTest, FloatFormatHasAn18ByteFmtChunk) {
  TempDir dir("qnl-wav");
  const auto path = dir / "float.wav";
  const std::vector<float> samples = {0.0f, 0.5f, -0.25f, 1.0f, -1.0f, 0.125f};
  const auto file = Written(path, samples.data(), samples.size() * sizeof(float),
                            [](TDiskOut& out) { return out.SetFormatEx(5, false, 48000, 2, 0); });
  ASSERT_EQ(file.size(), 46 + 24u);
  // cbSize 0 at 36.
  ExpectFields(file, {{4, 4, 38 + 24}, {16, 4, 18}, {20, 2, 3}, {24, 4, 48000}, {28, 4, 384000}, {32, 2, 8},
                      {34, 2, 32}, {36, 2, 0}, {42, 4, 24}});
  EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");

  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  const std::string info = Capture("soxi " + Quote(path) + " 2>&1");
  EXPECT_NE(info.find("Floating Point PCM"), std::string::npos) << info;
  EXPECT_NE(info.find("= 3 samples"), std::string::npos) << info;
}

TEST(DiskOutTest, TwentyFourBitsInFourBytesIsAValidExtensibleFile) {
  TempDir dir("qnl-wav");
  const auto path = dir / "24in32.wav";
  TDiskOut out;
  ASSERT_TRUE(out.SetFormatEx(3, true, 96000, 2, 0x3));
  EXPECT_EQ(out.GetFormat().nBlockAlign, 8);
  EXPECT_EQ(out.GetFormat().wBitsPerSample, 32) << "the container holds every byte of the block";
  EXPECT_EQ(out.GetFormat().wValidBitsPerSample, 24);
  out.SetFileName(path.string());
  ASSERT_TRUE(out.Open());
  const std::vector<int32_t> samples = {0x100, -0x100, 0x7FFFFF00, -0x7FFFFF00};
  ASSERT_TRUE(out.Write(samples.data(), samples.size() * 4));
  ASSERT_TRUE(out.Close());
  const auto file = ReadFile(path);
  ASSERT_EQ(file.size(), 68 + 16u);
  ExpectFields(file, {{32, 2, 8}, {34, 2, 32}, {38, 2, 24}, {64, 4, 16}});
}

}  // namespace
