#include "drive/Driveutility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "drive/Kraspi.h"
#include "drive/Krcdroms.h"
#include "platform/Clock.h"
#include "sector/Address.h"
#include "sector/Bytes.h"
#include "tests/support/DriveMachine.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using test_support::DriveMachine;
using test_support::MachineSpec;
using Bytes = std::vector<uint8_t>;

// A drive whose current read speed after SET CD SPEED is whatever `pick` says.
class SpeedDrive : public platform::ScsiDevice {
 public:
  explicit SpeedDrive(std::function<uint16_t(uint16_t requested, uint16_t current)> pick) : Pick(std::move(pick)) {}
  platform::ExecResult Execute(std::span<const uint8_t> cdb, platform::DataDirection, std::span<uint8_t> buffer,
                               uint32_t) override {
    platform::ExecResult r;
    Cdbs.emplace_back(cdb.begin(), cdb.end());
    if (cdb[0] == 0xBB) {
      Current = Pick(static_cast<uint16_t>((cdb[2] << 8) | cdb[3]), Current);
    } else if (cdb[0] == 0x5A && cdb[2] == 0x2A) {
      Bytes answer(8 + 22, 0);
      answer[8] = 0x2A, answer[9] = 0x14;
      answer[8 + 14] = static_cast<uint8_t>(Current >> 8);
      answer[8 + 15] = static_cast<uint8_t>(Current);
      std::copy_n(answer.begin(), std::min(answer.size(), buffer.size()), buffer.begin());
    } else if (cdb[0] == 0x12) {
      std::fill(buffer.begin(), buffer.end(), 0);  // ANSI 0: 10-byte MODE commands
    } else if (cdb[0] != 0x00) {
      r.Scsi.Status = platform::kStatusCheckCondition;
    }
    return r;
  }
  std::function<uint16_t(uint16_t, uint16_t)> Pick;
  uint16_t Current = 0;
  std::vector<Bytes> Cdbs;
};

TDriveSetting PassThrough() {
  TDriveSetting s;
  s.UseSpti = 1;
  return s;
}

TEST(DriveutilitySpeeds, EmulatedDriveSpeedsAreFoundOverPassThrough) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TDriveUtility utility;
  utility.Assign(TKrCdRom("D:"), PassThrough());
  uint32_t speeds[72] = {};
  const auto& table = spec.Drives[0]->GetDisc().Profile.Speeds;
  ASSERT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), table.size());
  for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(speeds[i], table[i]) << i;
  // 1x and 2x land on the same speed: no second entry for 176.
  EXPECT_EQ(speeds[1], 353u);
  EXPECT_EQ(utility.DetectReadSpeeds(utility.CdRom, 3, speeds), 3u);
  EXPECT_EQ(spec.Drives[0]->CurrentSpeed(), 706);  // left at the last speed set
}

TEST(DriveutilitySpeeds, WithoutAnAspiLayerTheDriveIsAskedOverPassThrough) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TDriveUtility utility;
  utility.Assign(TKrCdRom("D:"), TDriveSetting{});  // ASPI chosen, but not there
  uint32_t speeds[72] = {};
  EXPECT_EQ(utility.DetectReadSpeeds(utility.CdRom, 0, speeds), 0u);
  EXPECT_TRUE(spec.Drives[0]->Log().empty());
  EXPECT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), 8u);
  EXPECT_EQ(speeds[7], 7056u);
  EXPECT_FALSE(LoadAspi());
}

TEST(DriveutilitySpeeds, OverAspiWhenTheLayerIsThere) {
  MachineSpec spec;
  spec.Drives = {test_support::SmallEmulatedDrive()};
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(1, false), 1u);
  TDriveUtility utility;
  utility.Assign(*list.GetCdRom(0), TDriveSetting{});
  uint32_t speeds[72] = {};
  EXPECT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), 8u);
  EXPECT_EQ(speeds[7], 7056u);
}

TEST(DriveutilitySpeeds, EveryAcceptedRequestIsStoredUpToTheCapacity) {
  auto drive = std::make_shared<SpeedDrive>([](uint16_t requested, uint16_t) { return requested; });
  MachineSpec spec;
  spec.Devices = {drive};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TDriveUtility utility;
  utility.Assign(TKrCdRom("D:"), PassThrough());
  uint32_t speeds[72] = {};
  ASSERT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), 72u);
  EXPECT_EQ(speeds[0], 176u);
  EXPECT_EQ(speeds[1], 352u);
  EXPECT_EQ(speeds[2], 529u);
  EXPECT_EQ(speeds[71], 72u * 176400 / 1000);
  drive->Cdbs.clear();
  ASSERT_EQ(utility.DetectReadSpeeds(utility.CdRom, 10, speeds), 10u);
  EXPECT_EQ(drive->Cdbs.size(), 20u);  // one SET CD SPEED and one MODE SENSE a step
  EXPECT_EQ(drive->Cdbs[0], (Bytes{0xBB, 0, 0, 176, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
}

TEST(DriveutilitySpeeds, ASpeedSeenBeforeIsNotStoredTwice) {
  // The drive alternates between two speeds whatever is asked.
  auto drive = std::make_shared<SpeedDrive>([](uint16_t, uint16_t current) -> uint16_t {
    return current == 706 ? 353 : 706;
  });
  MachineSpec spec;
  spec.Devices = {drive};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TDriveUtility utility;
  utility.Assign(TKrCdRom("D:"), PassThrough());
  uint32_t speeds[72] = {};
  ASSERT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), 2u);
  EXPECT_EQ(speeds[0], 706u);
  EXPECT_EQ(speeds[1], 353u);
}

