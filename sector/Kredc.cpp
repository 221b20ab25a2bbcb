#include "sector/Kredc.h"

#include "sector/Bytes.h"
#include "sector/Datasector.h"

namespace {

constexpr uint32_t kEdcPolynomial = 0xD8018001;
constexpr size_t kTableSize = 256;
constexpr size_t kSlices = 16;

// Four bytes of one 32-bit little-endian word, each through the table of its distance
// from the end of the block (first = the table of the word's lowest byte).
inline uint32_t Slice(const uint32_t* t, size_t first, uint32_t w) {
  return t[first * kTableSize + (w & 0xFF)] ^ t[(first - 1) * kTableSize + ((w >> 8) & 0xFF)] ^
         t[(first - 2) * kTableSize + ((w >> 16) & 0xFF)] ^ t[(first - 3) * kTableSize + (w >> 24)];
}

}  // namespace

TKrEdc::TKrEdc() : Tables(std::make_unique<uint32_t[]>(kTableSize * kSlices)) { MakeTable(); }

void TKrEdc::MakeTable() {
  uint32_t* t0 = Tables.get();
  for (uint32_t i = 0; i < kTableSize; ++i) {
    uint32_t a = i;
    for (int bit = 0; bit < 8; ++bit) a = (a >> 1) ^ ((a & 1) ? kEdcPolynomial : 0);
    t0[i] = a;
  }
  // Slice s holds the CRC of byte i followed by s zero bytes.
  for (size_t s = 1; s < kSlices; ++s) {
    const uint32_t* prev = t0 + (s - 1) * kTableSize;
    uint32_t* cur = t0 + s * kTableSize;
    for (size_t i = 0; i < kTableSize; ++i) cur[i] = (prev[i] >> 8) ^ t0[prev[i] & 0xFF];
  }
}

uint32_t TKrEdc::Calc(const uint8_t* sector) const { return CalcRange(sector, kMode1EdcOffset); }

uint32_t TKrEdc::CalcRange(const uint8_t* data, size_t length) const {
  const uint32_t* t = Tables.get();
  uint32_t crc = 0;
  while (length >= kSlices) {
    const uint32_t w0 = crc ^ GetLe32(data);
    const uint32_t w1 = GetLe32(data + 4);
    const uint32_t w2 = GetLe32(data + 8);
    const uint32_t w3 = GetLe32(data + 12);
    crc = Slice(t, 15, w0) ^ Slice(t, 11, w1) ^ Slice(t, 7, w2) ^ Slice(t, 3, w3);
    data += kSlices;
    length -= kSlices;
  }
  while (length-- > 0) crc = t[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}
