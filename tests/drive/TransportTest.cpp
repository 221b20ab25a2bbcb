#include "drive/Transport.h"

#include <gtest/gtest.h>

#include <optional>

#include "drive/Cdbbuild.h"
#include "drive/Kraspi.h"
#include "drive/Krcdroms.h"
#include "drive/Krspti.h"
#include "tests/support/DriveMachine.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using test_support::DriveMachine;
using test_support::MachineSpec;

constexpr int32_t kBadLba = 12;  // unreadable on the disc below

std::shared_ptr<emu::EmulatedDrive> DriveWithABadSector() {
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(30));
  disc->Faults.Unreadable.push_back({kBadLba, kBadLba + 1});
  disc->Profile.Residual = emu::PartialResidual::Exact;  // the residual passed on is under test
  return std::make_shared<emu::EmulatedDrive>(disc);
}

// The machine's one drive, listed as the program lists drives.
std::optional<TKrCdRom> OnlyDrive() {
  TKrCdRoms list;
  if (list.Enumerate(3, false) != 1u) return std::nullopt;
  return *list.GetCdRom(0);
}

TDriveSetting Over(uint8_t useSpti) {
  TDriveSetting setting{};
  setting.UseSpti = useSpti;
  return setting;
}

// The read builders give the caller the drive's whole answer over either transport:
// the status, the MEDIUM ERROR sense naming the failing block, and the residual.
TEST(Transport, ReadBuildersGiveTheWholeResultOverBothTransports) {
  MachineSpec spec;
  spec.Drives = {DriveWithABadSector()};
  DriveMachine machine(spec);
  const std::optional<TKrCdRom> only = OnlyDrive();
  ASSERT_TRUE(only);
  const TKrCdRom& drive = *only;
  std::vector<uint8_t> buffer(20 * 2352);

  for (uint8_t useSpti : {0, 1}) {
    SCOPED_TRACE(useSpti ? "pass-through" : "ASPI");
    const TScsiExec exec = TransportFor(Over(useSpti));
    EXPECT_EQ(exec, useSpti ? &SptiExecute : &AspiExecute);

    const int64_t head = 150 + 5;
    const TCommandResult good = CdbReadCd(exec, drive, head, 4, 0, buffer.data(), kReadTimeoutMs);
    EXPECT_TRUE(good);
    // Mode 1 user data is 2048 bytes of the 2352 a sector asked for; ASPI reports none.
    EXPECT_EQ(good.Scsi.Residual, useSpti ? 4u * (2352 - 2048) : 0u);
    EXPECT_FALSE(good.FailingFrame());
    EXPECT_EQ(buffer[0], emu::test::PatternByte(5, 0));

    for (const TCommandResult& failed :
         {CdbReadCd(exec, drive, head, 15, 0, buffer.data(), kReadTimeoutMs),
          CdbReadCdda(exec, drive, head, 15, 0, buffer.data(), kReadTimeoutMs),
          CdbReadCdEx(exec, drive, head, 15, 0, /*sync=*/true, /*edcEcc=*/true, /*userData=*/true, 0x60, 0,
                      buffer.data(), kReadTimeoutMs)}) {
      EXPECT_FALSE(failed);
      EXPECT_FALSE(failed.Scsi.TransportError);
      EXPECT_EQ(failed.Scsi.Status, platform::kStatusCheckCondition);
      EXPECT_EQ(failed.Scsi.SenseKey(), 0x03);
      EXPECT_EQ(failed.Scsi.Asc(), 0x11);
      ASSERT_TRUE(failed.FailingFrame());
      EXPECT_EQ(*failed.FailingFrame(), 150 + kBadLba);
      // Only pass-through reports how much of the buffer stayed empty.
      if (useSpti) {
        EXPECT_GE(failed.Scsi.Residual, (15u - (kBadLba - 5)) * 2352);
      }
    }

    ASSERT_TRUE(CdbSetBlockLength(exec, drive, 0x82, 2352, 0));
    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_TRUE(CdbRead10(exec, drive, 150 + 20, 2, buffer.data(), kReadTimeoutMs));
    EXPECT_EQ(spec.Drives[0]->Log().back().Cdb, (std::vector<uint8_t>{0x28, 0, 0, 0, 0, 20, 0, 0, 2, 0}));
    EXPECT_EQ(buffer[2352 + 16], emu::test::PatternByte(21, 0));  // raw blocks: user data after the header

    // Refused before sending: no status, no sense.
    const TCommandResult refused = CdbReadCd(exec, drive, -1, 1, 0, buffer.data());
    EXPECT_FALSE(refused);
    EXPECT_TRUE(refused.Scsi.TransportError);
    EXPECT_FALSE(refused.FailingFrame());
  }
}

// A command the system refuses (0xD8 without the raw-I/O right) is told apart from a
// drive that did not answer, over either transport: no repeat of it will pass.
TEST(Transport, ACommandTheSystemRefusesIsToldApartOverBothTransports) {
  auto filtering = DriveWithABadSector();
  auto disc = std::make_shared<emu::Disc>(filtering->GetDisc());
  disc->Profile.FilterVendorCommands = true;
  MachineSpec spec;
  spec.Drives = {std::make_shared<emu::EmulatedDrive>(disc)};
  DriveMachine machine(spec);
  const std::optional<TKrCdRom> drive = OnlyDrive();
  ASSERT_TRUE(drive);
  std::vector<uint8_t> buffer(2 * 2352);
  for (uint8_t useSpti : {0, 1}) {
    SCOPED_TRACE(useSpti ? "pass-through" : "ASPI");
    const TScsiExec exec = TransportFor(Over(useSpti));
    const TCommandResult refused = CdbReadCdda(exec, *drive, 150, 2, 0, buffer.data(), kReadTimeoutMs);
    EXPECT_TRUE(refused.Scsi.TransportError);
    EXPECT_TRUE(refused.Refused);
    EXPECT_FALSE(refused.DriveReset());
    const TCommandResult read = CdbReadCd(exec, *drive, 150, 2, 0, buffer.data(), kReadTimeoutMs);
    EXPECT_TRUE(read);
    EXPECT_FALSE(read.Refused);
  }
  const auto& log = spec.Drives[0]->Log();
  EXPECT_FALSE(std::any_of(log.begin(), log.end(), [](const auto& c) { return c.Cdb[0] == 0xD8; }))
      << "the refused commands never reached the drive";
}

TEST(Transport, TheSettingChoosesTheTransportAndMayFallBackWithoutAspi) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  const TDriveSetting aspi{};
  EXPECT_EQ(TransportFor(aspi), &AspiExecute);
  EXPECT_EQ(TransportFor(aspi, TAspiMissing::UsePassThrough), &SptiExecute);
  // The ASPI execution without a manager sends nothing and has no status.
  uint8_t data[36];
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  EXPECT_TRUE(AspiExecute(TKrCdRom(0, 0, 0), inquiry, 6, data, 36, kDirIn, 1000).Scsi.TransportError);
  EXPECT_TRUE(spec.Drives[0]->Log().empty());
}

}  // namespace
