// Audio tracks: WAV and raw PCM inputs, pre-emphasis, the pregap where data and audio
// meet, and the WAV formats the builder refuses.
#include <cstring>

#include "sector/Address.h"
#include "sector/SectorEncoder.h"
#include "tests/emulator/BuilderTestSupport.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  PutLe(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

struct WavShape {
  uint16_t Tag = 1;
  uint16_t Channels = 2;
  uint32_t Rate = 44100;
  uint16_t Bits = 16;
  bool ListChunkFirst = false;  // an odd-sized chunk between format and data
  uint32_t DataSizeField = 0;   // 0: the true size
};

std::vector<uint8_t> MakeWavBytes(const std::vector<uint8_t>& pcm, const WavShape& shape) {
  std::vector<uint8_t> fmt;
  PutLe(fmt, shape.Tag, 2);
  PutLe(fmt, shape.Channels, 2);
  PutLe(fmt, shape.Rate, 4);
  PutLe(fmt, shape.Rate * shape.Channels * shape.Bits / 8, 4);
  PutLe(fmt, shape.Channels * shape.Bits / 8, 2);
  PutLe(fmt, shape.Bits, 2);
  if (shape.Tag == 0xFFFE) {
    PutLe(fmt, 22, 2);
    PutLe(fmt, shape.Bits, 2);
    PutLe(fmt, 3, 4);  // channel mask
    const uint8_t pcmGuid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    fmt.insert(fmt.end(), pcmGuid, pcmGuid + 16);
  }
  std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
  PutChunk(body, "fmt ", fmt);
  if (shape.ListChunkFirst) PutChunk(body, "LIST", std::vector<uint8_t>(7, 'x'));
  body.insert(body.end(), {'d', 'a', 't', 'a'});
  PutLe(body, shape.DataSizeField ? shape.DataSizeField : static_cast<uint32_t>(pcm.size()), 4);
  body.insert(body.end(), pcm.begin(), pcm.end());
  std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
  PutLe(file, static_cast<uint32_t>(body.size()), 4);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// Reads [first, end) raw through READ CD and returns the bytes.
std::vector<uint8_t> ReadRaw(emu::EmulatedDrive& drive, int32_t first, int32_t end) {
  std::vector<uint8_t> all;
  for (int32_t lba = first; lba < end; lba += 20) {
    const uint32_t n = static_cast<uint32_t>(std::min(20, end - lba));
    Reply r = ReadCd(drive, lba, n, 0xF8, 0, 2352);
    EXPECT_TRUE(r.Result.Good()) << "LBA " << lba;
    all.insert(all.end(), r.Data.begin(), r.Data.end());
  }
  return all;
}

TEST(BuilderAudio, WavTracksReadBackAsTheirPcmWithControlAndPregap) {
  QNL_REQUIRE_TOOL("sox");
  TempDir dir;
  const fs::path plain = MakeWav(dir, "plain.wav", 1.3);
  const fs::path emph = MakeWav(dir, "emph.wav", 0.7);
  ASSERT_FALSE(plain.empty() || emph.empty()) << "sox failed";
  const std::vector<uint8_t> plainPcm = test_support::SoxPcm(plain), emphPcm = test_support::SoxPcm(emph);
  ASSERT_FALSE(plainPcm.empty() || emphPcm.empty());
  const fs::path data = dir / "data.bin";
  WriteFile(data, RandomBytes(40 * 2048, 3));

  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, data), Track(SectorKind::Audio, plain),
                            Track(SectorKind::Audio, emph, true)}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;
  ASSERT_EQ(layout.Tracks.size(), 3u);
  const emu::TrackLayout& t2 = layout.Tracks[1];
  const emu::TrackLayout& t3 = layout.Tracks[2];
  // Data to audio: a 2-second pregap inside the image; audio to audio: none.
  EXPECT_EQ(t2.PregapLba, 40);
  EXPECT_TRUE(t2.PregapRecorded);
  EXPECT_EQ(t2.StartLba, 190);
  EXPECT_FALSE(t3.PregapRecorded);
  EXPECT_EQ(t3.StartLba, t2.EndLba);
  EXPECT_EQ(t2.EndLba - t2.StartLba, static_cast<int32_t>((plainPcm.size() + 2351) / 2352));

  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  emu::EmulatedDrive& drive = *loaded.Drive;

  std::vector<uint8_t> got = ReadRaw(drive, t2.StartLba, t2.EndLba);
  ASSERT_GE(got.size(), plainPcm.size());
  EXPECT_TRUE(std::equal(plainPcm.begin(), plainPcm.end(), got.begin())) << "track 2 PCM differs";
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(plainPcm.size()), got.end(),
                          [](uint8_t b) { return b == 0; }))
      << "the last sector is padded with silence";
  got = ReadRaw(drive, t3.StartLba, t3.EndLba);
  EXPECT_TRUE(std::equal(emphPcm.begin(), emphPcm.end(), got.begin())) << "track 3 PCM differs";
  // The vendor read returns audio unchanged.
  Reply cdda = ReadCdda(drive, t3.StartLba, 3);
  ASSERT_TRUE(cdda.Result.Good());
  EXPECT_TRUE(std::equal(cdda.Data.begin(), cdda.Data.end(), emphPcm.begin()));

  // The pregap is digital silence.
  got = ReadRaw(drive, t2.PregapLba, t2.StartLba);
  EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](uint8_t b) { return b == 0; }));

  const auto toc = ReadFullToc(drive);
  ASSERT_NE(FindPoint(toc, 1, 1), nullptr);
  ASSERT_NE(FindPoint(toc, 1, 2), nullptr);
  ASSERT_NE(FindPoint(toc, 1, 3), nullptr);
  EXPECT_EQ(FindPoint(toc, 1, 1)->AdrControl, 0x14);
  EXPECT_EQ(FindPoint(toc, 1, 2)->AdrControl, 0x10);
  EXPECT_EQ(FindPoint(toc, 1, 3)->AdrControl, 0x11);
  EXPECT_EQ(PLba(*FindPoint(toc, 1, 2)), t2.StartLba);
  EXPECT_EQ(PLba(*FindPoint(toc, 1, 3)), t3.StartLba);
  EXPECT_EQ(PLba(*FindPoint(toc, 1, 0xA2)), t3.EndLba);

  // Q: the pregap counts down in index 0 with P set; index 1 counts up from zero.
  const std::vector<uint8_t> sub = ReadFile(dir / "disc.sub");
  auto subOf = [&](int32_t lba) { return sub.data() + size_t(lba) * 96; };
  const uint8_t* first = subOf(t2.PregapLba);
  EXPECT_EQ(first[0], 0xFF) << "P marks the pregap";
  EXPECT_EQ(std::vector<uint8_t>(first + 12, first + 16), (std::vector<uint8_t>{0x01, 0x02, 0x00, 0x00}));
  EXPECT_EQ(first[16], Bcd(1)) << "149 frames before index 1: 00:01:74";
  EXPECT_EQ(first[17], Bcd(74));
  const uint8_t* lastPregap = subOf(t2.StartLba - 1);
  EXPECT_EQ(lastPregap[14], 0x00);
  EXPECT_EQ(lastPregap[17], 0x00);
  const uint8_t* index1 = subOf(t2.StartLba + 80);
  EXPECT_EQ(index1[0], 0x00) << "P clear after the pregap";
  EXPECT_EQ(index1[14], 0x01);
  EXPECT_EQ(index1[16], Bcd(1)) << "80 frames after index 1: 00:01:05";
  EXPECT_EQ(index1[17], Bcd(5));
  for (int32_t lba = 0; lba < layout.ImageSectors; ++lba)
    ASSERT_TRUE(IsQFrameCrcValid(subOf(lba) + 12)) << "LBA " << lba;

  Reply q = ReadQ(drive, t3.StartLba + 2);
  ASSERT_TRUE(q.Result.Good());
  EXPECT_EQ(q.Data[0], 0x11) << "pre-emphasis in the Q CONTROL";
  EXPECT_EQ(q.Data[1], 0x03);
}

