#pragma once
// The read speeds (kB/s) a drive accepted, in the order found.
#include <cstddef>
#include <cstdint>
#include <vector>

class TReadSpeedList {
 public:
  void Clear() { Speeds.clear(); }
  void Add(uint32_t speed) { Speeds.push_back(speed); }
  uint32_t GetCount() const { return static_cast<uint32_t>(Speeds.size()); }
  // 0 when the index is not below the count.
  uint32_t Get(uint32_t index) const { return index < Speeds.size() ? Speeds[index] : 0; }
  // The entry equal to the speed, else the next slower one between two entries, else
  // the last index (also for a speed outside the list's range); -1 when empty.
  int FindIndex(uint32_t speed) const;

 private:
  std::vector<uint32_t> Speeds;
};
