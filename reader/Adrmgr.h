#pragma once
// One status byte for every sector of a frame-address range, so that the extracter's
// jobs know which sectors were already read or found unreadable.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TAddressManager {
 public:
  static constexpr uint8_t kNotHandled = 0;
  static constexpr uint8_t kRead = 1;
  static constexpr uint8_t kFailed = 2;
  static constexpr uint8_t kOutside = 15;

  TAddressManager() = default;
  ~TAddressManager();
  TAddressManager(const TAddressManager&) = delete;
  TAddressManager& operator=(const TAddressManager&) = delete;

  // A zeroed map for start <= address < end. An inverted range (end < start), one of more
  // frames than a disc has, or a map that cannot be made gives false and leaves no map.
  bool Allocate(int64_t start, int64_t end);
  // No map: 0. Outside the range: 15.
  uint8_t GetStatus(int64_t address) const;
  // No map or outside the range: false and nothing changes.
  bool SetStatus(int64_t address, uint8_t status);
  void Clear();

  int64_t GetBase() const { return Base; }
  const std::string& GetTempFileName() const { return TempFileName; }
  bool HasMap() const { return Map.has_value(); }

 private:
  // Offset of address in the map, or nothing when it lies outside.
  std::optional<size_t> OffsetOf(int64_t address) const;

  int64_t Base = 0;
  std::string TempFileName;
  std::optional<std::vector<uint8_t>> Map;
};
