#include "FakePlatform.h"

#include <fcntl.h>

#include <cerrno>
#include <fstream>
#include <random>

#include "platform/EmulatedScsiDevice.h"

namespace platform::test {

namespace fs = std::filesystem;

namespace {
void WriteLine(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }
}  // namespace

void WriteSysfsDevice(const fs::path& sysfsRoot, const FakeScsiDevice& device) {
  ScsiAddress a;
  if (!ParseScsiAddress(device.Address, a)) throw std::invalid_argument(device.Address);
  const fs::path dir = sysfsRoot / "devices" / device.Parent / ("host" + std::to_string(a.Host)) /
                       ("target" + std::to_string(a.Host) + ":" + std::to_string(a.Channel) + ":" +
                        std::to_string(a.Target)) /
                       device.Address;
  fs::create_directories(dir);
  WriteLine(dir / "type", std::to_string(device.Type));
  WriteLine(dir / "vendor", device.Vendor);
  WriteLine(dir / "model", device.Model);
  WriteLine(dir / "rev", device.Rev);
  if (!device.Block.empty()) fs::create_directories(dir / "block" / device.Block);
  if (!device.Generic.empty()) fs::create_directories(dir / "scsi_generic" / device.Generic);
  const fs::path link = sysfsRoot / "class" / "scsi_device" / device.Address;
  fs::create_directories(link);
  fs::create_directory_symlink(fs::relative(dir, link), link / "device");
}

void WriteTwoDrivesAndDisk(const fs::path& sysfsRoot) {
  WriteSysfsDevice(sysfsRoot, {"4:0:0:0", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0", 5, "PLEXTOR ",
                               "DVDR   PX-716A  ", "1.11", "sr1", "sg2"});
  WriteSysfsDevice(sysfsRoot, {"1:0:1:0", "pci0000:00/0000:00:1f.2", 0, "ATA     ", "WDC WD10EZEX-00B", "1A01",
                               "sda", "sg1"});
  WriteSysfsDevice(sysfsRoot, {"1:0:0:0", "pci0000:00/0000:00:1f.2", 5, "HL-DT-ST", "DVDRAM GH24NSD1 ", "LG00",
                               "sr0", "sg0"});
}

int FakeSg::Open(const std::string& path, int flags) {
  Opens.push_back({path, flags});
  if (Denied.contains(path)) return -EACCES;
  if ((flags & O_ACCMODE) == O_RDWR && ReadOnlyDenied.contains(path)) return -EACCES;
  FdPaths.push_back(path);
  ++OpenHandles;
  return static_cast<int>(FdPaths.size()) + 100;
}

int FakeSg::Ioctl(int fd, sg_io_hdr& request) {
  const std::string& path = FdPaths.at(static_cast<size_t>(fd - 101));
  Cdbs.emplace_back(request.cmdp, request.cmdp + request.cmd_len);
  if (Answer) return Answer(path, request);
  return 0;
}

void FakeSg::Close(int) { --OpenHandles; }

MachineConfig LinuxMachineConfig(const fs::path& dir, std::shared_ptr<FakeSg> sg, OsVersion version) {
  WriteTwoDrivesAndDisk(dir / "sys");
  MachineConfig config;
  config.SysfsRoot = dir / "sys";
  config.DevRoot = "/devtest";
  config.ReadEnvironment = false;
  config.Version = version;
  config.Sg = std::move(sg);
  return config;
}

VirtualDrive MakeVirtual(std::shared_ptr<emu::EmulatedDrive> drive) {
  return EmulatedVirtualDrive(std::move(drive));
}

std::shared_ptr<Machine> EmulatedMachine(std::vector<std::shared_ptr<emu::EmulatedDrive>> drives,
                                         const fs::path& emptySysfs, OsVersion version) {
  MachineConfig config;
  config.SysfsRoot = emptySysfs;
  config.ReadEnvironment = false;
  config.Version = version;
  config.AspiModule = QNL_ASPI_MODULE;
  config.Sg = std::make_shared<FakeSg>();
  for (auto& drive : drives) config.VirtualDrives.push_back(MakeVirtual(std::move(drive)));
  return std::make_shared<Machine>(std::move(config));
}

}  // namespace platform::test
