#include "platform/EmulatedScsiDevice.h"

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
  result.Scsi = Drive->Execute(cdb, direction, buffer, timeoutMs);
  if (result.Scsi.TransportError) result.Error = kErrorTimeout;
  return result;
}

}  // namespace platform
