#pragma once
// One SCSI device: execute a CDB with a direction, a buffer and a time-out.
#include <cstdint>
#include <span>

#include "platform/ScsiResult.h"

namespace platform {

// Error codes as the transports report them.
constexpr uint32_t kErrorNone = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorTimeout = 121;
constexpr uint32_t kErrorIoDevice = 1117;

struct ExecResult {
  // Status, fixed-format sense and residual; TransportError when no status came back.
  ScsiResult Scsi;
  // kErrorNone when the command reached the drive and a status came back.
  uint32_t Error = kErrorNone;
};

class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  virtual ExecResult Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                             uint32_t timeoutMs) = 0;
};

}  // namespace platform
