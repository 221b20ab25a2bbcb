#include "sector/Scramble.h"

#include <array>
#include <cstring>

#include "sector/Datasector.h"

namespace {

// Shift register x^15 + x + 1 preset to 1; each output bit is the register's low bit,
// packed into bytes least significant bit first. The sync is never scrambled.
constexpr std::array<uint8_t, kRawSectorSize> MakeScramblerTable() {
  std::array<uint8_t, kRawSectorSize> table{};
  uint32_t reg = 1;
  for (size_t i = kSyncSize; i < kRawSectorSize; ++i) {
    uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) {
      value = static_cast<uint8_t>(value | ((reg & 1) << bit));
      const uint32_t feedback = (reg ^ (reg >> 1)) & 1;
      reg = (reg >> 1) | (feedback << 14);
    }
    table[i] = value;
  }
  return table;
}

constexpr std::array<uint8_t, kRawSectorSize> kScramblerTable = MakeScramblerTable();

}  // namespace

const uint8_t* ScramblerTable() { return kScramblerTable.data(); }

int32_t FindSync(const uint8_t* buf, int32_t count) {
  if (buf == nullptr || count < static_cast<int32_t>(kSyncSize)) return -1;
  const int32_t last = count - static_cast<int32_t>(kSyncSize);
  for (int32_t i = 0; i <= last; ++i) {
    if (buf[i] == 0x00 && HasSyncPattern(buf + i)) return i;
  }
  return -1;
}

bool IsScrambled(const uint8_t* sector) { return (sector[13] & 0x80) != 0; }

bool Descramble(uint8_t* buffer, uint32_t pos, uint32_t len) {
  if (pos >= kRawSectorSize || len > kRawSectorSize - pos) return false;
  for (uint32_t i = 0; i < len; ++i) buffer[i] ^= kScramblerTable[pos + i];
  return true;
}
