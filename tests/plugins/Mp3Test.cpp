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

constexpr unsigned SectorSize = 2048;

Bytes Zeros(size_t n) { return Bytes(n, 0); }

// Headers named by version, layer, bit rate and frequency; byte 2 holds the bit-rate
// index, the frequency index and the padding bit.
struct Header {
  unsigned char b1, b2;
  unsigned length;
};
// The frame lengths the MPEG audio standards give for these headers.
constexpr Header Mpeg1Layer3At128k44100{0xFB, 0x90, 417};
constexpr Header Mpeg1Layer3At128k44100Padded{0xFB, 0x92, 418};
constexpr Header Mpeg2Layer3At64k22050{0xF3, 0x80, 208};
constexpr Header Mpeg2Layer2At64k22050{0xF5, 0x80, 417};
constexpr Header Mpeg1Layer1At32k32000{0xFF, 0x18, 48};
constexpr Header Mpeg1Layer1At32k32000Padded{0xFF, 0x1A, 52};  // the padding is one 4-byte slot
constexpr Header Mpeg1Layer2At192k48000{0xFD, 0xA4, 576};
constexpr Header Mpeg2Layer1At32k16000{0xF7, 0x18, 96};
constexpr Header Mpeg25Layer3At8k8000{0xE3, 0x18, 72};
constexpr Header Mpeg25Layer3At64k11025{0xE3, 0x80, 417};

Bytes Frame(unsigned char b1, unsigned char b2, unsigned length) {
  Bytes f(length, 0x55);  // a body that never looks like a header
  f[0] = 0xFF;
  f[1] = b1;
  f[2] = b2;
  f[3] = 0x44;
  return f;
}

Bytes Frames(const Header& h, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const Bytes f = Frame(h.b1, h.b2, h.length);
    out.insert(out.end(), f.begin(), f.end());
  }
  return out;
}

// An ID3v2 tag: 10-byte header, `bodySize` bytes and, with `footer`, the 10-byte footer.
Bytes Id3v2Tag(unsigned char version, std::uint32_t bodySize, bool footer) {
  Bytes tag(10, 0);
  std::memcpy(tag.data(), "ID3", 3);
  tag[3] = version;
  tag[5] = footer ? 0x10 : 0;
  for (int i = 0; i < 4; ++i) tag[6 + i] = static_cast<unsigned char>((bodySize >> (7 * (3 - i))) & 0x7F);
  Bytes body(bodySize, 'b');
  tag.insert(tag.end(), body.begin(), body.end());
  if (footer) {
    Bytes foot(tag.begin(), tag.begin() + 10);
    std::memcpy(foot.data(), "3DI", 3);
    tag.insert(tag.end(), foot.begin(), foot.end());
  }
  return tag;
}

Bytes Id3v1Tag() {
  Bytes tag(128, ' ');
  std::memcpy(tag.data(), "TAG", 3);
  return tag;
}

class Mp3Plugin : public PluginTest {
 protected:
  Mp3Plugin() : PluginTest("Mp3.fpi") {}
  long long Carve(const Bytes& stream) { return CarvedLength(*Module, stream, SectorSize); }
};

TEST_F(Mp3Plugin, HeaderSizeDependsOnWhetherDetectRan) {
  Module->Reset();
  EXPECT_EQ(Module->GetHeaderSize(), 10);
  Detect(Zeros(SectorSize));
  EXPECT_EQ(Module->GetHeaderSize(), 4);
  Module->Reset();
  EXPECT_EQ(Module->GetHeaderSize(), 10);
}

TEST_F(Mp3Plugin, FrameLengthsFollowVersionLayerRateAndFrequency) {
  for (const Header& h : {Mpeg1Layer3At128k44100, Mpeg1Layer3At128k44100Padded, Mpeg2Layer3At64k22050,
                          Mpeg2Layer2At64k22050, Mpeg1Layer1At32k32000, Mpeg1Layer1At32k32000Padded, Mpeg1Layer2At192k48000,
                          Mpeg2Layer1At32k16000, Mpeg25Layer3At8k8000, Mpeg25Layer3At64k11025}) {
    SCOPED_TRACE(testing::Message() << std::hex << int(h.b1) << " " << int(h.b2));
    const Bytes stream = Frames(h, 20);
    EXPECT_EQ(Detect(stream), 1);
    EXPECT_EQ(Carve(Concat({stream, Zeros(2 * SectorSize)})), 20LL * h.length);
  }
  // Padded and unpadded frames mixed, as an encoder writes them.
  Bytes mixed;
  for (int i = 0; i < 30; ++i) {
    const Header& h = i % 3 == 0 ? Mpeg1Layer3At128k44100Padded : Mpeg1Layer3At128k44100;
    const Bytes f = Frame(h.b1, h.b2, h.length);
    mixed.insert(mixed.end(), f.begin(), f.end());
  }
  EXPECT_EQ(Carve(Concat({mixed, Zeros(SectorSize)})), static_cast<long long>(mixed.size()));
}

