#pragma once
// A sysfs tree laid out like a real one, a recording SG_IO system and machines made of them.
#include <scsi/sg.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulator/EmulatedDrive.h"
#include "platform/Machine.h"
#include "platform/SgIoDevice.h"
#include "tests/support/TempDir.h"

namespace platform::test {

using TempDir = test_support::TempDir;

struct FakeScsiDevice {
  std::string Address;     // "1:0:0:0"
  std::string Parent;      // folder below devices/ that holds hostN
  int Type = 5;
  std::string Vendor, Model, Rev;
  std::string Block, Generic;
};

// Writes devices/.../hostH/targetH:C:T/H:C:T:L/{type,vendor,model,rev,block/,scsi_generic/}
// and class/scsi_device/H:C:T:L/device as a symlink to it.
void WriteSysfsDevice(const std::filesystem::path& sysfsRoot, const FakeScsiDevice& device);
// Two CD drives (1:0:0:0 sr0 "HL-DT-ST", 4:0:0:0 sr1 "PLEXTOR") and a disk (1:0:1:0 sda).
void WriteTwoDrivesAndDisk(const std::filesystem::path& sysfsRoot);

class FakeSg : public SgSystem {
 public:
  struct OpenCall {
    std::string Path;
    int Flags;
  };
  int Open(const std::string& path, int flags) override;
  int Ioctl(int fd, sg_io_hdr& request) override;
  void Close(int fd) override;

  std::vector<OpenCall> Opens;
  std::vector<std::vector<uint8_t>> Cdbs;
  std::set<std::string> Denied;          // open fails with EACCES
  std::set<std::string> ReadOnlyDenied;  // read-write open fails with EACCES
  // Answers a request; default: GOOD, nothing transferred.
  std::function<int(const std::string& path, sg_io_hdr& request)> Answer;
  int OpenHandles = 0;

 private:
  std::vector<std::string> FdPaths;
};

// A machine config with the Linux drives of WriteTwoDrivesAndDisk (written below `dir`)
// opened through `sg`, device nodes under /devtest.
MachineConfig LinuxMachineConfig(const std::filesystem::path& dir, std::shared_ptr<FakeSg> sg, OsVersion version = {});

// A machine with no Linux drive and the given emulated discs.
std::shared_ptr<Machine> EmulatedMachine(std::vector<std::shared_ptr<emu::EmulatedDrive>> drives,
                                         const std::filesystem::path& emptySysfs, OsVersion version = {});
VirtualDrive MakeVirtual(std::shared_ptr<emu::EmulatedDrive> drive);

}  // namespace platform::test
