#pragma once
// The pass-through stand-in: a device opened by drive name ("E:") and one request
// block run on it, reporting Windows-style error codes (5: access denied).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ScsiDevice.h"

namespace platform {

constexpr uint32_t kAccessRead = 0x1;
constexpr uint32_t kAccessWrite = 0x2;

struct ScsiPassThroughDirect {
  uint16_t Length = 0;
  uint8_t ScsiStatus = 0;
  uint8_t PathId = 0, TargetId = 0, Lun = 0;
  uint8_t CdbLength = 0;
  uint8_t SenseInfoLength = 0;
  uint8_t DataIn = 0;  // 0 data out, 1 data in, 2 unspecified
  uint32_t DataTransferLength = 0;
  uint32_t TimeOutValue = 0;  // seconds
  void* DataBuffer = nullptr;
  uint32_t SenseInfoOffset = 0;
  uint8_t Cdb[16] = {};
};

struct ScsiPassThroughRequest {
  ScsiPassThroughDirect Sptd;
  uint8_t Reserved[4] = {};
  uint8_t SenseBuffer[32] = {};
};
constexpr uint32_t kSenseBufferOffset = offsetof(ScsiPassThroughRequest, SenseBuffer);

// An open drive; closes on destruction.
class PassThroughHandle {
 public:
  explicit PassThroughHandle(std::unique_ptr<ScsiDevice> device) : Device(std::move(device)) {}
  ScsiDevice& Get() { return *Device; }

 private:
  std::unique_ptr<ScsiDevice> Device;
};

// Opens the drive the machine maps to name ("E:"); null with error 2 (no such drive)
// or 5 (access denied).
std::unique_ptr<PassThroughHandle> OpenDrive(const std::string& name, uint32_t access, uint32_t& error);

// Runs the request on the drive. True when a status came back (CHECK CONDITION
// included; ScsiStatus and the sense buffer say how it ended), with the residual
// taken off DataTransferLength. False with error set when the command did not complete.
bool PassThroughIoctl(PassThroughHandle& handle, ScsiPassThroughRequest& request, uint32_t& error);

}  // namespace platform