TEST_F(Mp3Plugin, InvalidHeaderEndsTheStreamThere) {
  const Bytes good = Frames(Mpeg1Layer3At128k44100, 10);
  const auto end = static_cast<long long>(good.size());
  const Bytes tail = Frames(Mpeg1Layer3At128k44100, 10);
  for (unsigned char b2 : {0x00, 0xF0, 0x9C}) {  // bit-rate index 0 or 15, frequency index 3
    Bytes bad = tail;
    bad[2] = b2;
    EXPECT_EQ(Carve(Concat({good, bad, Zeros(SectorSize)})), end) << int(b2);
  }
  for (unsigned char b1 : {0xEB, 0xE9, 0xF9}) {  // reserved version bits; reserved layer
    Bytes bad = tail;
    bad[1] = b1;
    EXPECT_EQ(Carve(Concat({good, bad, Zeros(SectorSize)})), end) << int(b1);
  }
}

TEST_F(Mp3Plugin, DetectRefusesSectorsThatOnlyLookLikeAFrame) {
  EXPECT_EQ(Detect(Bytes(SectorSize, 0xFF)), 0);
  EXPECT_EQ(Detect(Zeros(SectorSize)), 0);
  for (unsigned char b2 : {0x00, 0xF0, 0x9C}) {
    Bytes bad = Frames(Mpeg1Layer3At128k44100, 5);
    bad[2] = b2;
    EXPECT_EQ(Detect(bad), 0) << int(b2);
  }
  Bytes reservedLayer = Frames(Mpeg1Layer3At128k44100, 5);
  reservedLayer[1] = 0xF9;
  EXPECT_EQ(Detect(reservedLayer), 0);
  Bytes reservedVersion = Frames(Mpeg25Layer3At8k8000, 40);
  reservedVersion[1] = 0xEB;
  EXPECT_EQ(Detect(reservedVersion), 0);

  // What the sync alone would take: a frame whose length the header cannot give.
  Bytes lone = RandomBytes(SectorSize, 2);
  lone[0] = 0xFF;
  lone[1] = 0xFB;
  lone[2] = 0x90;
  EXPECT_EQ(Detect(lone), 1);
  EXPECT_EQ(Detect(Bytes(Frames(Mpeg1Layer2At192k48000, 1))), 1);
  // Too little data for a header.
  const Bytes frames = Frames(Mpeg1Layer3At128k44100, 2);
  for (unsigned size = 0; size < 4; ++size) EXPECT_EQ(Detect(Bytes(frames.begin(), frames.begin() + size)), 0);
}

TEST_F(Mp3Plugin, LeadingTagIsSkippedByItsOwnSize) {
  const Bytes frames = Frames(Mpeg1Layer3At128k44100, 12);
  const Bytes tag = Id3v2Tag(3, 1000, false);
  ASSERT_EQ(tag.size(), 1010u);
  const Bytes file = Concat({tag, frames});
  EXPECT_EQ(Detect(file), 1);
  EXPECT_EQ(Carve(Concat({file, Zeros(SectorSize)})), static_cast<long long>(file.size()));

  const Bytes withFooter = Concat({Id3v2Tag(4, 1000, true), frames});
  EXPECT_EQ(Detect(withFooter), 1);
  EXPECT_EQ(Carve(Concat({withFooter, Zeros(SectorSize)})), static_cast<long long>(withFooter.size()));

  Bytes notAFrame = file;
  notAFrame[1010] = 0x00;
  EXPECT_EQ(Detect(notAFrame), 0);
  Bytes fill = file;
  std::fill(fill.begin() + 1010, fill.end(), 0xFF);
  EXPECT_EQ(Detect(fill), 0);
}

TEST_F(Mp3Plugin, TagLargerThanTheSectorIsRecognisedAndSkipped) {
  const Bytes file = Concat({Id3v2Tag(3, 5000, false), Frames(Mpeg2Layer3At64k22050, 30)});
  EXPECT_EQ(Detect(Bytes(file.begin(), file.begin() + SectorSize)), 2);
  EXPECT_EQ(Carve(Concat({file, Zeros(SectorSize)})), static_cast<long long>(file.size()));
}

TEST_F(Mp3Plugin, TagsInsideTheStreamAreSkippedWithOrWithoutFooter) {
  const Bytes a = Frames(Mpeg1Layer3At128k44100, 7);
  const Bytes b = Frames(Mpeg1Layer3At128k44100, 9);
  for (const bool footer : {false, true}) {
    SCOPED_TRACE(footer);
    const Bytes file = Concat({a, Id3v2Tag(footer ? 4 : 3, 333, footer), b});
    EXPECT_EQ(Carve(Concat({file, Zeros(SectorSize)})), static_cast<long long>(file.size()));
  }
}

