// Mode 2 Form 2 and formless tracks from raw data, and a set read without its .flt.
#include <cstring>

#include "sector/Bytes.h"
#include "sector/Kredc.h"
#include "tests/emulator/BuilderTestSupport.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

TEST(BuilderMode, Form2AndFormlessTracksCarryTheirRawData) {
  TempDir dir;
  const std::vector<uint8_t> form2 = RandomBytes(6 * 2324 + 100, 7);
  const std::vector<uint8_t> formless = RandomBytes(4 * 2336, 8);
  WriteFile(dir / "form2.raw", form2);
  WriteFile(dir / "formless.raw", formless);
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form2, dir / "form2.raw"),
                            Track(SectorKind::Mode2Formless, dir / "formless.raw")}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;
  ASSERT_EQ(layout.Tracks[0].EndLba, 7);
  ASSERT_EQ(layout.Tracks[1].StartLba, 7) << "no pregap between two data tracks";
  ASSERT_EQ(layout.Tracks[1].EndLba, 11);

  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  Reply raw = ReadCd(*loaded.Drive, 0, 11, 0xF8, 0, 2352);
  ASSERT_TRUE(raw.Result.Good());
  TKrEdc edc;
  std::vector<uint8_t> padded = form2;
  padded.resize(7 * 2324, 0);
  for (int lba = 0; lba < 7; ++lba) {
    const uint8_t* s = raw.Data.data() + lba * 2352;
    EXPECT_EQ(s[15], 2);
    EXPECT_EQ(s[18], lba == 6 ? 0xA1 : 0x20) << "Form 2 submode, EOR and EOF on the last sector";
    EXPECT_EQ(std::memcmp(s + 16, s + 20, 4), 0);
    EXPECT_EQ(std::memcmp(s + 24, padded.data() + lba * 2324, 2324), 0) << "LBA " << lba;
    EXPECT_EQ(edc.CalcRange(s + 16, 2332), GetLe32(s + 2348)) << "LBA " << lba;
  }
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(std::memcmp(raw.Data.data() + (7 + i) * 2352 + 16, formless.data() + i * 2336, 2336), 0) << i;

  const auto toc = ReadFullToc(*loaded.Drive);
  ASSERT_NE(FindPoint(toc, 1, 0xA0), nullptr);
  EXPECT_EQ(FindPoint(toc, 1, 0xA0)->PSec, 0x20) << "XA disc";
  ASSERT_EQ(loaded.Disc->Layout.size(), 2u);
  EXPECT_EQ(loaded.Disc->Layout[0].Kind, SectorKind::Mode2Form2);
  EXPECT_EQ(loaded.Disc->Layout[1].Kind, SectorKind::Mode2Formless);
  // Cooked Form 2 reads return the user data and its EDC field.
  Reply cooked = ReadCd(*loaded.Drive, 1, 1, 0x10, 0, 2328);
  ASSERT_TRUE(cooked.Result.Good());
  EXPECT_EQ(std::memcmp(cooked.Data.data(), form2.data() + 2324, 2324), 0);
}

// The .img/.sub/.ccd alone are a valid set: without the .flt the layout is derived
// from the tracks and the pregaps the .sub shows.
TEST(BuilderMode, SetWithoutTheFaultFileLoadsTheSameLayout) {
  TempDir dir;
  WriteRandomFiles(dir, {{"a.iso", 20 * 2048}, {"b.pcm", 8 * 2352}, {"c.pcm", 5 * 2352}, {"d.iso", 9 * 2048}});
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, dir / "a.iso"),
                            Track(SectorKind::Audio, dir / "b.pcm", false, emu::AudioSource::RawPcm),
                            Track(SectorKind::Audio, dir / "c.pcm", true, emu::AudioSource::RawPcm)}});
  spec.Sessions.push_back({{Track(SectorKind::Mode2Form1, dir / "d.iso")}});
  std::string error;
  emu::DiscLayout layout;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error, &layout)) << error;
  const emu::Disc described = emu::DescribeDisc(spec, layout);
  fs::remove(dir / "disc.flt");
  emu::Disc loaded;
  ASSERT_TRUE(emu::LoadImageSet(dir / "disc.ccd", loaded, error)) << error;
  EXPECT_EQ(loaded.Toc, described.Toc);
  EXPECT_EQ(loaded.FirstSession, 1);
  EXPECT_EQ(loaded.LastSession, 2);
  ASSERT_EQ(loaded.Layout.size(), described.Layout.size());
  for (size_t i = 0; i < described.Layout.size(); ++i)
    EXPECT_EQ(loaded.Layout[i], described.Layout[i]) << "extent " << i;
  const std::string text = test_support::ReadText(dir / "disc.ccd");
  EXPECT_NE(text.find("[TRACK 2]\r\nMODE=0\r\nINDEX 0=20\r\nINDEX 1=170\r\n"), std::string::npos) << text;
  const int32_t start4 = layout.Tracks[3].StartLba;
  EXPECT_NE(text.find("[TRACK 4]\r\nMODE=2\r\nINDEX 0=" + std::to_string(start4 - 150) + "\r\nINDEX 1=" +
                      std::to_string(start4) + "\r\n"),
            std::string::npos)
      << "the session's first pregap is recorded";
}

}  // namespace
