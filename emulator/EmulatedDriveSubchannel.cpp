// Sub-channel as the drive delivers it: raw P-W interleaved one bit a channel per byte,
// R-W alone, and the 16-byte formatted Q.
#include <cstring>

#include "emulator/EmulatedDriveState.h"
#include "sector/Address.h"

namespace emu::detail {

void InterleaveSubchannel(const uint8_t* deinterleaved, uint8_t out[96], bool keepPQ) {
  std::memset(out, 0, 96);
  for (int channel = keepPQ ? 0 : 2; channel < 8; ++channel) {
    const uint8_t* bits = deinterleaved + channel * 12;
    const auto mask = static_cast<uint8_t>(0x80 >> channel);  // P is bit 7, W bit 0
    for (int i = 0; i < 96; ++i)
      if (bits[i >> 3] & (0x80 >> (i & 7))) out[i] |= mask;
  }
}

void FormatQ(const uint8_t* q12, uint8_t out[16], bool binary) {
  std::memcpy(out, q12, 12);
  std::memset(out + 12, 0, 4);
  if (!binary || (q12[0] & 0x0F) != 1) return;
  out[1] = q12[1] == 0xAA ? 110 : BcdToBin(q12[1]);
  for (int i : {2, 3, 4, 5, 7, 8, 9}) out[i] = BcdToBin(q12[i]);
}

}  // namespace emu::detail
