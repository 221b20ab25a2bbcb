#pragma once
// A machine of emulated drives (no Linux drive) installed for one test, with the
// transports' process-wide state forgotten before and after.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatedDrive.h"
#include "platform/Machine.h"

namespace test_support {

struct MachineSpec {
  std::vector<std::shared_ptr<platform::ScsiDevice>> Devices;  // plain devices, no emulator
  std::vector<std::shared_ptr<emu::EmulatedDrive>> Drives;
  // When set, the device in front of each drive of Drives (it reaches the drive itself).
  std::function<std::shared_ptr<platform::ScsiDevice>(std::shared_ptr<emu::EmulatedDrive>)> DeviceFor;
  bool AspiPresent = true;
  platform::OsVersion Version;
  std::shared_ptr<const platform::Registry> Registry;  // null: the machine's own
};

class DriveMachine {
 public:
  explicit DriveMachine(const MachineSpec& spec);
  ~DriveMachine();
  DriveMachine(const DriveMachine&) = delete;
  DriveMachine& operator=(const DriveMachine&) = delete;

 private:
  std::unique_ptr<platform::MachineOverride> Override;
};

// An emulated drive with a small Mode 1 disc; vendor and product as given.
std::shared_ptr<emu::EmulatedDrive> SmallEmulatedDrive(const std::string& vendor = "QUARNEL",
                                                        const std::string& product = "EMULATED CD-ROM");

}  // namespace test_support
