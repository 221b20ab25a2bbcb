#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cerrno>
#include <fcntl.h>
#include <cstring>

#include "drive/Krspti.h"
#include "platform/Machine.h"
#include "support/FakePlatform.h"
#include "tests/support/DriveMachine.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using platform::test::FakeSg;
using platform::test::TempDir;

constexpr uint8_t kInquiry[6] = {0x12, 0, 0, 0, 36, 0};

class Spti : public ::testing::Test {
 protected:
  void SetUp() override { spti_detail::ResetForTesting(); }
  void TearDown() override { spti_detail::ResetForTesting(); }

  void UseEmulated(std::vector<std::shared_ptr<emu::EmulatedDrive>> drives, platform::OsVersion version = {}) {
    Override.reset();
    Override = std::make_unique<platform::MachineOverride>(
        platform::test::EmulatedMachine(std::move(drives), Dir.Path, version));
  }

  std::shared_ptr<FakeSg> UseLinux(platform::OsVersion version = {}) {
    auto sg = std::make_shared<FakeSg>();
    Override = std::make_unique<platform::MachineOverride>(
        std::make_shared<platform::Machine>(platform::test::LinuxMachineConfig(Dir.Path, sg, version)));
    return sg;
  }

  TempDir Dir;
  std::unique_ptr<platform::MachineOverride> Override;
};

TEST(SptiConversions, TimeoutsBecomeWholeSecondsFromOneTo108) {
  EXPECT_EQ(spti_detail::TimeoutSeconds(0), 1u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(999), 1u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(1000), 1u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(1999), 1u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(2000), 2u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(15000), 15u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(108000), 108u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(108001), 108u);
  EXPECT_EQ(spti_detail::TimeoutSeconds(4000000000u), 108u);
}

TEST(SptiConversions, DirectionsMapToDataIn) {
  EXPECT_EQ(spti_detail::MapDirection(8), 1);
  EXPECT_EQ(spti_detail::MapDirection(16), 0);
  EXPECT_EQ(spti_detail::MapDirection(0), 0);
  EXPECT_EQ(spti_detail::MapDirection(1), 1);
  EXPECT_EQ(spti_detail::MapDirection(2), 2);
  EXPECT_EQ(spti_detail::MapDirection(3), 0);
  EXPECT_EQ(spti_detail::MapDirection(0x48), 0);
}

TEST_F(Spti, ExecutesOnTheEmulatedDriveByLetter) {
  auto drive = test_support::SmallEmulatedDrive("QUARNEL", "SPTI PRODUCT");
  UseEmulated({drive});
  std::vector<std::string> letters;
  ASSERT_EQ(ListCdDriveLetters(letters), 1u);
  EXPECT_EQ(letters, std::vector<std::string>{"D:"});

  const TKrCdRom cdrom(std::string("D:"));
  uint8_t data[36] = {};
  uint8_t sense[14];
  std::memset(sense, 0xEE, sizeof sense);
  EXPECT_EQ(SptiExecScsiCmd(cdrom, kInquiry, 6, sense, data, sizeof data, 8, 15000), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 12), "SPTI PRODUCT");
  EXPECT_EQ(sense[2], 0);  // a done command leaves no stale sense behind
  const auto log = drive->Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Cdb, std::vector<uint8_t>(kInquiry, kInquiry + 6));
  EXPECT_EQ(log[0].Direction, platform::DataDirection::In);
}

TEST_F(Spti, CheckConditionIsAFailureAndItsSenseReachesTheCaller) {
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(40));
  disc->Faults.Commands.push_back({0x28, 0, emu::CommandFaultKind::CheckCondition, 0x03, 0x11, 0x00});
  auto drive = std::make_shared<emu::EmulatedDrive>(disc);
  UseEmulated({drive});
  const TKrCdRom cdrom(std::string("D:"));
  const uint8_t read10[10] = {0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0};
  std::vector<uint8_t> data(2048);
  uint8_t sense[14] = {};
  EXPECT_EQ(SptiExecScsiCmd(cdrom, read10, 10, sense, data.data(), 2048, 8, 30000), 2);
  EXPECT_EQ(sense[2] & 0x0F, 0x03);
  EXPECT_EQ(sense[12], 0x11);
  EXPECT_EQ(SptiExecScsiCmd(cdrom, read10, 10, nullptr, data.data(), 2048, 8, 30000), 2);
}

TEST_F(Spti, TransportFailuresAndUnknownDrivesAreNotDone) {
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(40));
  disc->Faults.Commands.push_back({0x12, 0, emu::CommandFaultKind::Timeout});
  auto drive = std::make_shared<emu::EmulatedDrive>(disc);
  UseEmulated({drive});
  uint8_t data[36];
  EXPECT_EQ(SptiExecScsiCmd(TKrCdRom(std::string("D:")), kInquiry, 6, nullptr, data, 36, 8, 15000), 0);
  drive->ClearLog();
  EXPECT_EQ(SptiExecScsiCmd(TKrCdRom(std::string("E:")), kInquiry, 6, nullptr, data, 36, 8, 15000), 0);
  EXPECT_EQ(SptiExecScsiCmd(TKrCdRom(std::string("D:")), kInquiry, 0, nullptr, data, 36, 8, 15000), 0);
  EXPECT_TRUE(drive->Log().empty());
}

