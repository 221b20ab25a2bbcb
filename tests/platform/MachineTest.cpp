#include <gtest/gtest.h>

#include "platform/Machine.h"
#include "platform/PassThrough.h"
#include "support/FakePlatform.h"
#include "tests/support/DriveMachine.h"

namespace platform {
namespace {

using test::FakeSg;
using test::TempDir;

std::string FromUtf16(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char>(bytes[i]));
  return text;
}

TEST(Sysfs, FindsEveryDeviceWithItsAddressTypeIdentityAndNodes) {
  TempDir dir;
  test::WriteTwoDrivesAndDisk(dir.Path);
  const auto devices = ScanScsiDevices(dir.Path);
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(devices[0].Address, (ScsiAddress{1, 0, 0, 0}));
  EXPECT_EQ(devices[0].Type, 5);
  EXPECT_EQ(devices[0].Vendor, "HL-DT-ST");
  EXPECT_EQ(devices[0].Model, "DVDRAM GH24NSD1 ");
  EXPECT_EQ(devices[0].Revision, "LG00");
  EXPECT_EQ(devices[0].BlockName, "sr0");
  EXPECT_EQ(devices[0].GenericName, "sg0");
  EXPECT_EQ(devices[1].Address, (ScsiAddress{1, 0, 1, 0}));
  EXPECT_EQ(devices[1].Type, 0);
  EXPECT_EQ(devices[1].BlockName, "sda");
  EXPECT_EQ(devices[2].Address, (ScsiAddress{4, 0, 0, 0}));
  EXPECT_EQ(devices[2].Vendor, "PLEXTOR ");
  EXPECT_EQ(devices[2].BlockName, "sr1");
}

TEST(Sysfs, AddressesAndMissingTreesAreHandled) {
  ScsiAddress a;
  EXPECT_TRUE(ParseScsiAddress("12:0:3:1", a));
  EXPECT_EQ(a, (ScsiAddress{12, 0, 3, 1}));
  EXPECT_FALSE(ParseScsiAddress("host0", a));
  EXPECT_FALSE(ParseScsiAddress("1:0:0", a));
  EXPECT_FALSE(ParseScsiAddress("1:0:0:0:0", a));
  EXPECT_FALSE(ParseScsiAddress("1:x:0:0", a));
  TempDir empty;
  EXPECT_TRUE(ScanScsiDevices(empty.Path / "nothing").empty());
}

TEST(Machine, LettersLinuxDrivesInSysfsOrderThenEmulatedDrives) {
  TempDir dir;
  auto sg = std::make_shared<FakeSg>();
  MachineConfig config = test::LinuxMachineConfig(dir.Path, sg);
  config.VirtualDrives.push_back(test::MakeVirtual(test_support::SmallEmulatedDrive()));
  const Machine machine(std::move(config));
  const auto& drives = machine.CdDrives();
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].Letter, "D:");
  EXPECT_EQ(drives[0].Node, "/devtest/sr0");
  EXPECT_EQ(drives[0].Product, "DVDRAM GH24NSD1");
  EXPECT_EQ(drives[1].Letter, "E:");
  EXPECT_EQ(drives[1].Vendor, "PLEXTOR");
  EXPECT_EQ(drives[2].Letter, "F:");
  EXPECT_TRUE(drives[2].Virtual);

  EXPECT_EQ(machine.GetDriveType("D:\\"), kDriveCdrom);
  EXPECT_EQ(machine.GetDriveType("F:\\"), kDriveCdrom);
  EXPECT_EQ(machine.GetDriveType("C:\\"), kDriveNoRootDir);
  EXPECT_EQ(machine.GetDriveType("G:\\"), kDriveNoRootDir);

  // The disk shares host 1 with a CD drive, so it is a unit; host 4 carries the other drive.
  const auto& units = machine.ScsiUnits();
  ASSERT_EQ(units.size(), 4u);
  EXPECT_EQ(units[0].HostKey, 1u);
  EXPECT_EQ(units[1].HostKey, 1u);
  EXPECT_EQ(units[1].Target, 1);
  EXPECT_EQ(units[1].DeviceType, 0);
  EXPECT_EQ(units[1].Node, "/devtest/sg1");
  EXPECT_EQ(units[2].HostKey, 4u);
  EXPECT_TRUE(units[3].Virtual);
  EXPECT_EQ(units[3].DeviceType, 5);
}

