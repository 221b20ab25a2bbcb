#pragma once
// Runs the commands of the shared builders straight on one emulated drive, as a
// transport would, so a test sees the exact bytes in the drive's command log.
#include <cstdint>

#include "drive/Cdbbuild.h"
#include "emulator/EmulatedDrive.h"

namespace drive_test {

class EmulatedExecScope {
 public:
  explicit EmulatedExecScope(emu::EmulatedDrive& drive);
  ~EmulatedExecScope();
  EmulatedExecScope(const EmulatedExecScope&) = delete;
  EmulatedExecScope& operator=(const EmulatedExecScope&) = delete;
  static TScsiExec Exec();
};

// A drive that answers every data-in command from a script and records what it got.
struct ScriptedAnswer {
  std::vector<uint8_t> Data;  // copied to the start of the buffer
  uint8_t Result = 1;  // 1 GOOD, anything else CHECK CONDITION
};
class ScriptedExecScope {
 public:
  ScriptedExecScope();
  ~ScriptedExecScope();
  ScriptedExecScope(const ScriptedExecScope&) = delete;
  ScriptedExecScope& operator=(const ScriptedExecScope&) = delete;
  static TScsiExec Exec();
  // Answers are used in order; the last one repeats.
  std::vector<ScriptedAnswer> Answers;
  std::vector<std::vector<uint8_t>> Cdbs;
  std::vector<std::vector<uint8_t>> DataOut;
  size_t Next = 0;
};

}  // namespace drive_test
