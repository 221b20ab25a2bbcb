#include "platform/Registry.h"

#include <algorithm>

namespace platform {

void MemoryRegistry::AddKey(const std::string& keyPath) {
  std::string path = keyPath;
  while (true) {
    Subkeys.try_emplace(path);
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return;
    const std::string parent = path.substr(0, slash);
    const std::string child = path.substr(slash + 1);
    auto& children = Subkeys[parent];
    if (std::find(children.begin(), children.end(), child) != children.end()) return;
    children.push_back(child);
    path = parent;
  }
}

void MemoryRegistry::SetString(const std::string& keyPath, const std::string& valueName, const std::string& text) {
  AddKey(keyPath);
  Strings[keyPath][valueName] = text;
}

void MemoryRegistry::SetBinary(const std::string& keyPath, const std::string& valueName, std::vector<uint8_t> data) {
  AddKey(keyPath);
  Binaries[keyPath][valueName] = std::move(data);
}

bool MemoryRegistry::EnumSubkeys(const std::string& keyPath, std::vector<std::string>& names) const {
  const auto it = Subkeys.find(keyPath);
  if (it == Subkeys.end()) return false;
  names = it->second;
  return true;
}

bool MemoryRegistry::QueryString(const std::string& keyPath, const std::string& valueName, std::string& text) const {
  const auto key = Strings.find(keyPath);
  if (key == Strings.end()) return false;
  const auto value = key->second.find(valueName);
  if (value == key->second.end()) return false;
  text = value->second;
  return true;
}

bool MemoryRegistry::QueryBinary(const std::string& keyPath, const std::string& valueName,
                                 std::vector<uint8_t>& data) const {
  const auto key = Binaries.find(keyPath);
  if (key == Binaries.end()) return false;
  const auto value = key->second.find(valueName);
  if (value == key->second.end()) return false;
  data = value->second;
  return true;
}

std::vector<uint8_t> ToUtf16Bytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const char c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  return bytes;
}

}  // namespace platform
