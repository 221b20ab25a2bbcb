#include "drive/Readspeedlist.h"

int TReadSpeedList::FindIndex(uint32_t speed) const {
  if (Speeds.empty()) return -1;
  for (size_t i = 0; i < Speeds.size(); ++i) {
    if (Speeds[i] == speed) return static_cast<int>(i);
    if (i > 0 && speed < Speeds[i] && Speeds[i - 1] < speed) return static_cast<int>(i - 1);
  }
  return static_cast<int>(Speeds.size()) - 1;
}