TEST(DriveutilitySpeeds, FailingCommandsStoreNothing) {
  auto drive = std::make_shared<SpeedDrive>([](uint16_t r, uint16_t) { return r; });
  MachineSpec spec;
  spec.Devices = {drive};
  spec.AspiPresent = false;
  DriveMachine machine(spec);
  TDriveUtility utility;
  utility.Assign(TKrCdRom("Q:"), PassThrough());  // no such drive
  uint32_t speeds[72] = {};
  EXPECT_EQ(utility.DetectReadSpeeds(utility.CdRom, 72, speeds), 0u);
}

class DriveutilityOnDisc : public ::testing::Test {
 protected:
  void SetUp() override {
    auto disc = emu::test::BuildDisc(emu::test::MixedDisc());
    disc->Profile.DefaultErrorRecovery = 0x04;
    Drive = std::make_shared<emu::EmulatedDrive>(disc);
    Spec.Drives = {Drive};
    Spec.AspiPresent = false;
    Machine = std::make_unique<DriveMachine>(Spec);
    Utility.Assign(TKrCdRom("D:"), PassThrough());
  }
  std::shared_ptr<emu::EmulatedDrive> Drive;
  MachineSpec Spec;
  std::unique_ptr<DriveMachine> Machine;
  TDriveUtility Utility;
};

TEST_F(DriveutilityOnDisc, LeadOutIsTheLastSessionsLeadOut) {
  EXPECT_EQ(Utility.GetLeadOut(), emu::test::MixedLbas::LeadOut2 + 150);
}

TEST_F(DriveutilityOnDisc, LeadOutIsZeroWithoutATocOrATransport) {
  TDriveSetting aspi;
  Utility.Assign(TKrCdRom("D:"), aspi);  // ASPI missing on this machine
  EXPECT_EQ(Utility.GetLeadOut(), 0);
  EXPECT_TRUE(Drive->Log().empty());
}

TEST_F(DriveutilityOnDisc, SpinUpReadsFrame300ByPassThroughAndWaits) {
  auto clock = std::make_shared<platform::FakeClock>();
  platform::ClockOverride useClock(clock);
  Utility.SpinUp(500);
  const auto log = Drive->Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Cdb, (Bytes{0xD8, 0, 0, 0, 0, 150, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(log[0].Length, 2352u);
  EXPECT_EQ(clock->Slept(), 500u);
  Utility.Setting.UseSpti = 0;  // over a missing ASPI layer the read fails; the wait stays
  Utility.SpinUp(0);
  EXPECT_EQ(Drive->Log().size(), 1u);
  EXPECT_EQ(clock->SleepCalls(), 2u);
}

TEST_F(DriveutilityOnDisc, ErrorRecoveryIsAppliedFromSettingsAndRestored) {
  Utility.Setting.FastErrorSkip = 1;
  Utility.Setting.TransferBlock = 1;
  Utility.Setting.RetryCountEnabled = 1;
  Utility.Setting.RetryCount = 2;
  ASSERT_TRUE(Utility.ApplyErrorRecovery());
  EXPECT_EQ(Drive->CurrentPage01()[2], 0x21);  // the default's 0x04 is masked off
  EXPECT_EQ(Drive->CurrentPage01()[3], 2);
  ASSERT_TRUE(Utility.RestoreErrorRecovery());
  EXPECT_EQ(Drive->CurrentPage01(), Drive->DefaultPage01());

  Utility.Setting.FastErrorSkip = 0;
  Utility.Setting.RetryCountEnabled = 0;
  ASSERT_TRUE(Utility.ApplyErrorRecovery());
  EXPECT_EQ(Drive->CurrentPage01()[2], 0x20);
  EXPECT_EQ(Drive->CurrentPage01()[3], Drive->DefaultPage01()[3]);
}

// A read of 10 sectors from frame 1000 that the drive failed at frame 1003: under transfer
// block a data read leaves the failing block out and an audio read takes it; an error-
// recovery byte it does not know, sense without VALID or of another key, and a block
// outside the read count nothing.
TEST(DriveutilityGoodCount, OnlyAudioTakesTheFailingBlockOfATransferBlockRead) {
  const auto sense = [](int64_t frame, uint8_t key, bool valid) {
    Bytes s(18, 0);
    s[0] = valid ? 0xF0 : 0x70;
    s[2] = key;
    PutBe32(s.data() + 3, static_cast<uint32_t>(FramesToLba(frame)));
    return s;
  };
  struct Row {
    Bytes Sense;
    uint8_t ErrorRecovery;
    int64_t Data, Audio;
  };
  const std::vector<Row> rows = {
      {sense(1003, 3, true), 0x00, 3, 3},  {sense(1003, 3, true), 0x01, 3, 3},
      {sense(1003, 3, true), 0x20, 3, 4},  {sense(1003, 3, true), 0x21, 3, 4},
      {sense(1003, 3, true), 0x04, 0, 0},  {sense(1003, 3, true), 255, 0, 0},
      {sense(1003, 3, false), 0x20, 0, 0}, {sense(1003, 4, true), 0x20, 0, 0},
      {sense(999, 3, true), 0x20, 0, 0},   {sense(1011, 3, true), 0x20, 0, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(GoodBeforeFailure(r.Sense.data(), 1000, 10, r.ErrorRecovery, TFailingBlock::LeftOut), r.Data);
    EXPECT_EQ(GoodBeforeFailure(r.Sense.data(), 1000, 10, r.ErrorRecovery, TFailingBlock::Taken), r.Audio);
  }
}

}  // namespace
