#pragma once
// The emulated drive behind the SCSI device interface: the one part of the platform
// that knows the emulator.
#include <memory>

#include "emulator/EmulatedDrive.h"
#include "platform/Machine.h"
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

// The drive on the virtual adapter, named as its disc's profile says.
VirtualDrive EmulatedVirtualDrive(std::shared_ptr<emu::EmulatedDrive> drive);

}  // namespace platform
