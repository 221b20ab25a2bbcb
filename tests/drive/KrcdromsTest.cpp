#include "drive/Krcdroms.h"

#include <gtest/gtest.h>

#include "drive/Kraspi.h"
#include "platform/Registry.h"
#include "tests/support/DriveMachine.h"

namespace {

using test_support::DriveMachine;
using test_support::MachineSpec;
using test_support::SmallEmulatedDrive;

MachineSpec TwoDrives(bool aspi) {
  MachineSpec spec;
  spec.Drives = {SmallEmulatedDrive("QUARNEL", "FIRST DRIVE"), SmallEmulatedDrive("QUARNEL", "SECOND DRIVE")};
  spec.AspiPresent = aspi;
  return spec;
}

void ExpectMode(const TKrCdRoms& list, uint32_t index, uint8_t letter, uint8_t spti, uint8_t aspi) {
  const TAvailMode mode = list.GetAvailMode(index);
  EXPECT_EQ(mode.HasLetter, letter) << index;
  EXPECT_EQ(mode.Spti, spti) << index;
  EXPECT_EQ(mode.Aspi, aspi) << index;
  EXPECT_EQ(list.IsSptiAvailable(index), spti != 0);
  EXPECT_EQ(list.IsAspiAvailable(index), aspi != 0);
}

TEST(KrcdromsEnumerate, EitherTransportJoinsLettersWithTheirAspiDevices) {
  auto spec = TwoDrives(true);
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(4, false), 2u);
  EXPECT_TRUE(list.SptiUsable);
  EXPECT_TRUE(list.AspiLoaded);
  ASSERT_NE(list.GetCdRom(1), nullptr);
  EXPECT_EQ(list.GetCdRom(0)->Name, "D:");
  EXPECT_EQ(list.GetCdRom(0)->GetProduct(), "FIRST DRIVE     ");
  EXPECT_EQ(list.GetCdRom(1)->Name, "E:");
  EXPECT_EQ(list.GetCdRom(1)->GetProduct(), "SECOND DRIVE    ");
  EXPECT_EQ(list.GetCdRom(1)->Target, 1);  // its ASPI address, not the letter's zeros
  ExpectMode(list, 0, 1, 1, 1);
  ExpectMode(list, 1, 1, 1, 1);
  EXPECT_EQ(list.GetCdRom(2), nullptr);
  ExpectMode(list, 2, 0, 0, 0);
}

TEST(KrcdromsEnumerate, WithoutTheAspiModuleEveryLetterIsPassThroughOnly) {
  DriveMachine machine(TwoDrives(false));
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(4, true), 2u);
  EXPECT_FALSE(list.AspiLoaded);
  ExpectMode(list, 0, 1, 1, 0);
  ExpectMode(list, 1, 1, 1, 0);
  EXPECT_EQ(list.GetCdRom(0)->GetVendor(), "QUARNEL ");  // pass-through INQUIRY
}

TEST(KrcdromsEnumerate, ModesThatNeedAMissingTransportListNothing) {
  {
    DriveMachine machine(TwoDrives(false));
    TKrCdRoms list;
    EXPECT_EQ(list.Enumerate(1, false), 0u);
    EXPECT_EQ(list.Enumerate(3, false), 0u);
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(list.Enumerate(2, false), 2u);
    ExpectMode(list, 0, 1, 1, 0);
  }
  {
    DriveMachine machine(TwoDrives(true));
    TKrCdRoms list;
    ASSERT_EQ(list.Enumerate(1, false), 2u);
    EXPECT_FALSE(list.SptiUsable);
    ExpectMode(list, 0, 1, 0, 1);
    ASSERT_EQ(list.Enumerate(2, false), 2u);
    EXPECT_FALSE(list.AspiLoaded);  // loadable, but not asked for
    ExpectMode(list, 1, 1, 1, 0);
    ASSERT_EQ(list.Enumerate(3, false), 2u);
    ExpectMode(list, 1, 1, 1, 1);
    ASSERT_EQ(list.Enumerate(0, false), 2u);
    ExpectMode(list, 0, 1, 1, 1);
  }
}

TEST(KrcdromsEnumerate, LettersOnlySendsNothing) {
  auto spec = TwoDrives(true);
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(5, true), 2u);
  ExpectMode(list, 0, 1, 0, 0);
  EXPECT_EQ(list.GetCdRom(1)->Name, "E:");
  EXPECT_EQ(list.GetCdRom(1)->GetVendor(), "");
  EXPECT_TRUE(list.GetCdRom(1)->IsAtapi());
  for (const auto& drive : spec.Drives) EXPECT_TRUE(drive->Log().empty());
}

TEST(KrcdromsEnumerate, UnmatchedLettersFollowTheModeAndUnletteredDevicesAreNumbered) {
  auto spec = TwoDrives(true);
  spec.Registry = std::make_shared<platform::MemoryRegistry>();  // no mounted devices at all
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(0, false), 2u);
  ExpectMode(list, 0, 1, 1, 0);
  EXPECT_EQ(list.Enumerate(3, false), 0u);
  EXPECT_EQ(list.Enumerate(1, false), 0u);
  ASSERT_EQ(list.Enumerate(1, true), 2u);
  EXPECT_EQ(list.GetCdRom(0)->Name, "0:");
  EXPECT_EQ(list.GetCdRom(1)->Name, "1:");
  ExpectMode(list, 1, 0, 0, 1);
  ASSERT_EQ(list.Enumerate(4, true), 4u);
  EXPECT_EQ(list.GetCdRom(0)->Name, "D:");
  EXPECT_EQ(list.GetCdRom(2)->Name, "0:");
  EXPECT_EQ(list.GetCdRom(3)->Name, "1:");
  EXPECT_EQ(list.GetCdRom(3)->GetProduct(), "SECOND DRIVE    ");
}