TEST(Machine, OpensLinuxDrivesThroughSgAndRefusesUnknownNames) {
  TempDir dir;
  auto sg = std::make_shared<FakeSg>();
  sg->Denied.insert("/devtest/sr1");
  const Machine machine(test::LinuxMachineConfig(dir.Path, sg));
  uint32_t error = 0;
  auto device = machine.OpenDrive("d:", kAccessRead | kAccessWrite, error);
  ASSERT_TRUE(device);
  EXPECT_EQ(sg->Opens.back().Path, "/devtest/sr0");
  EXPECT_FALSE(machine.OpenDrive("E:", kAccessRead, error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_FALSE(machine.OpenDrive("Q:", kAccessRead, error));
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST(Machine, NeverLettersMoreThanDToZ) {
  TempDir dir;
  MachineConfig config;
  config.SysfsRoot = dir.Path;
  config.ReadEnvironment = false;
  auto drive = test_support::SmallEmulatedDrive();
  for (int i = 0; i < 30; ++i) config.VirtualDrives.push_back(test::MakeVirtual(drive));
  const Machine machine(std::move(config));
  ASSERT_EQ(machine.CdDrives().size(), 23u);
  EXPECT_EQ(machine.CdDrives().back().Letter, "Z:");
}

TEST(Machine, RegistryAnswersMountedDevicesForEveryLetter) {
  TempDir dir;
  MachineConfig config = test::LinuxMachineConfig(dir.Path, std::make_shared<FakeSg>());
  config.VirtualDrives.push_back(test::MakeVirtual(test_support::SmallEmulatedDrive("QUARNEL", "TEST DRIVE/2")));
  const Machine machine(std::move(config));
  std::vector<uint8_t> value;
  ASSERT_TRUE(machine.GetRegistry().QueryBinary("SYSTEM\\MountedDevices", "\\DosDevices\\D:", value));
  EXPECT_EQ(FromUtf16(value),
            "\\??\\SCSI#CdRom&Ven_HL-DT-ST&Prod_DVDRAM_GH24NSD1&Rev_LG00#4&2b6e1d6&0&000#"
            "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}");
  ASSERT_TRUE(machine.GetRegistry().QueryBinary("SYSTEM\\MountedDevices", "\\DosDevices\\F:", value));
  const std::string emulated = FromUtf16(value);
  EXPECT_NE(emulated.find("&Ven_QUARNEL&Prod_TEST_DRIVE#2&Rev_1.00#"), std::string::npos) << emulated;
  EXPECT_NE(emulated.find("&0&000#"), std::string::npos) << emulated;
  EXPECT_FALSE(machine.GetRegistry().QueryBinary("SYSTEM\\MountedDevices", "\\DosDevices\\G:", value));
}

TEST(Machine, EmulatedDrivesComeFromAnImageList) {
  TempDir dir;
  std::vector<std::string> errors;
  const auto drives = LoadEmulatedDrives((dir.Path / "missing.ccd").string() + "::", errors);
  EXPECT_TRUE(drives.empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("missing.ccd"), std::string::npos);
}

TEST(MemoryRegistryTest, ListsSubkeysInOrderAndAnswersValues) {
  MemoryRegistry registry;
  registry.SetString("Enum\\SCSI\\B\\1", "X", "one");
  registry.SetString("Enum\\SCSI\\A\\2", "X", "two");
  std::vector<std::string> names;
  ASSERT_TRUE(registry.EnumSubkeys("Enum\\SCSI", names));
  EXPECT_EQ(names, (std::vector<std::string>{"B", "A"}));
  std::string text;
  EXPECT_TRUE(registry.QueryString("Enum\\SCSI\\A\\2", "X", text));
  EXPECT_EQ(text, "two");
  EXPECT_FALSE(registry.QueryString("Enum\\SCSI\\A\\2", "Y", text));
  EXPECT_FALSE(registry.EnumSubkeys("Enum\\PCI", names));
}

}  // namespace
}  // namespace platform
