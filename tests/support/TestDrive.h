#pragma once
// The emulated drive a test's disc runs on. The test suite's strict profile
// (QUARNEL_TEST_DRIVE=strict, set by CTest for the end-to-end reading tests) runs the
// same disc on the harshest drive the emulator models, so that no reading rule passes
// only because the drive was kind.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "emulator/EmulatedDrive.h"

namespace test_support {

inline bool StrictDrives() {
  const char* profile = std::getenv("QUARNEL_TEST_DRIVE");
  return profile != nullptr && std::strcmp(profile, "strict") == 0;
}

// Every harsh mode on. Where the default already is the harsh choice, a test that
// names the kind one keeps it: that is what it tests.
inline void MakeStrict(emu::DriveProfile& p) {
  // A failed read's sense still names the failing block, so the garbage before it is
  // offered as good.
  p.Partial = emu::PartialBlocks::Garbage;
  p.Info = emu::PartialInfo::Failing;
  p.Residual = emu::PartialResidual::Zero;
  p.Gap = emu::GapAnswer::EndOfUserArea;
  p.AnyTypeStops = true;
  p.TypeFromHeader = true;
  p.CacheRepeat = true;
  p.StrictModeCommands = true;
  p.Read10NeedsDensity = true;
  p.Page01Dropped = 0x20;  // transfer block
  p.QCrcZero = true;
}

inline std::shared_ptr<emu::EmulatedDrive> TestDrive(std::shared_ptr<const emu::Disc> disc) {
  if (!StrictDrives() || !disc) return std::make_shared<emu::EmulatedDrive>(std::move(disc));
  auto strict = std::make_shared<emu::Disc>(*disc);  // the sectors are shared, not copied
  MakeStrict(strict->Profile);
  return std::make_shared<emu::EmulatedDrive>(std::move(strict));
}

}  // namespace test_support
