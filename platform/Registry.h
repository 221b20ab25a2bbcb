#pragma once
// A read-only registry of HKEY_LOCAL_MACHINE paths ("SYSTEM\MountedDevices").
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

class Registry {
 public:
  virtual ~Registry() = default;
  // False when the key does not exist.
  virtual bool EnumSubkeys(const std::string& keyPath, std::vector<std::string>& names) const = 0;
  virtual bool QueryString(const std::string& keyPath, const std::string& valueName, std::string& text) const = 0;
  virtual bool QueryBinary(const std::string& keyPath, const std::string& valueName,
                           std::vector<uint8_t>& data) const = 0;
};

// Keys and values set by hand: the Windows 9x device registry in tests.
class MemoryRegistry : public Registry {
 public:
  // Creates the key and its parents; existing keys are kept.
  void AddKey(const std::string& keyPath);
  void SetString(const std::string& keyPath, const std::string& valueName, const std::string& text);
  void SetBinary(const std::string& keyPath, const std::string& valueName, std::vector<uint8_t> data);
  bool EnumSubkeys(const std::string& keyPath, std::vector<std::string>& names) const override;
  bool QueryString(const std::string& keyPath, const std::string& valueName, std::string& text) const override;
  bool QueryBinary(const std::string& keyPath, const std::string& valueName,
                   std::vector<uint8_t>& data) const override;

 private:
  std::map<std::string, std::map<std::string, std::string>> Strings;
  std::map<std::string, std::map<std::string, std::vector<uint8_t>>> Binaries;
  std::map<std::string, std::vector<std::string>> Subkeys;  // key -> child names in insertion order
};

// Text as UTF-16LE bytes, the form of a mounted-device value.
std::vector<uint8_t> ToUtf16Bytes(const std::string& text);

}  // namespace platform
