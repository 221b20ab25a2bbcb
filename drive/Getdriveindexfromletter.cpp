#include "drive/Getdriveindexfromletter.h"

#include <cctype>
#include <charconv>

#include "platform/Machine.h"
#include "sector/Trim.h"

namespace {

std::string Replace(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

// The text between `open` and `close` (or to the end when close is empty).
std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const auto start = text.find(open);
  if (start == std::string::npos) return {};
  const auto from = start + open.size();
  if (close.empty()) return text.substr(from);
  const auto end = text.find(close, from);
  return end == std::string::npos ? text.substr(from) : text.substr(from, end - from);
}

std::string DropAmpersandFields(std::string text, int fields) {
  for (int i = 0; i < fields; ++i) {
    const auto amp = text.find('&');
    if (amp == std::string::npos) break;
    text.erase(0, amp + 1);
  }
  return text;
}

bool DigitAt(const std::string& text, size_t index, uint8_t& value) {
  if (index >= text.size() || !std::isdigit(static_cast<unsigned char>(text[index]))) return false;
  value = static_cast<uint8_t>(text[index] - '0');
  return true;
}

void TakeAddress(const std::string& instance, size_t expectedLength, size_t targetIndex, size_t lunIndex,
                 TMountedDeviceId& id) {
  const std::string trimmed(Trim(instance));
  if (trimmed.size() != expectedLength) return;
  uint8_t target = 0, lun = 0;
  if (targetIndex != std::string::npos && !DigitAt(trimmed, targetIndex, target)) return;
  if (!DigitAt(trimmed, lunIndex, lun)) return;
  id.HasAddress = true;
  id.Target = target;
  id.Lun = lun;
}

void ParseIdeDevice(const std::string& device, TMountedDeviceId& id) {
  const auto underscore = device.find('_');
  id.Vendor = device.substr(0, underscore);
  const std::string rest = underscore == std::string::npos ? std::string{} : device.substr(underscore + 1);
  // The revision is the last run of the text that is not padding.
  size_t i = rest.size();
  while (i > 0 && rest[i - 1] == '_') --i;
  while (i > 0 && rest[i - 1] != '_') --i;
  std::string product = rest;
  std::string revision;
  if (i > 0) {
    product = rest.substr(0, i - 1);
    revision = rest.substr(i);
  }
  id.Product = Replace(Replace(product, '_', ' '), '#', '/');
  id.Revision = Replace(revision, '_', ' ');
}

void ParseVenProdRev(const std::string& device, TMountedDeviceId& id) {
  id.Vendor = Between(device, "&Ven_", "&Prod_");
  id.Product = Replace(Replace(Between(device, "&Prod_", "&Rev_"), '_', ' '), '#', '/');
  id.Revision = Between(device, "&Rev_", "");
}

uint8_t DecimalOrZero(const std::string& text) {
  unsigned value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc{} || value > 255) return 0;
  return static_cast<uint8_t>(value);
}

int TakeFirstMatch(const std::vector<TKrCdRom>& devices, std::vector<bool>& taken, const TMountedDeviceId& id) {
  for (size_t k = 0; k < devices.size() && k < taken.size(); ++k) {
    const TKrCdRom& device = devices[k];
    if (taken[k]) continue;
    if (id.HasAddress && (device.Target != id.Target || device.Lun != id.Lun)) continue;
    if (Trim(device.GetVendor()) != id.Vendor || Trim(device.GetProduct()) != id.Product ||
        Trim(device.GetRevision()) != id.Revision)
      continue;
    taken[k] = true;
    return static_cast<int>(k);
  }
  return -1;
}

