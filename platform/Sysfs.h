#pragma once
// SCSI devices as sysfs lists them, read below a root folder ("/sys" on a real machine).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct ScsiAddress {
  uint32_t Host = 0, Channel = 0, Target = 0, Lun = 0;
  auto operator<=>(const ScsiAddress&) const = default;
};

struct SysfsScsiDevice {
  ScsiAddress Address;
  uint8_t Type = 0x1F;  // peripheral device type; 5 is a CD drive
  std::string Vendor, Model, Revision;  // as sysfs gives them (blank padded)
  std::string BlockName;    // "sr0", empty when none
  std::string GenericName;  // "sg1", empty when none
};

// Every device of /class/scsi_device (or /bus/scsi/devices), ordered by address.
std::vector<SysfsScsiDevice> ScanScsiDevices(const std::filesystem::path& sysfsRoot);
// "2:0:1:0" -> address; false when the text is not four numbers.
bool ParseScsiAddress(const std::string& text, ScsiAddress& address);

}  // namespace platform
