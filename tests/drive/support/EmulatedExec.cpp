#include "tests/drive/support/EmulatedExec.h"

#include <algorithm>
#include <span>

namespace drive_test {
namespace {

emu::EmulatedDrive* gDrive = nullptr;
ScriptedExecScope* gScript = nullptr;

TCommandResult RunOnEmulated(const TKrCdRom&, const uint8_t* cdb, uint8_t cdbLength, void* data,
                             uint32_t dataLength, uint8_t direction, uint32_t timeoutMs) {
  const platform::DataDirection dir = dataLength == 0    ? platform::DataDirection::None
                                 : direction == 0x08 ? platform::DataDirection::In
                                                     : platform::DataDirection::Out;
  TCommandResult result;
  result.Scsi = gDrive->Execute(std::span<const uint8_t>(cdb, cdbLength), dir,
                                std::span<uint8_t>(static_cast<uint8_t*>(data), dataLength), timeoutMs);
  return result;
}

TCommandResult Status(uint8_t result) {
  TCommandResult status;
  status.Scsi = platform::ScsiResult{};
  if (result != 1) status.Scsi.Status = platform::kStatusCheckCondition;
  return status;
}

TCommandResult RunScripted(const TKrCdRom&, const uint8_t* cdb, uint8_t cdbLength, void* data, uint32_t dataLength,
                           uint8_t direction, uint32_t) {
  ScriptedExecScope& s = *gScript;
  s.Cdbs.emplace_back(cdb, cdb + cdbLength);
  auto* bytes = static_cast<uint8_t*>(data);
  if (direction == 0x10) {
    s.DataOut.emplace_back(bytes, bytes + dataLength);
    return Status(1);
  }
  if (s.Answers.empty()) return Status(4);
  const ScriptedAnswer& answer = s.Answers[std::min(s.Next, s.Answers.size() - 1)];
  ++s.Next;
  std::copy_n(answer.Data.begin(), std::min<size_t>(answer.Data.size(), dataLength), bytes);
  return Status(answer.Result);
}

}  // namespace

EmulatedExecScope::EmulatedExecScope(emu::EmulatedDrive& drive) { gDrive = &drive; }
EmulatedExecScope::~EmulatedExecScope() { gDrive = nullptr; }
TScsiExec EmulatedExecScope::Exec() { return &RunOnEmulated; }

ScriptedExecScope::ScriptedExecScope() { gScript = this; }
ScriptedExecScope::~ScriptedExecScope() { gScript = nullptr; }
TScsiExec ScriptedExecScope::Exec() { return &RunScripted; }

}  // namespace drive_test
