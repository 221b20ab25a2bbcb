#include "drive/Kraspiex.h"

#include <gtest/gtest.h>

#include <functional>

#include "drive/Kraspi.h"
#include "drive/Krcdroms.h"
#include "drive/Krspti.h"
#include "drive/Krsptiex.h"
#include "tests/support/DriveMachine.h"

namespace {

using test_support::DriveMachine;
using test_support::MachineSpec;

// Both twins of every builder reach the drive with the same command, over the real
// transports: our ASPI manager and the pass-through stand-in.
TEST(KraspiexTwins, AspiAndPassThroughFormsSendTheSameCommands) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(3, false), 1u);
  TKrCdRom drive(*list.GetCdRom(0));
  auto& emulated = *spec.Drives[0];

  std::vector<uint8_t> buffer(4 * 2448);
  uint8_t raw[kRawTocSize];
  TDiscToc toc;
  TSubQSector q;
  uint8_t value = 0;
  uint8_t caps[16];
  struct Twin {
    const char* Name;
    std::function<bool()> Aspi, Spti;
    size_t Commands;
  };
  const std::vector<Twin> twins = {
      {"Inquiry", [&] { return AspiInquiry(drive); }, [&] { return SptiInquiry(drive); }, 1},
      {"ReadRawToc", [&] { return AspiReadRawToc(drive, 1, false, raw); },
       [&] { return SptiReadRawToc(drive, 1, false, raw); }, 1},
      {"ReadToc", [&] { return AspiReadToc(drive, false, toc); }, [&] { return SptiReadToc(drive, false, toc); }, 1},
      {"ReadCd", [&] { return AspiReadCd(drive, 151, 3, 1, buffer.data()); },
       [&] { return SptiReadCd(drive, 151, 3, 1, buffer.data()); }, 1},
      {"ReadCdda", [&] { return AspiReadCdda(drive, 152, 2, 2, buffer.data()); },
       [&] { return SptiReadCdda(drive, 152, 2, 2, buffer.data()); }, 1},
      {"ReadCdEx", [&] { return AspiReadCdEx(drive, 153, 2, 0x08, true, true, true, 0x60, 0, buffer.data()); },
       [&] { return SptiReadCdEx(drive, 153, 2, 0x08, true, true, true, 0x60, 0, buffer.data()); }, 1},
      {"ModeSense10", [&] { return AspiModeSense10(drive, 0x2A, buffer.data(), 255); },
       [&] { return SptiModeSense10(drive, 0x2A, buffer.data(), 255); }, 1},
      {"ModeSense6", [&] { return AspiModeSense6(drive, 0x01, buffer.data(), 28); },
       [&] { return SptiModeSense6(drive, 0x01, buffer.data(), 28); }, 1},
      {"SetCdSpeed", [&] { return AspiSetCdSpeed(drive, 706); }, [&] { return SptiSetCdSpeed(drive, 706); }, 1},
      {"GetErrorRecovery", [&] { return AspiGetErrorRecovery(drive, 0, &value, nullptr, nullptr); },
       [&] { return SptiGetErrorRecovery(drive, 0, &value, nullptr, nullptr); }, 1},
      {"SetErrorRecovery", [&] { return AspiSetErrorRecovery(drive, 0x21, 0xFF, 0, false, 0, true, 1); },
       [&] { return SptiSetErrorRecovery(drive, 0x21, 0xFF, 0, false, 0, true, 1); }, 2},
      {"ResetErrorRecovery", [&] { return AspiResetErrorRecovery(drive, 0); },
       [&] { return SptiResetErrorRecovery(drive, 0); }, 2},
      {"SetBlockLength", [&] { return AspiSetBlockLength(drive, 0x82, 2352, 0); },
       [&] { return SptiSetBlockLength(drive, 0x82, 2352, 0); }, 1},
      {"GetCapabilitiesPage", [&] { return AspiGetCapabilitiesPage(drive, 0, 16, caps); },
       [&] { return SptiGetCapabilitiesPage(drive, 0, 16, caps); }, 1},
      {"ReadSubQ", [&] { return AspiReadSubQ(drive, 160, q); }, [&] { return SptiReadSubQ(drive, 160, q); }, 1},
      {"ReadSubQCdda", [&] { return AspiReadSubQCdda(drive, 160, q); },
       [&] { return SptiReadSubQCdda(drive, 160, q); }, 1},
      {"PreventAllow", [&] { return AspiPreventAllow(drive, true); }, [&] { return SptiPreventAllow(drive, true); },
       1},
  };
  for (const Twin& twin : twins) {
    emulated.ClearLog();
    const bool aspiResult = twin.Aspi();
    const auto aspiLog = emulated.Log();
    emulated.ClearLog();
    const bool sptiResult = twin.Spti();
    const auto sptiLog = emulated.Log();
    EXPECT_TRUE(aspiResult) << twin.Name;
    EXPECT_EQ(aspiResult, sptiResult) << twin.Name;
    ASSERT_EQ(aspiLog.size(), twin.Commands) << twin.Name;
    ASSERT_EQ(sptiLog.size(), twin.Commands) << twin.Name;
    for (size_t i = 0; i < twin.Commands; ++i) {
      EXPECT_EQ(aspiLog[i].Cdb, sptiLog[i].Cdb) << twin.Name;
      EXPECT_EQ(aspiLog[i].Length, sptiLog[i].Length) << twin.Name;
      EXPECT_EQ(aspiLog[i].Direction, sptiLog[i].Direction) << twin.Name;
      EXPECT_EQ(aspiLog[i].DataOut, sptiLog[i].DataOut) << twin.Name;
    }
  }
}

TEST(KraspiexTwins, AspiFormsFailWithoutTheManager) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TKrCdRom drive(0, 0, 0);
  TDiscToc toc;
  EXPECT_FALSE(AspiReadToc(drive, false, toc));
  EXPECT_FALSE(AspiInquiry(drive));
  EXPECT_TRUE(spec.Drives[0]->Log().empty());
}

}  // namespace
