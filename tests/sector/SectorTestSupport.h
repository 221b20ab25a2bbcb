#pragma once
// Reference arithmetic for the sector tests, written independently of the library
// (bitwise CRC, shift-and-add field multiplication) so that both can be checked.
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/RandomBytes.h"

namespace sectortest {

using TSector = std::array<uint8_t, 2352>;

constexpr uint8_t kReferenceSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

inline uint32_t ReferenceEdc(const uint8_t* data, size_t length) {
  uint32_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0u);
  }
  return crc;
}

inline uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint8_t GfMul(uint8_t a, uint8_t b) {
  unsigned result = 0, x = a;
  for (; b != 0; b >>= 1) {
    if (b & 1) result ^= x;
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
  }
  return static_cast<uint8_t>(result);
}

inline uint8_t GfAlphaPow(int n) {
  uint8_t r = 1;
  for (int i = 0; i < n; ++i) r = GfMul(r, 2);
  return r;
}

// Byte offset of a codeword symbol (low plane; +1 for the high plane).
inline size_t QSymbolOffset(int codeword, int pos) {
  const int word = pos < 43 ? (44 * pos + 43 * codeword) % 1118 : (pos == 43 ? 1118 + codeword : 1144 + codeword);
  return 12 + 2 * static_cast<size_t>(word);
}
inline size_t PSymbolOffset(int codeword, int pos) { return 12 + 2 * static_cast<size_t>(43 * pos + codeword); }

struct TSyndromes {
  uint8_t S0 = 0;
  uint8_t S1 = 0;
};

inline TSyndromes Syndromes(const uint8_t* sector, bool q, int codeword, int plane) {
  const int w = q ? 44 : 25;
  TSyndromes s;
  for (int pos = 0; pos <= w; ++pos) {
    const uint8_t v = sector[(q ? QSymbolOffset(codeword, pos) : PSymbolOffset(codeword, pos)) + plane];
    s.S0 ^= v;
    s.S1 ^= GfMul(v, GfAlphaPow(w - pos));
  }
  return s;
}

// Number of codeword planes whose syndromes are not both zero.
inline int CountFailingCodewords(const uint8_t* sector) {
  int failing = 0;
  for (int plane = 0; plane < 2; ++plane) {
    for (int i = 0; i < 26; ++i) {
      const TSyndromes s = Syndromes(sector, true, i, plane);
      failing += (s.S0 | s.S1) != 0;
    }
    for (int k = 0; k < 43; ++k) {
      const TSyndromes s = Syndromes(sector, false, k, plane);
      failing += (s.S0 | s.S1) != 0;
    }
  }
  return failing;
}

// Which P and Q codeword hold the byte at a sector offset (12..2351): the word is in
// exactly one Q codeword; P covers words 0..1117 only.
struct TCodewordsOfByte {
  int Q = -1;
  int P = -1;
};

inline TCodewordsOfByte CodewordsOfByte(size_t offset) {
  const int word = static_cast<int>((offset - 12) / 2);
  TCodewordsOfByte c;
  if (word < 1118) c.P = word % 43;
  for (int i = 0; i < 26 && c.Q < 0; ++i)
    for (int pos = 0; pos < 45; ++pos)
      if (QSymbolOffset(i, pos) == 12 + 2 * static_cast<size_t>(word)) {
        c.Q = i;
        break;
      }
  return c;
}

using test_support::RandomBytes;

}  // namespace sectortest