int FromDeviceRegistry(const platform::Registry& registry, const std::string& driveName,
                       const std::vector<TKrCdRom>& devices, std::vector<bool>& taken) {
  const std::string root = "Enum\\SCSI";
  std::vector<std::string> subkeys;
  if (!registry.EnumSubkeys(root, subkeys)) return -1;
  for (const std::string& subkey : subkeys) {
    std::vector<std::string> instances;
    if (!registry.EnumSubkeys(root + "\\" + subkey, instances)) return -1;
    for (const std::string& instance : instances) {
      const std::string key = root + "\\" + subkey + "\\" + instance;
      std::string letter;
      // A device without a letter (a disk, a scanner) is not an error, just not this drive.
      if (!registry.QueryString(key, "CurrentDriveLetterAssignment", letter) || letter + ":" != driveName)
        continue;
      std::string target, lun, vendor, product, revision;
      registry.QueryString(key, "SCSITargetID", target);
      registry.QueryString(key, "SCSILUN", lun);
      registry.QueryString(key, "Manufacturer", vendor);
      registry.QueryString(key, "ProductId", product);
      registry.QueryString(key, "RevisionLevel", revision);
      TMountedDeviceId id{std::string(Trim(vendor)), std::string(Trim(product)), std::string(Trim(revision)),
                          true, DecimalOrZero(target), DecimalOrZero(lun)};
      const int k = TakeFirstMatch(devices, taken, id);
      if (k >= 0) return k;
    }
  }
  return -1;
}

int FromMountedDevices(const platform::Registry& registry, const std::string& driveName,
                       const std::vector<TKrCdRom>& devices, std::vector<bool>& taken) {
  std::vector<uint8_t> value;
  if (!registry.QueryBinary("SYSTEM\\MountedDevices", "\\DosDevices\\" + driveName, value)) return -1;
  std::string text;
  for (size_t i = 0; i + 1 < value.size(); i += 2) text.push_back(static_cast<char>(value[i]));
  TMountedDeviceId id;
  if (!ParseMountedDeviceText(text, id)) return -1;
  return TakeFirstMatch(devices, taken, id);
}

}  // namespace

bool ParseMountedDeviceText(const std::string& text, TMountedDeviceId& id) {
  const std::string prefix = "\\??\\";
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  enum class Bus { Ide, Scsi, UsbStor } bus;
  std::string rest = text.substr(prefix.size());
  size_t busLength = 0;
  if (rest.compare(0, 3, "IDE") == 0) {
    bus = Bus::Ide, busLength = 3;
  } else if (rest.compare(0, 4, "SCSI") == 0) {
    bus = Bus::Scsi, busLength = 4;
  } else if (rest.compare(0, 7, "USBSTOR") == 0) {
    bus = Bus::UsbStor, busLength = 7;
  } else {
    return false;
  }
  // The bus, one separator and the device class word ("CdRom").
  const size_t skip = busLength + 1 + 5;
  if (rest.size() < skip) return false;
  rest.erase(0, skip);

  const auto close = rest.rfind('}');
  if (close != std::string::npos) {
    const auto open = rest.rfind('{', close);
    if (open != std::string::npos) {
      size_t from = open;
      if (from > 0 && rest[from - 1] == '#') --from;
      rest.erase(from, close + 1 - from);
    }
  }
  const auto hash = rest.rfind('#');
  const std::string device = hash == std::string::npos ? rest : rest.substr(0, hash);
  const std::string instance = hash == std::string::npos ? std::string{} : rest.substr(hash + 1);

  id = TMountedDeviceId{};
  switch (bus) {
    case Bus::Ide:
      ParseIdeDevice(device, id);
      TakeAddress(DropAmpersandFields(instance, 3), 5, 2, 4, id);
      break;
    case Bus::Scsi:
      ParseVenProdRev(device, id);
      TakeAddress(DropAmpersandFields(instance, 4), 3, 1, 2, id);
      break;
    case Bus::UsbStor:
      ParseVenProdRev(device, id);
      TakeAddress(DropAmpersandFields(instance, 2), 1, std::string::npos, 0, id);
      break;
  }
  id.Vendor = Trim(id.Vendor);
  id.Product = Trim(id.Product);
  id.Revision = Trim(id.Revision);
  return true;
}

int GetDriveIndexFromLetter(const std::string& driveName, const std::vector<TKrCdRom>& devices,
                            std::vector<bool>& taken) {
  const auto machine = platform::CurrentMachine();
  const platform::OsVersion version = machine->GetVersion();
  if (version.PlatformId == platform::kPlatformWin32Windows)
    return FromDeviceRegistry(machine->GetRegistry(), driveName, devices, taken);
  if (version.PlatformId == platform::kPlatformWin32Nt)
    return FromMountedDevices(machine->GetRegistry(), driveName, devices, taken);
  return -1;
}
