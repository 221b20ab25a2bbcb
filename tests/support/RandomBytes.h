#pragma once
// Pseudo-random bytes for test inputs, the same for the same seed.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace test_support {

inline std::vector<uint8_t> RandomBytes(std::mt19937& generator, size_t size) {
  std::vector<uint8_t> data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>(generator());
  return data;
}

inline std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 generator(seed);
  return RandomBytes(generator, size);
}

}  // namespace test_support
