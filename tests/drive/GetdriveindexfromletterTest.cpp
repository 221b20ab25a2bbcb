#include "drive/Getdriveindexfromletter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Registry.h"
#include "tests/support/DriveMachine.h"

namespace {

using test_support::DriveMachine;
using test_support::MachineSpec;

TKrCdRom Device(uint8_t target, uint8_t lun, const char* vendor, const char* product, const char* revision) {
  TKrCdRom drive(0, target, lun);
  uint8_t inquiry[36] = {5, 0x80, 0, 2};
  std::memset(inquiry + 8, ' ', 28);
  std::memcpy(inquiry + 8, vendor, std::strlen(vendor));
  std::memcpy(inquiry + 16, product, std::strlen(product));
  std::memcpy(inquiry + 32, revision, std::strlen(revision));
  drive.SetInquiryData(inquiry, sizeof inquiry);
  return drive;
}

// A mounted-device text and the identity read from it; nullptr where the text is refused.
struct MountedText {
  const char* Name;
  const char* Text;
  const char* Vendor = nullptr;
  const char* Product = nullptr;
  const char* Revision = nullptr;
  bool HasAddress = false;
  uint8_t Target = 0, Lun = 0;
};

class GetdriveindexfromletterParse : public ::testing::TestWithParam<MountedText> {};

TEST_P(GetdriveindexfromletterParse, GivesVendorProductRevisionAndAddress) {
  const MountedText& c = GetParam();
  TMountedDeviceId id;
  ASSERT_EQ(ParseMountedDeviceText(c.Text, id), c.Vendor != nullptr);
  if (c.Vendor == nullptr) return;
  EXPECT_EQ(id.Vendor, c.Vendor);
  EXPECT_EQ(id.Product, c.Product);
  EXPECT_EQ(id.Revision, c.Revision);
  ASSERT_EQ(id.HasAddress, c.HasAddress);
  if (!c.HasAddress) return;
  EXPECT_EQ(id.Target, c.Target);
  EXPECT_EQ(id.Lun, c.Lun);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GetdriveindexfromletterParse,
    ::testing::Values(
        MountedText{"Ide",
                    "\\??\\IDE#CdRomTOSHIBA_DVD-ROM_SD#M1612_______________1004____#5&2a8a0b5d&0&0.1.0#"
                    "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}",
                    "TOSHIBA", "DVD-ROM SD/M1612", "1004", true, 1, 0},
        // An instance of another length gives no address.
        MountedText{"IdeInstanceOfAnotherLength", "\\??\\IDE#CdRomNEC_CD-ROM_DRIVE_1.0#5&1&0&0.0.0.0#{x}", "NEC",
                    "CD-ROM DRIVE", "1.0", false, 0, 0},
        // No separator after the vendor run: the whole rest is the product.
        MountedText{"IdeWithoutRevision", "\\??\\IDE#CdRomACME_DRIVE#5&1&0&0.2.1", "ACME", "DRIVE", "", true, 2, 1},
        MountedText{"Scsi",
                    "\\??\\SCSI#CdRom&Ven_PLEXTOR&Prod_CD-R___PX-W4012A&Rev_1.07#4&2b6e1d6&0&030#{53f5630d-b6bf-11d0}",
                    "PLEXTOR", "CD-R   PX-W4012A", "1.07", true, 3, 0},
        MountedText{"Usb", "\\??\\USBSTOR#CdRom&Ven_ACME&Prod_Portable&Rev_2.0#7&2d2ec1a5&1#{x}", "ACME", "Portable",
                    "2.0", true, 0, 1},
        MountedText{"OtherBus", "\\??\\STORAGE#Volume#{x}"}, MountedText{"NoPrefix", "IDE#CdRomX_Y_Z#1"},
        MountedText{"Short", "\\??\\IDE#Cd"}, MountedText{"Empty", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

class NinetyEightRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    Registry = std::make_shared<platform::MemoryRegistry>();
    Spec.Version = {platform::kPlatformWin32Windows, 4, 10};
    Spec.Registry = Registry;
  }
  void AddInstance(const std::string& name, const std::string& letter, const std::string& target,
                   const std::string& vendor, const std::string& product) {
    const std::string key = "Enum\\SCSI\\" + name + "\\0";
    Registry->SetString(key, "CurrentDriveLetterAssignment", letter);
    Registry->SetString(key, "SCSITargetID", target);
    Registry->SetString(key, "SCSILUN", "0");
    Registry->SetString(key, "Manufacturer", vendor);
    Registry->SetString(key, "ProductId", product);
    Registry->SetString(key, "RevisionLevel", "1.00 ");
  }
  std::shared_ptr<platform::MemoryRegistry> Registry;
  MachineSpec Spec;
};

TEST_F(NinetyEightRegistry, LetterTargetAndIdentityMustAllMatch) {
  Registry->SetString("Enum\\SCSI\\DISK\\0", "SCSITargetID", "0");  // a device without a letter
  AddInstance("ACME_ONE", "E", "2", "ACME", "ONE");
  AddInstance("ACME_TWO", "F", "x", "ACME", "TWO");  // not a number: target 0
  DriveMachine machine(Spec);
  const std::vector<TKrCdRom> devices = {Device(0, 0, "ACME", "TWO", "1.00"), Device(1, 0, "ACME", "ONE", "1.00"),
                                         Device(2, 0, "ACME", "ONE", "1.00")};
  std::vector<bool> taken(devices.size(), false);
  EXPECT_EQ(GetDriveIndexFromLetter("e:", devices, taken), -1);  // case-sensitive
  EXPECT_EQ(GetDriveIndexFromLetter("E:", devices, taken), 2);
  EXPECT_TRUE(taken[2]);
  EXPECT_EQ(GetDriveIndexFromLetter("E:", devices, taken), -1);  // already taken
  EXPECT_EQ(GetDriveIndexFromLetter("F:", devices, taken), 0);
  EXPECT_EQ(GetDriveIndexFromLetter("G:", devices, taken), -1);
}

TEST_F(NinetyEightRegistry, MissingDeviceRegistryIsNoMatch) {
  DriveMachine machine(Spec);
  const std::vector<TKrCdRom> devices = {Device(0, 0, "ACME", "ONE", "1.00")};
  std::vector<bool> taken(1, false);
  EXPECT_EQ(GetDriveIndexFromLetter("D:", devices, taken), -1);
  EXPECT_FALSE(taken[0]);
}

TEST(GetdriveindexfromletterNt, MountedDeviceAddressMustMatchWhenGiven) {
  MachineSpec spec;
  auto registry = std::make_shared<platform::MemoryRegistry>();
  registry->SetBinary("SYSTEM\\MountedDevices", "\\DosDevices\\D:",
                      platform::ToUtf16Bytes("\\??\\SCSI#CdRom&Ven_ACME&Prod_ONE&Rev_1.00#4&1&0&010#{x}"));
  spec.Registry = registry;
  DriveMachine machine(spec);
  const std::vector<TKrCdRom> devices = {Device(0, 0, "ACME", "ONE", "1.00"), Device(1, 0, "ACME", "ONE", "1.00")};
  std::vector<bool> taken(devices.size(), false);
  EXPECT_EQ(GetDriveIndexFromLetter("D:", devices, taken), 1);
  EXPECT_EQ(GetDriveIndexFromLetter("E:", devices, taken), -1);  // no value for E:
}

TEST(GetdriveindexfromletterNt, UnknownPlatformMatchesNothing) {
  MachineSpec spec;
  spec.Version = {7, 1, 0};
  DriveMachine machine(spec);
  const std::vector<TKrCdRom> devices = {Device(0, 0, "ACME", "ONE", "1.00")};
  std::vector<bool> taken(1, false);
  EXPECT_EQ(GetDriveIndexFromLetter("D:", devices, taken), -1);
}

}  // namespace
