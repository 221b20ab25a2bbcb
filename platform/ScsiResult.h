#pragma once
// What one SCSI command execution returns; the platform's SCSI device interface
// puts this in front of the emulated drive as it does in front of SG_IO.
#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

enum class DataDirection : uint8_t { None, In, Out };

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;

struct ScsiResult {
  // No status: the command timed out or the transport failed.
  bool TransportError = false;
  uint8_t Status = kStatusGood;
  // Fixed-format sense (0x70/0xF0), 18 bytes, valid when SenseLength > 0.
  std::array<uint8_t, 18> Sense{};
  size_t SenseLength = 0;
  // Bytes of the buffer not transferred.
  size_t Residual = 0;

  bool Good() const { return !TransportError && Status == kStatusGood; }
  uint8_t SenseKey() const { return SenseLength ? Sense[2] & 0x0F : 0; }
  uint8_t Asc() const { return SenseLength ? Sense[12] : 0; }
  uint8_t Ascq() const { return SenseLength ? Sense[13] : 0; }
};

}  // namespace platform
