// ISO images made by real mastering tools, built into discs and read back through the
// emulated drive: sector format, EDC, parity, cooked and vendor reads.
#include <cstring>
#include <tuple>

#include "sector/Errorcorrectmode1.h"
#include "sector/Scramble.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/sector/SectorTestSupport.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

using sectortest::Le32;
using sectortest::ReferenceEdc;

// Checks one raw sector; returns an empty text when it is sound.
std::string CheckRawSector(const uint8_t* s, int32_t lba, SectorKind kind, bool lastOfTrack) {
  if (std::memcmp(s, sectortest::kReferenceSync, 12) != 0) return "no sync";
  const int frame = lba + 150;
  if (s[12] != Bcd(frame / 4500) || s[13] != Bcd(frame / 75 % 60) || s[14] != Bcd(frame % 75))
    return "wrong header address";
  if (kind == SectorKind::Mode1) {
    if (s[15] != 1) return "mode byte is not 1";
    if (ReferenceEdc(s, 2064) != Le32(s + 2064)) return "EDC mismatch";
    for (int i = 2068; i < 2076; ++i)
      if (s[i] != 0) return "reserved bytes not zero";
    return {};
  }
  if (s[15] != 2) return "mode byte is not 2";
  if (std::memcmp(s + 16, s + 20, 4) != 0) return "subheader copies differ";
  const uint8_t expectedSubmode = lastOfTrack ? 0x89 : 0x08;
  if (s[16] != 0 || s[17] != 0 || s[18] != expectedSubmode || s[19] != 0) return "unexpected subheader";
  if (ReferenceEdc(s + 16, 2056) != Le32(s + 2072)) return "EDC mismatch";
  return {};
}

class BuilderIsoTest : public ::testing::TestWithParam<std::tuple<std::string, SectorKind>> {};

TEST_P(BuilderIsoTest, EverySectorIsSoundAndReadsBackAsTheIso) {
  const auto [tool, kind] = GetParam();
  QNL_REQUIRE_TOOL(tool);
  TempDir dir;
  const fs::path iso = MakeIso(dir, tool, "volume", tool == "xorriso" ? 11 : 23);
  ASSERT_FALSE(iso.empty()) << tool << " failed";
  const std::vector<uint8_t> isoBytes = ReadFile(iso);
  ASSERT_EQ(isoBytes.size() % 2048, 0u);
  const int32_t sectors = static_cast<int32_t>(isoBytes.size() / 2048);

  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(kind, iso)}});
  std::string error;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error)) << error;
  LoadedDrive loaded = Load(dir / "disc.ccd");
  ASSERT_TRUE(loaded.Drive);
  emu::EmulatedDrive& drive = *loaded.Drive;

  constexpr uint32_t kBatch = 16;
  for (int32_t lba = 0; lba < sectors; lba += kBatch) {
    const uint32_t n = std::min<uint32_t>(kBatch, static_cast<uint32_t>(sectors - lba));
    Reply raw = ReadCd(drive, lba, n, 0xF8, 0, 2352);
    Reply cooked = ReadCd(drive, lba, n, 0x10, 0, 2048);
    Reply cdda = ReadCdda(drive, lba, n);
    ASSERT_TRUE(raw.Result.Good() && cooked.Result.Good() && cdda.Result.Good()) << "LBA " << lba;
    for (uint32_t i = 0; i < n; ++i) {
      const int32_t at = lba + static_cast<int32_t>(i);
      const uint8_t* sector = raw.Data.data() + i * 2352;
      ASSERT_EQ(CheckRawSector(sector, at, kind, at == sectors - 1), "") << "LBA " << at;
      const uint8_t* user = sector + (kind == SectorKind::Mode1 ? 16 : 24);
      ASSERT_EQ(std::memcmp(user, isoBytes.data() + size_t(at) * 2048, 2048), 0) << "raw user data, LBA " << at;
    }
    ASSERT_EQ(std::memcmp(cooked.Data.data(), isoBytes.data() + size_t(lba) * 2048, n * 2048), 0)
        << "cooked read at LBA " << lba;
    for (uint32_t i = 0; i < n; ++i) ASSERT_TRUE(Descramble(cdda.Data.data() + i * 2352, 0, 2352));
    ASSERT_EQ(cdda.Data, raw.Data) << "descrambled 0xD8 read at LBA " << lba;
  }
  // Nothing is recorded after the track: the lead-out starts there.
  EXPECT_FALSE(ReadCd(drive, sectors, 1, 0x10, 0, 2048).Result.Good());
}

INSTANTIATE_TEST_SUITE_P(Tools, BuilderIsoTest,
                         ::testing::Values(std::make_tuple(std::string("xorriso"), SectorKind::Mode1),
                                           std::make_tuple(std::string("genisoimage"), SectorKind::Mode1),
                                           std::make_tuple(std::string("xorriso"), SectorKind::Mode2Form1),
                                           std::make_tuple(std::string("genisoimage"), SectorKind::Mode2Form1)),
                         [](const auto& info) {
                           return std::get<0>(info.param) +
                                  (std::get<1>(info.param) == SectorKind::Mode1 ? "Mode1" : "Form1");
                         });

// The parity the builder writes lets the corrector repair a damaged byte.
TEST(BuilderIsoParity, Mode1ParityRepairsADamagedByte) {
  TempDir dir;
  const fs::path input = dir / "data.bin";
  WriteFile(input, RandomBytes(8 * 2048, 5));
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, input)}});
  std::string error;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error)) << error;
  const std::vector<uint8_t> img = ReadFile(dir / "disc.img");
  ASSERT_EQ(img.size(), 8u * 2352);
  TMode1ErrorCorrect corrector;
  for (int lba = 0; lba < 8; ++lba) {
    std::vector<uint8_t> sector(img.begin() + lba * 2352, img.begin() + (lba + 1) * 2352);
    const std::vector<uint8_t> clean = sector;
    sector[100 + lba * 97] ^= 0x5A;
    EXPECT_TRUE(corrector.Correct(sector.data(), 2)) << "LBA " << lba;
    EXPECT_EQ(sector, clean) << "LBA " << lba;
  }
}

// A Mode 1 disc converts back to the very same ISO with an outside tool.
TEST(BuilderIsoRoundTrip, Ccd2IsoGivesBackTheInputIso) {
  QNL_REQUIRE_TOOL("xorriso");
  QNL_REQUIRE_TOOL("ccd2iso");
  TempDir dir;
  const fs::path iso = MakeIso(dir, "xorriso", "volume", 77);
  ASSERT_FALSE(iso.empty());
  emu::DiscSpec spec;
  spec.Sessions.push_back({{Track(SectorKind::Mode1, iso)}});
  std::string error;
  ASSERT_TRUE(emu::BuildImageSet(spec, dir / "disc", false, error)) << error;
  const fs::path back = dir / "back.iso";
  ASSERT_EQ(RunShell("ccd2iso " + Quote(dir / "disc.img") + " " + Quote(back) + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(RunShell("cmp -s " + Quote(iso) + " " + Quote(back)), 0) << "ccd2iso output differs from the input ISO";
}

}  // namespace
