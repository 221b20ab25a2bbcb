#pragma once
// The emulated drive behind the SCSI device interface.
#include <memory>

#include "emulator/EmulatedDrive.h"
#include "platform/ScsiDevice.h"

namespace platform {

class EmulatedScsiDevice : public ScsiDevice {
 public:
  explicit EmulatedScsiDevice(std::shared_ptr<emu::EmulatedDrive> drive);
  ExecResult Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                     uint32_t timeoutMs) override;

 private:
  std::shared_ptr<emu::EmulatedDrive> Drive;
};

}  // namespace platform
