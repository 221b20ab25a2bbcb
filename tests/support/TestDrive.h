#pragma once
// The disc a test loads and the emulated drive it runs on. The test suite's strict profile
// (QUARNEL_TEST_DRIVE=strict, set by CTest for the end-to-end reading tests) runs the
// same disc on the harshest drive the emulator models, so that no reading rule passes
// only because the drive was kind.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "emulator/DiscBuilder.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageSet.h"
#include "sector/Address.h"
#include "sector/SectorEncoder.h"

namespace test_support {

inline bool StrictDrives() {
  const char* profile = std::getenv("QUARNEL_TEST_DRIVE");
  return profile != nullptr && std::strcmp(profile, "strict") == 0;
}

// The recorded sectors the strict drive reads only on some attempts: one in 61, each
// read failing 40 % of the time (a re-read straight after repeats the outcome). A test
// on such a drive asks of these only that they read right or are counted as failed.
constexpr int32_t kFlakyEvery = 61, kFlakyAt = 30;
constexpr uint8_t kFlakyPercent = 40;
inline bool FlakyOnTestDrive(int32_t lba) { return StrictDrives() && lba % kFlakyEvery == kFlakyAt; }
// READ CDDA (0xD8) is refused by the device layer, as the Linux command filter refuses it
// to a process without CAP_SYS_RAWIO.
inline bool VendorCommandsFiltered() { return StrictDrives(); }

// Every harsh mode on. Where the default already is the harsh choice, a test that
// names the kind one keeps it: that is what it tests.
inline void MakeStrict(emu::DriveProfile& p) {
  // A failed read's sense still names the failing block, so the garbage before it is
  // offered as good.
  p.Partial = emu::PartialBlocks::Garbage;
  p.Info = emu::PartialInfo::Failing;
  p.Residual = emu::PartialResidual::Zero;
  p.Gap = emu::GapAnswer::EndOfUserArea;
  // Failures cost what they cost a real drive (on the tests' fake clocks), unless the
  // test chose the times.
  if (p.FailTimeMs == 0 && p.RetryTimeMs == 0 && p.GapTimeMs == 0) {
    p.FailTimeMs = 8000;
    p.RetryTimeMs = 1000;
    p.GapTimeMs = 2000;
  }
  p.AnyTypeStops = true;
  p.TypeFromHeader = true;
  p.CacheRepeat = true;
  p.StrictModeCommands = true;
  p.Read10NeedsDensity = true;
  p.Page01Dropped = 0x20;  // transfer block
  p.QCrcZero = true;
  p.FilterVendorCommands = true;
}

// The disc's sectors with the catalogue (ADR 2) and ISRC (ADR 3) Q frames the disc
// builder gives a disc that asks for them.
class ModeQStore : public emu::SectorStore {
 public:
  ModeQStore(std::shared_ptr<const emu::SectorStore> inner, const emu::Disc& disc) : Inner(std::move(inner)) {
    for (const emu::Extent& e : disc.Layout)
      for (int32_t lba = e.FirstLba; lba < e.EndLba && lba < Inner->SectorCount(); ++lba) {
        const uint8_t adr = emu::ModeQAdrAt(lba, e.Kind);
        if (adr != 1 && Inner->Sub(lba)) Rewrite(lba, adr);
      }
  }
  int32_t SectorCount() const override { return Inner->SectorCount(); }
  const uint8_t* Main(int32_t lba) const override { return Inner->Main(lba); }
  const uint8_t* Sub(int32_t lba) const override {
    const auto it = Changed.find(lba);
    return it != Changed.end() ? it->second.data() : Inner->Sub(lba);
  }

 private:
  void Rewrite(int32_t lba, uint8_t adr) {
    std::array<uint8_t, 96>& sub = Changed[lba];
    std::copy_n(Inner->Sub(lba), sub.size(), sub.begin());
    emu::EncodeModeQFrame(sub.data() + 12, static_cast<uint8_t>(sub[12] >> 4), adr, lba);
  }

  std::shared_ptr<const emu::SectorStore> Inner;
  std::map<int32_t, std::array<uint8_t, 96>> Changed;
};

inline void AddFlakySectors(emu::Disc& disc) {
  for (const emu::Extent& e : disc.Layout)
    for (int32_t lba = e.FirstLba; lba < e.EndLba; ++lba)
      if (FlakyOnTestDrive(lba)) disc.Faults.Flaky.push_back({lba, lba + 1, kFlakyPercent});
}

// The disc of an image set; null, and the test failed, when it does not load.
inline std::shared_ptr<emu::Disc> LoadedDisc(const std::filesystem::path& ccd) {
  auto disc = std::make_shared<emu::Disc>();
  std::string error;
  if (emu::LoadImageSet(ccd, *disc, error)) return disc;
  ADD_FAILURE() << "LoadImageSet " << ccd << ": " << error;
  return nullptr;
}

inline std::shared_ptr<emu::EmulatedDrive> TestDrive(std::shared_ptr<const emu::Disc> disc) {
  if (!StrictDrives() || !disc) return std::make_shared<emu::EmulatedDrive>(std::move(disc));
  auto strict = std::make_shared<emu::Disc>(*disc);  // the sectors are shared, not copied
  MakeStrict(strict->Profile);
  if (strict->Store) strict->Store = std::make_shared<ModeQStore>(strict->Store, *strict);
  AddFlakySectors(*strict);
  return std::make_shared<emu::EmulatedDrive>(std::move(strict));
}

}  // namespace test_support