TEST_F(Mp3Plugin, Id3v1TagEndsTheFileButFramesRightAfterItStillCount) {
  const Bytes frames = Frames(Mpeg2Layer2At64k22050, 9);
  const Bytes plain = Concat({frames, Id3v1Tag()});
  EXPECT_EQ(Carve(Concat({plain, Zeros(SectorSize)})), static_cast<long long>(plain.size()));
  Bytes noise = RandomBytes(SectorSize, 3);
  noise[0] = 0x12;
  EXPECT_EQ(Carve(Concat({plain, noise})), static_cast<long long>(plain.size()));
  const Bytes more = Concat({plain, Frames(Mpeg2Layer2At64k22050, 1)});
  EXPECT_EQ(Carve(Concat({more, Zeros(SectorSize)})), static_cast<long long>(more.size()));
}

TEST_F(Mp3Plugin, LastFourBytesWaitForTheNextCall) {
  const Bytes frames = Frames(Mpeg1Layer3At128k44100, 2);
  for (unsigned size : {417u + 4u, 417u + 2u}) {
    Module->Reset();
    const Bytes part(frames.begin(), frames.begin() + size);
    bool end = true;
    EXPECT_EQ(Module->FindEnd(part.data(), size, &end), 417u) << size;
    EXPECT_FALSE(end);
  }
  // Nothing examined at all in four bytes or less; a result beyond the data is normal.
  for (unsigned size = 0; size <= 12; ++size) {
    Module->Reset();
    const Bytes part(frames.begin(), frames.begin() + size);
    bool end = true;
    const unsigned result = Module->FindEnd(part.data(), size, &end);
    EXPECT_EQ(result, size <= 4 ? 0u : 417u) << size;
    EXPECT_FALSE(end);
  }
}

TEST_F(Mp3Plugin, CarvesStreamsEncodedByLame) {
  if (!HaveTool("lame") || !HaveTool("sox")) GTEST_SKIP() << "lame or sox is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Dir().empty());
  const std::string wav = dir.Dir() + "/tone.wav";
  ASSERT_TRUE(Shell("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 3 sine 440 sine 660"));
  struct Case {
    std::string options;
    int detect;
  };
  const Case cases[] = {
      {"-b 128", 1},
      {"-V 2", 1},
      {"--resample 22.05 -b 64", 1},
      {"--resample 8 -b 32", 1},
      {"-b 128 --add-id3v2 --tt Tone --ta Quarnel", 1},
      {"-b 128 --id3v1-only --tt Tone", 1},
      {"-b 96 --add-id3v2 --pad-id3v2-size 5000 --tt Tone", 2},
  };
  const Bytes text = [] {
    std::string s;
    for (int i = 0; i < 400; ++i) s += "some text after the audio\n";
    return Bytes(s.begin(), s.end());
  }();
  int index = 0;
  std::vector<Bytes> made;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string mp3 = dir.Dir() + "/out" + std::to_string(index++) + ".mp3";
    ASSERT_TRUE(Shell("lame --quiet " + c.options + " " + wav + " " + mp3));
    const Bytes file = plugin_test::ReadFile(mp3);
    ASSERT_GT(file.size(), 4 * SectorSize);
    made.push_back(file);
    EXPECT_EQ(Detect(Bytes(file.begin(), file.begin() + SectorSize)), c.detect);
    EXPECT_EQ(Carve(Concat({file, Zeros(3 * SectorSize)})), static_cast<long long>(file.size()));
    EXPECT_EQ(Carve(Concat({file, text})), static_cast<long long>(file.size()));

    // Cut inside a frame and followed by zeros: the file ends with the frame that was cut.
    size_t cut = file.size() * 2 / 3;
    auto carveCut = [&](size_t at) {
      return Carve(Concat({Bytes(file.begin(), file.begin() + static_cast<long>(at)), Zeros(3 * SectorSize)}));
    };
    const long long before = carveCut(cut);
    ASSERT_GT(before, 0);
    if (before <= static_cast<long long>(cut)) cut = static_cast<size_t>(before) + 100;  // cut landed on a header
    const long long carved = carveCut(cut);
    EXPECT_GT(carved, static_cast<long long>(cut));
    EXPECT_LT(carved, static_cast<long long>(cut) + 1442);  // the longest Layer III frame
  }

  // Two streams joined, the second with its ID3v2 tag (no footer): the tag is 10 bytes
  // plus its size, so the walk lands on the next frame and goes on to the end.
  ASSERT_EQ(made[4][5] & 0x10, 0) << "lame wrote a tag footer";
  const Bytes joined = Concat({made[0], made[4]});
  EXPECT_EQ(Carve(Concat({joined, Zeros(SectorSize)})), static_cast<long long>(joined.size()));
}

}  // namespace