TEST(BuilderAudio, RawPcmTrackAndExplicitPregap) {
  TempDir dir;
  const std::vector<uint8_t> pcm = RandomBytes(2352 * 5 + 400, 9);
  WriteFile(dir / "a.pcm", pcm);
  WriteFile(dir / "b.pcm", RandomBytes(2352 * 2, 10));
  emu::DiscSpec spec;
  emu::TrackSpec second = Track(SectorKind::Audio, dir / "b.pcm", false, emu::AudioSource::RawPcm);
  second.PregapFrames = 30;
  spec.Sessions.push_back({{Track(SectorKind::Audio, dir / "a.pcm", false, emu::AudioSource::RawPcm), second}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;
  EXPECT_EQ(layout.Tracks[0].EndLba, 6);
  EXPECT_EQ(layout.Tracks[1].PregapLba, 6);
  EXPECT_EQ(layout.Tracks[1].StartLba, 36);
  const std::vector<uint8_t> img = ReadFile(dir / "disc.img");
  ASSERT_EQ(img.size(), 38u * 2352);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), img.begin()));

  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  const auto toc = ReadFullToc(*loaded.Drive);
  ASSERT_NE(FindPoint(toc, 1, 0xA0), nullptr);
  EXPECT_EQ(FindPoint(toc, 1, 0xA0)->PSec, 0x00) << "an audio disc is not XA";
  EXPECT_EQ(PLba(*FindPoint(toc, 1, 2)), 36);
}

