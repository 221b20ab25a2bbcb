#include "platform/Sysfs.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string ReadLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The first entry of a folder ("block" holds one "srN"), empty when there is none.
std::string FirstEntry(const fs::path& folder) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? std::string() : names.front();
}

}  // namespace

bool ParseScsiAddress(const std::string& text, ScsiAddress& address) {
  uint32_t parts[4];
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    const auto [next, ec] = std::from_chars(p, end, parts[i]);
    if (ec != std::errc() || next == p) return false;
    p = next;
    if (i < 3) {
      if (p == end || *p != ':') return false;
      ++p;
    }
  }
  if (p != end) return false;
  address = {parts[0], parts[1], parts[2], parts[3]};
  return true;
}

std::vector<SysfsScsiDevice> ScanScsiDevices(const fs::path& sysfsRoot) {
  std::vector<SysfsScsiDevice> devices;
  fs::path folder = sysfsRoot / "class" / "scsi_device";
  bool viaClass = true;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    folder = sysfsRoot / "bus" / "scsi" / "devices";
    viaClass = false;
  }
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    SysfsScsiDevice device;
    if (!ParseScsiAddress(it->path().filename().string(), device.Address)) continue;
    const fs::path dir = viaClass ? it->path() / "device" : it->path();
    const std::string type = ReadLine(dir / "type");
    int value = 0;
    const auto [ptr, err] = std::from_chars(type.data(), type.data() + type.size(), value);
    if (err != std::errc() || ptr == type.data() || value < 0 || value > 0x1F) continue;
    device.Type = static_cast<uint8_t>(value);
    device.Vendor = ReadLine(dir / "vendor");
    device.Model = ReadLine(dir / "model");
    device.Revision = ReadLine(dir / "rev");
    device.BlockName = FirstEntry(dir / "block");
    device.GenericName = FirstEntry(dir / "scsi_generic");
    devices.push_back(std::move(device));
  }
  std::sort(devices.begin(), devices.end(),
            [](const SysfsScsiDevice& a, const SysfsScsiDevice& b) { return a.Address < b.Address; });
  return devices;
}

}  // namespace platform
