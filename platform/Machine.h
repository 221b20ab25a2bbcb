#pragma once
// The machine as the drive code sees it: lettered CD drives (Linux optical drives in
// sysfs order, then emulated drives), the SCSI units behind the ASPI manager, the
// read-only registry, the version and the location of the ASPI manager module.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/ScsiDevice.h"
#include "platform/SgIoDevice.h"
#include "platform/Sysfs.h"

namespace platform {

constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveCdrom = 5;
constexpr uint32_t kPlatformWin32Windows = 1;
constexpr uint32_t kPlatformWin32Nt = 2;
constexpr const char* kEmulatedDrivesVariable = "QUARNEL_EMULATED_DRIVES";

struct OsVersion {
  uint32_t PlatformId = kPlatformWin32Nt;
  uint32_t Major = 5;
  uint32_t Minor = 1;
};

// A drive on the virtual adapter: an emulated drive or any device a test supplies.
struct VirtualDrive {
  std::string Vendor, Product, Revision;
  std::shared_ptr<ScsiDevice> Device;
};

struct CdDrive {
  std::string Letter;  // "D:"
  bool Virtual = false;
  ScsiAddress Address;         // Linux drives
  std::filesystem::path Node;  // Linux drives: /dev/srN
  size_t VirtualIndex = 0;     // virtual drives: index in VirtualDrives()
  std::string Vendor, Product, Revision;  // trimmed
};

// A unit the ASPI manager reports: every SCSI device on a host that carries a CD
// drive, and every virtual drive (target = its index, LUN 0).
struct ScsiUnit {
  uint32_t HostKey = 0;
  uint8_t Target = 0, Lun = 0, DeviceType = 0;
  bool Virtual = false;
  size_t VirtualIndex = 0;
  std::filesystem::path Node;  // sr or sg node, for CD drives
};

struct MachineConfig {
  std::filesystem::path SysfsRoot = "/sys";
  std::filesystem::path DevRoot = "/dev";
  bool ReadEnvironment = true;               // emulated drives from QUARNEL_EMULATED_DRIVES
  std::vector<VirtualDrive> VirtualDrives;   // after those of the environment
  OsVersion Version;
  std::shared_ptr<const Registry> RegistryOverride;  // replaces the mounted-devices registry
  std::filesystem::path AspiModule;          // empty: beside the program, then the build's
  std::shared_ptr<SgSystem> Sg;              // null: the real system calls
};

class Machine {
 public:
  explicit Machine(MachineConfig config);
  ~Machine();

  const std::vector<CdDrive>& CdDrives() const { return Drives; }
  const std::vector<VirtualDrive>& VirtualDrives() const { return Virtuals; }
  const std::vector<ScsiUnit>& ScsiUnits() const { return Units; }
  // kDriveCdrom for "E:\" of a lettered CD drive, kDriveNoRootDir otherwise.
  uint32_t GetDriveType(const std::string& rootPath) const;
  // The device of a lettered drive ("E:"). Null with kErrorFileNotFound or kErrorAccessDenied.
  std::unique_ptr<ScsiDevice> OpenDrive(const std::string& name, uint32_t access, uint32_t& error) const;
  std::unique_ptr<ScsiDevice> OpenUnit(size_t index, uint32_t& error) const;
  const Registry& GetRegistry() const { return *Reg; }
  OsVersion GetVersion() const { return Config.Version; }
  std::filesystem::path AspiModulePath() const;

 private:
  std::unique_ptr<ScsiDevice> OpenNode(const std::filesystem::path& node, uint32_t access, uint32_t& error) const;
  void AddLinuxDrives();
  void AddVirtualDrives();
  std::shared_ptr<const Registry> MountedDevicesRegistry() const;
  MachineConfig Config;
  std::vector<VirtualDrive> Virtuals;
  std::vector<CdDrive> Drives;
  std::vector<ScsiUnit> Units;
  std::shared_ptr<const Registry> Reg;
};

// Emulated drives from a ':'-separated list of image files (EmulatedScsiDevice.cpp).
std::vector<VirtualDrive> LoadEmulatedDrives(const std::string& list, std::vector<std::string>& errors);
// The mounted-device text of a lettered drive, as the NT path parses it.
std::string MountedDeviceText(const CdDrive& drive);

// The machine every transport uses; built from the default config on first use.
std::shared_ptr<const Machine> CurrentMachine();
// Replaces it (tests); restores the previous one when the guard ends.
class MachineOverride {
 public:
  explicit MachineOverride(std::shared_ptr<const Machine> machine);
  ~MachineOverride();
  MachineOverride(const MachineOverride&) = delete;
  MachineOverride& operator=(const MachineOverride&) = delete;

 private:
  std::shared_ptr<const Machine> Previous;
};

}  // namespace platform