TEST(BuilderAudio, WavChunksAreWalkedAndExtensiblePcmAccepted) {
  TempDir dir;
  const std::vector<uint8_t> pcm = RandomBytes(4 * 1000, 4);
  WavShape listFirst;
  listFirst.ListChunkFirst = true;
  WriteFile(dir / "list.wav", MakeWavBytes(pcm, listFirst));
  WavShape extensible;
  extensible.Tag = 0xFFFE;
  WriteFile(dir / "ext.wav", MakeWavBytes(pcm, extensible));
  for (const char* name : {"list.wav", "ext.wav"}) {
    uint64_t offset = 0, bytes = 0;
    std::string error;
    ASSERT_TRUE(emu::ReadWavPayload(dir / name, offset, bytes, error)) << name << ": " << error;
    EXPECT_EQ(bytes, pcm.size()) << name;
    const std::vector<uint8_t> file = ReadFile(dir / name);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + static_cast<std::ptrdiff_t>(offset))) << name;
  }
}

TEST(BuilderAudio, OtherWavFormatsAreRefusedWithAClearError) {
  TempDir dir;
  const std::vector<uint8_t> pcm = RandomBytes(4 * 500, 6);
  struct Case {
    const char* Name;
    WavShape Shape;
    const char* Expect;
  };
  WavShape mono, byte8, rate48, floatTag, truncated;
  mono.Channels = 1;
  byte8.Bits = 8;
  rate48.Rate = 48000;
  floatTag.Tag = 3;
  floatTag.Bits = 32;
  truncated.DataSizeField = 4 * 600;
  const Case cases[] = {{"mono.wav", mono, "1 channel(s)"},
                        {"byte8.wav", byte8, "8 bits"},
                        {"rate48.wav", rate48, "48000 Hz"},
                        {"float.wav", floatTag, "not PCM"},
                        {"truncated.wav", truncated, "past the end"}};
  for (const Case& c : cases) {
    WriteFile(dir / c.Name, MakeWavBytes(pcm, c.Shape));
    emu::DiscSpec spec;
    spec.Sessions.push_back({{Track(SectorKind::Audio, dir / c.Name)}});
    std::string error;
    EXPECT_FALSE(emu::BuildImageSet(spec, dir / "disc", false, error)) << c.Name;
    EXPECT_NE(error.find(c.Expect), std::string::npos) << c.Name << ": " << error;
    EXPECT_NE(error.find(c.Name), std::string::npos) << "the error names the file: " << error;
    EXPECT_FALSE(fs::exists(dir / "disc.img")) << "nothing is left behind";
  }
  // A raw file given as WAV, and raw PCM that is not whole samples.
  WriteFile(dir / "raw.wav", pcm);
  WriteFile(dir / "odd.pcm", RandomBytes(4 * 100 + 2, 1));
  emu::DiscSpec notRiff;
  notRiff.Sessions.push_back({{Track(SectorKind::Audio, dir / "raw.wav")}});
  std::string error;
  EXPECT_FALSE(emu::BuildImageSet(notRiff, dir / "disc", false, error));
  EXPECT_NE(error.find("not a WAV file"), std::string::npos) << error;
  emu::DiscSpec odd;
  odd.Sessions.push_back({{Track(SectorKind::Audio, dir / "odd.pcm", false, emu::AudioSource::RawPcm)}});
  EXPECT_FALSE(emu::BuildImageSet(odd, dir / "disc", false, error));
  EXPECT_NE(error.find("whole number"), std::string::npos) << error;
}

TEST(BuilderAudio, SoxWavsOfTheWrongShapeAreRefused) {
  QNL_REQUIRE_TOOL("sox");
  TempDir dir;
  const fs::path mono = MakeWav(dir, "mono.wav", 0.2, "-r 44100 -c 1 -b 16");
  const fs::path hires = MakeWav(dir, "hires.wav", 0.2, "-r 96000 -c 2 -b 24");
  ASSERT_FALSE(mono.empty() || hires.empty());
  for (const fs::path& wav : {mono, hires}) {
    uint64_t offset = 0, bytes = 0;
    std::string error;
    EXPECT_FALSE(emu::ReadWavPayload(wav, offset, bytes, error)) << wav;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
