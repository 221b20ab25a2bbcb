#pragma once
// Which ASPI device carries a drive letter, found through the registry.
#include <string>
#include <vector>

#include "drive/Krcdrom.h"

// Index of the first device of `devices`, not yet taken, that the registry names as the
// drive `driveName` ("E:"); marks it taken. -1 when none matches or the registry
// cannot be read. `taken` has one flag per device.
int GetDriveIndexFromLetter(const std::string& driveName, const std::vector<TKrCdRom>& devices,
                            std::vector<bool>& taken);

// The identity a mounted-device text names ("\??\IDE#CdRom...", "\??\SCSI#CdRom&Ven_...").
struct TMountedDeviceId {
  std::string Vendor, Product, Revision;  // trimmed
  bool HasAddress = false;                // target and LUN were given
  uint8_t Target = 0, Lun = 0;
};
// False for a text of another bus or shape.
bool ParseMountedDeviceText(const std::string& text, TMountedDeviceId& id);
