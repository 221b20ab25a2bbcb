#pragma once
// One Q-subchannel sample, decoded to plain numbers.
#include <cstdint>

struct TSubQSector {
  uint8_t AdrControl = 0;  // as read; ADR in bits 3..0
  uint8_t Track = 0;       // 0xAA in the lead-out
  uint8_t Index = 0;
  uint8_t RelMinute = 0, RelSecond = 0, RelFrame = 0;
  uint8_t Zero = 0;
  uint8_t AbsMinute = 0, AbsSecond = 0, AbsFrame = 0;
  uint8_t Reserved[2] = {0, 0};
};
static_assert(sizeof(TSubQSector) == 12);

constexpr uint8_t kLeadOutTrack = 0xAA;

// Decodes 16 bytes of formatted Q. plainValues: the drive reports binary numbers
// (lead-out track as 110) instead of BCD. An area whose first byte is 0 holds no
// sample: the result is false and the sample all zero.
bool DecodeSubQ(const uint8_t* area, bool plainValues, TSubQSector& sample);
