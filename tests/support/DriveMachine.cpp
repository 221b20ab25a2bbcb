#include "tests/support/DriveMachine.h"

#include "drive/Kraspi.h"
#include "drive/Krspti.h"
#include "platform/EmulatedScsiDevice.h"
#include "tests/emulator/support/TestDiscs.h"

namespace test_support {

DriveMachine::DriveMachine(const MachineSpec& spec) {
  aspi_detail::ResetForTesting();
  spti_detail::ResetForTesting();
  platform::MachineConfig config;
  config.SysfsRoot = "/nonexistent-sysfs-for-tests";
  config.DevRoot = "/nonexistent-dev-for-tests";
  config.ReadEnvironment = false;
  config.Version = spec.Version;
  config.RegistryOverride = spec.Registry;
  if (!spec.AspiPresent) config.AspiModule = "/nonexistent/QuarnelAspi.so";
  for (const auto& drive : spec.Drives) {
    platform::VirtualDrive v = platform::EmulatedVirtualDrive(drive);
    if (spec.DeviceFor) v.Device = spec.DeviceFor(drive);
    config.VirtualDrives.push_back(v);
  }
  for (const auto& device : spec.Devices) {
    platform::VirtualDrive v;
    v.Vendor = "SCRIPTED";
    v.Product = "DRIVE";
    v.Revision = "1.0";
    v.Device = device;
    config.VirtualDrives.push_back(v);
  }
  Override = std::make_unique<platform::MachineOverride>(std::make_shared<platform::Machine>(config));
}

DriveMachine::~DriveMachine() {
  Override.reset();
  aspi_detail::ResetForTesting();
  spti_detail::ResetForTesting();
}

std::shared_ptr<emu::EmulatedDrive> SmallEmulatedDrive(const std::string& vendor, const std::string& product) {
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(20));
  disc->Profile.Vendor = vendor;
  disc->Profile.Product = product;
  return std::make_shared<emu::EmulatedDrive>(disc);
}

}  // namespace test_support
