#include "sector/Address.h"

#include <cstdio>
#include <cstdlib>

TPackedMsf MakeMsf(uint8_t minute, uint8_t second, uint8_t frame) {
  return (TPackedMsf{minute} << 8) | (TPackedMsf{second} << 16) | (TPackedMsf{frame} << 24);
}

uint8_t PackedMsfMinute(TPackedMsf msf) { return static_cast<uint8_t>(msf >> 8); }
uint8_t PackedMsfSecond(TPackedMsf msf) { return static_cast<uint8_t>(msf >> 16); }
uint8_t PackedMsfFrame(TPackedMsf msf) { return static_cast<uint8_t>(msf >> 24); }

int64_t MsfToFrames(uint8_t minute, uint8_t second, uint8_t frame) {
  return (int64_t{minute} * 60 + second) * kFramesPerSecond + frame;
}

int64_t PackedMsfToFrames(TPackedMsf msf) {
  return MsfToFrames(PackedMsfMinute(msf), PackedMsfSecond(msf), PackedMsfFrame(msf));
}

TPackedMsf FramesToMsf(int64_t frames) {
  return MakeMsf(static_cast<uint8_t>(frames / kFramesPerMinute),
                 static_cast<uint8_t>((frames / kFramesPerSecond) % 60),
                 static_cast<uint8_t>(frames % kFramesPerSecond));
}

int32_t FramesToLba(int64_t frames) {
  if (frames >= 0 && frames < kLeadInFirstFrame) return static_cast<int32_t>(frames - kLbaOffset);
  if (frames >= kLeadInFirstFrame && frames < kLeadInEndFrame)
    return static_cast<int32_t>(frames - kLeadInEndFrame - kLbaOffset);
  return 0;
}

int64_t LbaToFrames(int32_t lba) {
  if (lba >= -kLbaOffset && lba < kLeadInFirstFrame - kLbaOffset) return lba + kLbaOffset;
  if (lba >= kLeadInFirstFrame - kLeadInEndFrame - kLbaOffset && lba < -kLbaOffset)
    return lba + kLeadInEndFrame + kLbaOffset;
  return 0;
}

bool IsConvertibleFrame(int64_t frames) { return frames >= 0 && frames < kLeadInEndFrame; }

uint8_t BcdToBin(uint8_t bcd) { return static_cast<uint8_t>((bcd >> 4) * 10 + (bcd & 0x0F)); }

uint8_t BinToBcd(uint8_t bin) {
  bin %= 100;
  return static_cast<uint8_t>(((bin / 10) << 4) | (bin % 10));
}

std::string FramesToMsfText(int64_t frames) {
  const bool negative = frames < 0;
  const unsigned long long n = negative ? 0ULL - static_cast<unsigned long long>(frames)
                                        : static_cast<unsigned long long>(frames);
  char text[64];
  std::snprintf(text, sizeof text, "%s%.2llu:%.2llu:%.2llu", negative ? "-" : "", n / 4500ULL,
                (n / 75ULL) % 60ULL, n % 75ULL);
  return text;
}
