#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "drive/Kraspi.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/Machine.h"
#include "support/FakePlatform.h"
#include "tests/support/DriveMachine.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using platform::test::FakeSg;
using platform::test::TempDir;

constexpr uint8_t kInquiry[6] = {0x12, 0, 0, 0, 36, 0};

// Holds every command until released, then writes 0xAA into what it was given.
class BlockingDevice : public platform::ScsiDevice {
 public:
  platform::ExecResult Execute(std::span<const uint8_t>, platform::DataDirection, std::span<uint8_t> buffer,
                               uint32_t) override {
    std::unique_lock lock(Mutex);
    Changed.wait(lock, [this] { return Released; });
    std::fill(buffer.begin(), buffer.end(), uint8_t{0xAA});
    Returned = true;
    Changed.notify_all();
    return {};
  }
  void Release() {
    std::lock_guard lock(Mutex);
    Released = true;
    Changed.notify_all();
  }
  void WaitReturned() {
    std::unique_lock lock(Mutex);
    Changed.wait(lock, [this] { return Returned; });
  }

 private:
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Released = false, Returned = false;
};

class Aspi : public ::testing::Test {
 protected:
  void SetUp() override { aspi_detail::ResetForTesting(); }
  void TearDown() override { aspi_detail::ResetForTesting(); }

  // Linux drives on hosts 1 and 4 (a disk beside the first), then the virtual drives.
  std::shared_ptr<FakeSg> Use(std::vector<platform::VirtualDrive> virtuals, bool withModule = true) {
    auto sg = std::make_shared<FakeSg>();
    platform::MachineConfig config = platform::test::LinuxMachineConfig(Dir.Path, sg);
    config.VirtualDrives = std::move(virtuals);
    config.AspiModule = withModule ? std::filesystem::path(QNL_ASPI_MODULE) : Dir.Path / "none" / "QuarnelAspi.so";
    Override = std::make_unique<platform::MachineOverride>(std::make_shared<platform::Machine>(std::move(config)));
    return sg;
  }

  TempDir Dir;
  std::unique_ptr<platform::MachineOverride> Override;
};

TEST_F(Aspi, MissingModuleMeansNoAspi) {
  auto drive = test_support::SmallEmulatedDrive();
  Use({platform::test::MakeVirtual(drive)}, false);
  EXPECT_FALSE(LoadAspi());
  EXPECT_FALSE(LoadAspi());
  EXPECT_EQ(AspiGetSupportInfo(), 0u);
  uint8_t data[36];
  const TKrCdRom cdrom(2, 0, 0);
  EXPECT_NE(AspiExecScsiCmd(cdrom, kInquiry, 6, nullptr, data, 36, kDirIn, 15000), kSrbStatusDone);
  EXPECT_TRUE(drive->Log().empty());
}

TEST_F(Aspi, AdaptersAreTheCdHostsThenTheVirtualOne) {
  Use({platform::test::MakeVirtual(test_support::SmallEmulatedDrive())});
  ASSERT_TRUE(LoadAspi());
  const uint32_t info = AspiGetSupportInfo();
  EXPECT_EQ((info >> 8) & 0xFF, kSrbStatusDone);
  EXPECT_EQ(info & 0xFF, 3u);

  SRB_HAInquiry inquiry;
  inquiry.SRB_HaId = 0;
  EXPECT_EQ(AspiSendCommand(&inquiry), kSrbStatusDone);
  EXPECT_EQ(inquiry.AdapterCount, 3);
  EXPECT_EQ(inquiry.HA_Unique[3], 8);
  inquiry.SRB_HaId = 3;
  EXPECT_EQ(AspiSendCommand(&inquiry), kSrbStatusInvalidHa);

  SRB_GDEVBlock dev;
  dev.SRB_HaId = 0;
  dev.SRB_Target = 1;
  EXPECT_EQ(AspiSendCommand(&dev), kSrbStatusDone);
  EXPECT_EQ(dev.SRB_DeviceType, 0);  // the disk beside the first drive
  dev.SRB_Target = 0;
  EXPECT_EQ(AspiSendCommand(&dev), kSrbStatusDone);
  EXPECT_EQ(dev.SRB_DeviceType, 5);
  dev.SRB_Lun = 1;
  EXPECT_EQ(AspiSendCommand(&dev), kSrbStatusNoDevice);
  dev.SRB_HaId = 2;
  dev.SRB_Lun = 0;
  EXPECT_EQ(AspiSendCommand(&dev), kSrbStatusDone);
  EXPECT_EQ(dev.SRB_DeviceType, 5);
}

