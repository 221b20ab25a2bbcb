#pragma once
// A software CD drive that answers SCSI/MMC commands from an emulated disc.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "emulator/Disc.h"
#include "platform/ScsiResult.h"

namespace emu {

using platform::DataDirection;
using platform::ScsiResult;
using platform::kStatusCheckCondition;
using platform::kStatusGood;

struct CommandLogEntry {
  std::vector<uint8_t> Cdb;
  DataDirection Direction = DataDirection::None;
  size_t Length = 0;
  std::vector<uint8_t> DataOut;  // what the host sent (MODE SELECT)
  ScsiResult Result;
};

class EmulatedDrive {
 public:
  explicit EmulatedDrive(std::shared_ptr<const Disc> disc);
  ~EmulatedDrive();
  EmulatedDrive(const EmulatedDrive&) = delete;
  EmulatedDrive& operator=(const EmulatedDrive&) = delete;

  // Executes one CDB. Thread-safe: commands are served one at a time. serviceMs, when
  // given, receives how long a real drive would have taken (at most the time-out); the
  // caller waits it on the platform's clock.
  ScsiResult Execute(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> buffer,
                     uint32_t timeoutMs, uint32_t* serviceMs = nullptr);

  // Inspection for tests.
  std::vector<CommandLogEntry> Log() const;
  void ClearLog();
  std::array<uint8_t, 12> CurrentPage01() const;
  std::array<uint8_t, 12> DefaultPage01() const;
  uint32_t BlockLength() const;
  bool Locked() const;
  uint16_t CurrentSpeed() const;
  const Disc& GetDisc() const;

 private:
  struct State;
  mutable std::mutex Mutex;
  std::unique_ptr<State> S;
};

}  // namespace emu
