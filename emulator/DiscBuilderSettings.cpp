// The builder's --drive and --fault: one [Drive] or [Faults] line of the fault file,
// read by the fault file's own key table.
#include "emulator/DiscBuilder.h"
#include "emulator/ImageSetInternal.h"

namespace emu {

namespace {

template <typename Owner>
bool ApplySetting(bool (*parse)(const imageset::IniSection&, const imageset::IniEntry&, Owner&, std::string&),
                  const char* section, Owner& owner, const std::string& key, const std::string& value,
                  std::string& error) {
  const imageset::IniSection from{section, section, 0, {}};
  Owner changed = owner;  // untouched on a bad value
  if (!parse(from, imageset::MakeEntry(key, value), changed, error)) return false;
  owner = std::move(changed);
  return true;
}

}  // namespace

bool ApplyDriveSetting(DriveProfile& profile, const std::string& key, const std::string& value, std::string& error) {
  return ApplySetting(imageset::ParseDriveEntry, "Drive", profile, key, value, error);
}

bool ApplyFaultSetting(FaultSet& faults, const std::string& key, const std::string& value, std::string& error) {
  return ApplySetting(imageset::ParseFaultEntry, "Faults", faults, key, value, error);
}

}  // namespace emu
