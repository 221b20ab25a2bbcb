#include "platform/EmulatedScsiDevice.h"

#include "emulator/ImageSet.h"
#include "platform/Clock.h"
#include "platform/ScsiCodes.h"

namespace platform {

EmulatedScsiDevice::EmulatedScsiDevice(std::shared_ptr<emu::EmulatedDrive> drive) : Drive(std::move(drive)) {}

ExecResult EmulatedScsiDevice::Execute(std::span<const uint8_t> cdb, DataDirection direction,
                                       std::span<uint8_t> buffer, uint32_t timeoutMs) {
  ExecResult result;
  if (cdb.empty() || cdb.size() > 16) {
    result.Scsi.TransportError = true;
    result.Error = kErrorInvalidParameter;
    return result;
  }
  if (cdb[0] == scsi::kOpReadCdda && Drive->GetDisc().Profile.FilterVendorCommands) {
    // The kernel's command filter stops it before it reaches the drive.
    result.Scsi.TransportError = true;
    result.Error = kErrorAccessDenied;
    return result;
  }
  uint32_t serviceMs = 0;
  result.Scsi = Drive->Execute(cdb, direction, buffer, timeoutMs, &serviceMs);
  // A slow drive keeps its caller waiting; tests put a fake clock here.
  if (serviceMs != 0) Sleep(serviceMs);
  if (result.Scsi.TransportError) result.Error = kErrorTimeout;
  return result;
}

VirtualDrive EmulatedVirtualDrive(std::shared_ptr<emu::EmulatedDrive> drive) {
  VirtualDrive v;
  const emu::DriveProfile& profile = drive->GetDisc().Profile;
  v.Vendor = profile.Vendor;
  v.Product = profile.Product;
  v.Revision = profile.Revision;
  v.Device = std::make_shared<EmulatedScsiDevice>(std::move(drive));
  return v;
}

std::vector<VirtualDrive> LoadEmulatedDrives(const std::string& list, std::vector<std::string>& errors) {
  std::vector<VirtualDrive> drives;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string path = list.substr(start, end - start);
    start = end + 1;
    if (path.empty()) continue;
    emu::Disc disc;
    std::string error;
    if (!emu::LoadImageSet(path, disc, error)) {
      errors.push_back(path + ": " + error);
      continue;
    }
    drives.push_back(
        EmulatedVirtualDrive(std::make_shared<emu::EmulatedDrive>(std::make_shared<const emu::Disc>(std::move(disc)))));
  }
  return drives;
}

}  // namespace platform