TEST_F(Aspi, ExecutesOnEmulatedAndLinuxDrivesByAddress) {
  auto drive = test_support::SmallEmulatedDrive("QUARNEL", "ASPI PRODUCT");
  auto sg = Use({platform::test::MakeVirtual(drive)});
  ASSERT_TRUE(LoadAspi());
  uint8_t data[36] = {};
  uint8_t sense[14];
  std::memset(sense, 0xEE, sizeof sense);
  EXPECT_EQ(AspiExecScsiCmd(TKrCdRom(2, 0, 0), kInquiry, 6, sense, data, 36, kDirIn, 15000), kSrbStatusDone);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 12), "ASPI PRODUCT");
  EXPECT_EQ(sense[2], 0);
  ASSERT_EQ(drive->Log().size(), 1u);
  EXPECT_EQ(drive->Log()[0].Cdb, std::vector<uint8_t>(kInquiry, kInquiry + 6));

  EXPECT_EQ(AspiExecScsiCmd(TKrCdRom(1, 0, 0), kInquiry, 6, nullptr, data, 36, kDirIn, 15000), kSrbStatusDone);
  ASSERT_EQ(sg->Cdbs.size(), 1u);
  EXPECT_EQ(sg->Opens.back().Path, "/devtest/sr1");
  EXPECT_EQ(AspiExecScsiCmd(TKrCdRom(2, 1, 0), kInquiry, 6, nullptr, data, 36, kDirIn, 15000), kSrbStatusNoDevice);
}

TEST_F(Aspi, CheckConditionFailsWithTheSense) {
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(40));
  disc->Faults.Commands.push_back({0x28, 0, emu::CommandFaultKind::CheckCondition, 0x03, 0x11, 0x00});
  auto drive = std::make_shared<emu::EmulatedDrive>(disc);
  Use({platform::test::MakeVirtual(drive)});
  ASSERT_TRUE(LoadAspi());
  const uint8_t read10[10] = {0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0};
  std::vector<uint8_t> data(2048);
  uint8_t sense[14] = {};
  EXPECT_EQ(AspiExecScsiCmd(TKrCdRom(2, 0, 0), read10, 10, sense, data.data(), 2048, kDirIn, 30000),
            kSrbStatusError);
  EXPECT_EQ(sense[2] & 0x0F, 0x03);
  EXPECT_EQ(sense[12], 0x11);
}

TEST_F(Aspi, AnAbortedRequestNeverTouchesItsBlockOrBufferAgain) {
  auto device = std::make_shared<BlockingDevice>();
  platform::VirtualDrive blocking;
  blocking.Vendor = "SLOW";
  blocking.Product = "DRIVE";
  blocking.Device = device;
  Use({blocking});
  ASSERT_TRUE(LoadAspi());

  std::vector<uint8_t> buffer(64, 0x55);
  SRB_ExecSCSICmd srb;
  srb.SRB_HaId = 2;
  srb.SRB_Flags = kSrbDirIn;
  srb.SRB_BufLen = static_cast<uint32_t>(buffer.size());
  srb.SRB_BufPointer = buffer.data();
  srb.SRB_SenseLen = 14;
  srb.SRB_CDBLen = 6;
  std::memcpy(srb.CDBByte, kInquiry, 6);
  EXPECT_FALSE(AspiExecSrb(TKrCdRom(2, 0, 0), srb, 20));
  EXPECT_EQ(srb.SRB_Status, kSrbStatusPending);

  device->Release();
  device->WaitReturned();
  platform::Sleep(100);  // room for a late write-back, which must not come
  EXPECT_EQ(srb.SRB_Status, kSrbStatusPending);
  EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0x55));
}

// The completion event lives on the waiter's stack and goes as soon as the wait sees
// it set; setting it must not touch it after that (ThreadSanitizer sees the reach).
TEST(AspiEvent, AWaiterMayDestroyTheEventTheMomentItSeesItSet) {
  for (int i = 0; i < 2000; ++i) {
    auto event = std::make_unique<platform::Event>();
    std::thread setter([&e = *event] { e.Set(); });
    while (!event->Wait(0)) {
    }
    event.reset();
    setter.join();
  }
}

}  // namespace
