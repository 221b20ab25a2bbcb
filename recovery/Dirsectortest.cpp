#include "recovery/Dirsectortest.h"

#include "recovery/Iso9660util.h"
#include "sector/Bytes.h"

namespace {

uint32_t CountTailZeros(const uint8_t* data, uint32_t size) {
  uint32_t z = 0;
  while (z < size && data[size - 1 - z] == 0) ++z;
  return z;
}

uint16_t BothEndian16Lsb(const uint8_t* p) { return GetLe16(p); }

constexpr uint32_t kMinRecordLength = 34;  // 33 fixed bytes and at least one identifier byte

}  // namespace

bool CheckTailZero(const uint8_t* data, uint32_t size, uint32_t splitUnit, uint32_t& n) {
  if (splitUnit == 0) {
    n = size;
    return false;
  }
  const uint32_t z = CountTailZeros(data, size);
  n = size - z;
  return z >= splitUnit;
}

bool IsDirectorySector(const uint8_t* data, uint32_t size) {
  uint64_t sum = 0;
  uint64_t last = 0;
  while (sum < size) {
    const uint8_t* r = data + sum;
    const uint32_t length = r[0];
    if (length == 0) break;
    // A record that cannot hold its fixed part inside the data is no record.
    if (sum + kMinRecordLength > size) return false;
    last = sum;
    const uint32_t nameLength = r[32];
    if (length <= 33 || nameLength == 0 || length < nameLength + 33) return false;
    if (BothEndian32Lsb(r + 2) != BothEndian32Msb(r + 2)) return false;
    if (BothEndian32Lsb(r + 10) != BothEndian32Msb(r + 10)) return false;
    if (BothEndian16Lsb(r + 28) != BothEndian16Msb(r + 28)) return false;
    sum += length;
  }
  if (sum == 0 || sum > size) return false;
  const uint64_t z = CountTailZeros(data, size);
  const uint64_t after = size - sum;
  if (after == z) return true;
  if (after > z) return false;
  uint64_t k = 0;
  for (uint64_t off = sum - 1; off > last + 33 && data[off] == 0; --off) ++k;
  return after + k == z;
}
