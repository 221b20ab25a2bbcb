#include "platform/Machine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/AspiHost.h"
#include "platform/PassThrough.h"
#include "sector/Trim.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMountedDevicesKey = "SYSTEM\\MountedDevices";
constexpr const char* kCdInterfaceClass = "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
constexpr char kFirstLetter = 'D';

// Forwards to a device shared by every opener (a virtual drive has one state).
class SharedDevice : public ScsiDevice {
 public:
  explicit SharedDevice(std::shared_ptr<ScsiDevice> device) : Device(std::move(device)) {}
  ExecResult Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                     uint32_t timeoutMs) override {
    return Device->Execute(cdb, direction, buffer, timeoutMs);
  }

 private:
  std::shared_ptr<ScsiDevice> Device;
};

std::string Replace(std::string text, char from, char to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

std::string UpperName(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::mutex CurrentMutex;
std::shared_ptr<const Machine>& CurrentSlot() {
  static std::shared_ptr<const Machine> machine;
  return machine;
}

}  // namespace

std::string MountedDeviceText(const CdDrive& drive) {
  const uint32_t target = drive.Virtual ? static_cast<uint32_t>(drive.VirtualIndex) : drive.Address.Target;
  const uint32_t lun = drive.Virtual ? 0 : drive.Address.Lun;
  const uint32_t bus = drive.Virtual ? 0 : drive.Address.Channel;
  std::string instance = "4&" + std::string(drive.Virtual ? "51a7e0" : "2b6e1d6") + "&0&" + std::to_string(bus) +
                         std::to_string(target) + std::to_string(lun);
  return "\\??\\SCSI#CdRom&Ven_" + Replace(drive.Vendor, ' ', '_') + "&Prod_" +
         Replace(Replace(drive.Product, ' ', '_'), '/', '#') + "&Rev_" + Replace(drive.Revision, ' ', '_') + "#" +
         instance + "#" + kCdInterfaceClass;
}

Machine::Machine(MachineConfig config) : Config(std::move(config)) {
  if (!Config.Sg) Config.Sg = RealSgSystem();
  if (Config.ReadEnvironment) {
    // An image that cannot be loaded gives no drive: the drive box does not list it.
    std::vector<std::string> unloaded;
    if (const char* list = std::getenv(kEmulatedDrivesVariable)) Virtuals = LoadEmulatedDrives(list, unloaded);
  }
  for (auto& drive : Config.VirtualDrives) Virtuals.push_back(drive);
  Config.VirtualDrives.clear();

  AddLinuxDrives();
  AddVirtualDrives();
  // Letters D: to Z:; drives beyond them stay unlettered.
  if (Drives.size() > static_cast<size_t>('Z' - kFirstLetter + 1)) Drives.resize('Z' - kFirstLetter + 1);
  for (size_t i = 0; i < Drives.size(); ++i) Drives[i].Letter = std::string(1, static_cast<char>(kFirstLetter + i)) + ":";
  Reg = Config.RegistryOverride ? Config.RegistryOverride : MountedDevicesRegistry();
}

void Machine::AddLinuxDrives() {
  const auto devices = ScanScsiDevices(Config.SysfsRoot);
  std::set<uint32_t> cdHosts;
  for (const auto& device : devices) {
    if (device.Type != 5) continue;
    const std::string node = !device.BlockName.empty() ? device.BlockName : device.GenericName;
    if (node.empty()) continue;
    cdHosts.insert(device.Address.Host);
    CdDrive drive;
    drive.Address = device.Address;
    drive.Node = Config.DevRoot / node;
    drive.Vendor = Trim(device.Vendor);
    drive.Product = Trim(device.Model);
    drive.Revision = Trim(device.Revision);
    Drives.push_back(std::move(drive));
  }
  for (const auto& device : devices) {
    // ASPI addresses have no channel; a target or LUN it cannot carry is left out.
    if (!cdHosts.contains(device.Address.Host) || device.Address.Channel != 0 || device.Address.Target > 255 ||
        device.Address.Lun > 7) {
      continue;
    }
    ScsiUnit unit;
    unit.HostKey = device.Address.Host;
    unit.Target = static_cast<uint8_t>(device.Address.Target);
    unit.Lun = static_cast<uint8_t>(device.Address.Lun);
    unit.DeviceType = device.Type;
    const std::string node = device.Type == 5 && !device.BlockName.empty() ? device.BlockName : device.GenericName;
    if (!node.empty()) unit.Node = Config.DevRoot / node;
    Units.push_back(std::move(unit));
  }
}

void Machine::AddVirtualDrives() {
  for (size_t i = 0; i < Virtuals.size() && i < 256; ++i) {
    CdDrive drive;
    drive.Virtual = true;
    drive.VirtualIndex = i;
    drive.Vendor = Trim(Virtuals[i].Vendor);
    drive.Product = Trim(Virtuals[i].Product);
    drive.Revision = Trim(Virtuals[i].Revision);
    Drives.push_back(std::move(drive));
    ScsiUnit unit;
    unit.HostKey = kAspiVirtualHost;
    unit.Target = static_cast<uint8_t>(i);
    unit.DeviceType = 5;
    unit.Virtual = true;
    unit.VirtualIndex = i;
    Units.push_back(std::move(unit));
  }
}

std::shared_ptr<const Registry> Machine::MountedDevicesRegistry() const {
  auto registry = std::make_shared<MemoryRegistry>();
  registry->AddKey(kMountedDevicesKey);
  for (const auto& drive : Drives) {
    registry->SetBinary(kMountedDevicesKey, "\\DosDevices\\" + drive.Letter, ToUtf16Bytes(MountedDeviceText(drive)));
  }
  return registry;
}

Machine::~Machine() = default;

uint32_t Machine::GetDriveType(const std::string& rootPath) const {
  const std::string upper = UpperName(rootPath);
  for (const auto& drive : Drives) {
    if (upper == drive.Letter || upper == drive.Letter + "\\") return kDriveCdrom;
  }
  return kDriveNoRootDir;
}

std::unique_ptr<ScsiDevice> Machine::OpenNode(const fs::path& node, uint32_t access, uint32_t& error) const {
  return SgIoDevice::Open(node.string(), Config.Sg, (access & kAccessWrite) != 0, error);
}

std::unique_ptr<ScsiDevice> Machine::OpenDrive(const std::string& name, uint32_t access, uint32_t& error) const {
  const std::string upper = UpperName(name);
  for (const auto& drive : Drives) {
    if (drive.Letter != upper) continue;
    if (drive.Virtual) {
      error = kErrorNone;
      return std::make_unique<SharedDevice>(Virtuals[drive.VirtualIndex].Device);
    }
    return OpenNode(drive.Node, access, error);
  }
  error = kErrorFileNotFound;
  return nullptr;
}

std::unique_ptr<ScsiDevice> Machine::OpenUnit(size_t index, uint32_t& error) const {
  if (index >= Units.size()) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  const ScsiUnit& unit = Units[index];
  if (unit.Virtual) {
    error = kErrorNone;
    return std::make_unique<SharedDevice>(Virtuals[unit.VirtualIndex].Device);
  }
  if (unit.Node.empty()) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  return OpenNode(unit.Node, kAccessRead | kAccessWrite, error);
}

fs::path Machine::AspiModulePath() const {
  if (!Config.AspiModule.empty()) return Config.AspiModule;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path() / "QuarnelAspi.so";
    if (fs::exists(beside, ec)) return beside;
  }
#ifdef QNL_ASPI_BUILD_PATH
  return QNL_ASPI_BUILD_PATH;
#else
  return "QuarnelAspi.so";
#endif
}

std::shared_ptr<const Machine> CurrentMachine() {
  std::lock_guard lock(CurrentMutex);
  auto& slot = CurrentSlot();
  if (!slot) slot = std::make_shared<const Machine>(MachineConfig{});
  return slot;
}

MachineOverride::MachineOverride(std::shared_ptr<const Machine> machine) {
  std::lock_guard lock(CurrentMutex);
  Previous = std::move(CurrentSlot());
  CurrentSlot() = std::move(machine);
}

MachineOverride::~MachineOverride() {
  std::lock_guard lock(CurrentMutex);
  CurrentSlot() = std::move(Previous);
}

}  // namespace platform
