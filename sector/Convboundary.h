#pragma once
#include <cstdint>

// Rounds a pointer up to the next multiple of 32.
inline uint8_t* ConvBoundary(uint8_t* p) {
  return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 31) & ~uintptr_t{31});
}