TEST(KrcdromsEnumerate, IdenticalDrivesGetOneAspiDeviceEach) {
  // IDE texts without a usable address: vendor, product and revision alone match both.
  MachineSpec spec;
  spec.Drives = {SmallEmulatedDrive("SAME", "DRIVE"), SmallEmulatedDrive("SAME", "DRIVE")};
  auto registry = std::make_shared<platform::MemoryRegistry>();
  const std::string text = "\\??\\IDE#CdRomSAME_DRIVE___________1.00____#5&1&0&x#{53f5630d-b6bf-11d0}";
  registry->SetBinary("SYSTEM\\MountedDevices", "\\DosDevices\\D:", platform::ToUtf16Bytes(text));
  registry->SetBinary("SYSTEM\\MountedDevices", "\\DosDevices\\E:", platform::ToUtf16Bytes(text));
  spec.Registry = registry;
  DriveMachine machine(spec);
  TKrCdRoms list;
  ASSERT_EQ(list.Enumerate(1, true), 2u);
  EXPECT_EQ(list.GetCdRom(0)->Name, "D:");
  EXPECT_EQ(list.GetCdRom(0)->Target, 0);
  EXPECT_EQ(list.GetCdRom(1)->Name, "E:");
  EXPECT_EQ(list.GetCdRom(1)->Target, 1);
}

TEST(KrcdromsEnumerate, WindowsNinetyEightMatchesThroughTheDeviceRegistry) {
  MachineSpec spec = TwoDrives(true);
  spec.Version = {platform::kPlatformWin32Windows, 4, 10};
  auto registry = std::make_shared<platform::MemoryRegistry>();
  const std::string key = "Enum\\SCSI\\QUARNEL_SECOND_DRIVE\\INST1";
  registry->SetString(key, "CurrentDriveLetterAssignment", "E");
  registry->SetString(key, "SCSITargetID", "1");
  registry->SetString(key, "SCSILUN", "0");
  registry->SetString(key, "Manufacturer", "QUARNEL ");
  registry->SetString(key, "ProductId", "SECOND DRIVE");
  registry->SetString(key, "RevisionLevel", "1.00");
  spec.Registry = registry;
  DriveMachine machine(spec);
  TKrCdRoms list;
  // No pass-through on that system: the matched letter only, by ASPI.
  ASSERT_EQ(list.Enumerate(4, false), 1u);
  EXPECT_FALSE(list.SptiUsable);
  EXPECT_EQ(list.GetCdRom(0)->Name, "E:");
  EXPECT_EQ(list.GetCdRom(0)->Target, 1);
  ExpectMode(list, 0, 1, 0, 1);
}

TEST(KrcdromsEnumerate, NeverMoreThanTwentySixDrives) {
  MachineSpec spec;
  for (int i = 0; i < 30; ++i) spec.Drives.push_back(SmallEmulatedDrive("QUARNEL", "DRIVE " + std::to_string(i)));
  spec.Registry = std::make_shared<platform::MemoryRegistry>();
  DriveMachine machine(spec);
  TKrCdRoms list;
  // 23 letters (D: to Z:) and, unmatched, every ASPI device once more.
  EXPECT_EQ(list.Enumerate(4, true), 26u);
  EXPECT_EQ(list.GetCdRom(25)->Name, "2:");
  std::vector<TKrCdRom> devices;
  EXPECT_EQ(EnumAspiCdRoms(devices), 26u);
  EXPECT_EQ(list.Enumerate(5, true), 23u);
}

TEST(KrcdromsLists, LetterListsComeFromTheMachine) {
  auto spec = TwoDrives(true);
  DriveMachine machine(spec);
  std::vector<TKrCdRom> letters;
  EXPECT_EQ(EnumLetterCdRoms(letters), 2u);
  EXPECT_EQ(letters[1].Name, "E:");
  EXPECT_EQ(letters[1].GetVendor(), "");
  EXPECT_EQ(EnumSptiCdRoms(letters, false), 2u);
  EXPECT_EQ(letters[0].GetVendor(), "");
  EXPECT_EQ(EnumSptiCdRoms(letters, true), 2u);
  EXPECT_EQ(letters[0].GetVendor(), "QUARNEL ");
  std::vector<TKrCdRom> devices;
  EXPECT_EQ(EnumAspiCdRoms(devices), 0u);  // the manager is not loaded yet
  ASSERT_TRUE(LoadAspi());
  ASSERT_EQ(EnumAspiCdRoms(devices), 2u);
  EXPECT_EQ(devices[1].GetProduct(), "SECOND DRIVE    ");
  EXPECT_EQ(devices[0].Name, "");
}

}  // namespace