TEST_F(Spti, PreventAllowLocksAndUnlocksTheTray) {
  auto drive = test_support::SmallEmulatedDrive();
  UseEmulated({drive});
  TKrCdRom cdrom(std::string("D:"));
  ASSERT_TRUE(SptiPreventAllow(cdrom, true));
  EXPECT_TRUE(drive->Locked());
  EXPECT_EQ(drive->Log().back().Cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 1, 0}));
  ASSERT_TRUE(SptiPreventAllow(cdrom, false));
  EXPECT_FALSE(drive->Locked());
  EXPECT_EQ(drive->Log().back().Cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 0, 0}));
  // A lettered drive that carries an ASPI device's ids still gets no LUN bits here.
  cdrom.Lun = 2;
  ASSERT_TRUE(SptiPreventAllow(cdrom, true));
  EXPECT_EQ(drive->Log().back().Cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 1, 0}));
}

TEST_F(Spti, UsableWhenAnEmulatedDriveAnswersAndDecidedOnce) {
  auto drive = test_support::SmallEmulatedDrive();
  UseEmulated({drive});
  EXPECT_TRUE(IsSptiUsable());
  EXPECT_EQ(SptiVersionCode(), 5u);
  // The probe changes nothing on the drive.
  ASSERT_EQ(drive->Log().size(), 1u);
  EXPECT_EQ(drive->Log()[0].Cdb[0], 0x00);
  UseEmulated({});
  EXPECT_TRUE(IsSptiUsable());  // cached for the process
}

TEST_F(Spti, NotUsableWithoutLettersOrOnOldPlatforms) {
  UseEmulated({});
  EXPECT_FALSE(IsSptiUsable());
  spti_detail::ResetForTesting();
  UseEmulated({test_support::SmallEmulatedDrive()}, {platform::kPlatformWin32Windows, 4, 10});
  EXPECT_FALSE(IsSptiUsable());
  EXPECT_EQ(SptiVersionCode(), 1u);
  spti_detail::ResetForTesting();
  UseEmulated({test_support::SmallEmulatedDrive()}, {platform::kPlatformWin32Nt, 3, 51});
  EXPECT_FALSE(IsSptiUsable());
  EXPECT_EQ(SptiVersionCode(), 2u);
}

TEST_F(Spti, AccessDeniedOnTheFirstAnsweringDriveDecidesAndStops) {
  auto sg = UseLinux();
  sg->Answer = [](const std::string&, sg_io_hdr&) { return -EPERM; };
  EXPECT_FALSE(IsSptiUsable());
  ASSERT_EQ(sg->Cdbs.size(), 1u);
  EXPECT_EQ(sg->Opens.back().Path, "/devtest/sr0");
  EXPECT_EQ(sg->Opens.back().Flags & O_ACCMODE, O_RDWR);
}

TEST_F(Spti, OtherFailuresTryTheNextLetterAndUsableNeedsAnAnswer) {
  auto sg = UseLinux();
  sg->Answer = [](const std::string& path, sg_io_hdr&) { return path == "/devtest/sr0" ? -EIO : 0; };
  EXPECT_TRUE(IsSptiUsable());
  ASSERT_EQ(sg->Cdbs.size(), 2u);
  EXPECT_EQ(sg->Cdbs[1], (std::vector<uint8_t>{0, 0, 0, 0, 0, 0}));

  spti_detail::ResetForTesting();
  sg->Answer = [](const std::string&, sg_io_hdr&) { return -EIO; };
  EXPECT_FALSE(IsSptiUsable());
}

TEST_F(Spti, WindowsNt4OpensForReadingOnly) {
  auto sg = UseLinux({platform::kPlatformWin32Nt, 4, 0});
  const uint8_t tur[6] = {};
  EXPECT_EQ(SptiExecScsiCmd(TKrCdRom(std::string("E:")), tur, 6, nullptr, nullptr, 0, 0, 15000), 1);
  EXPECT_EQ(SptiVersionCode(), 3u);
  ASSERT_FALSE(sg->Opens.empty());
  EXPECT_EQ(sg->Opens.back().Path, "/devtest/sr1");
  EXPECT_EQ(sg->Opens.back().Flags & O_ACCMODE, O_RDONLY);
  EXPECT_EQ(sg->OpenHandles, 0);  // opened and closed for the command
}

TEST_F(Spti, LinuxDriveSenseIsConvertedOnTheWayUp) {
  auto sg = UseLinux();
  sg->Answer = [](const std::string&, sg_io_hdr& request) {
    const uint8_t sense[] = {0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0};
    std::memcpy(request.sbp, sense, sizeof sense);
    request.sb_len_wr = sizeof sense;
    request.status = 0x02;
    return 0;
  };
  uint8_t sense[14] = {};
  const uint8_t tur[6] = {};
  EXPECT_EQ(SptiExecScsiCmd(TKrCdRom(std::string("D:")), tur, 6, sense, nullptr, 0, 0, 15000), 2);
  EXPECT_EQ(sense[0], 0x70);
  EXPECT_EQ(sense[2], 0x02);
  EXPECT_EQ(sense[12], 0x3A);
}

}  // namespace
