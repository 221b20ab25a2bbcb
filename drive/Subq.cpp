#include "drive/Subq.h"

#include <array>
#include <bit>

#include "sector/Address.h"

bool DecodeSubQ(const uint8_t* area, bool plainValues, TSubQSector& sample) {
  std::array<uint8_t, 12> out{};
  if (area[0] == 0) {
    sample = TSubQSector{};
    return false;
  }
  out[0] = area[0];
  const uint8_t adr = area[0] & 0x0F;
  if (adr == 1 && plainValues) {
    out[1] = area[1] == 110 ? kLeadOutTrack : area[1];
    for (int i : {2, 3, 4, 5, 7, 8, 9}) out[i] = area[i];
  } else if (adr == 1) {
    out[1] = area[1] == kLeadOutTrack ? kLeadOutTrack : BcdToBin(area[1]);
    for (int i : {2, 3, 4, 5, 7, 8, 9}) out[i] = BcdToBin(area[i]);
  } else {
    // Catalogue number and ISRC frames: the code stays raw, only the frame is BCD.
    for (int i = 1; i <= 8; ++i) out[i] = area[i];
    out[9] = BcdToBin(area[9]);
  }
  sample = std::bit_cast<TSubQSector>(out);
  return true;
}
