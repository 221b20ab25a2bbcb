#include "plugins/bmp/Bmpplugin.h"

#include <memory>

namespace {

constexpr unsigned kFileSize = 2;
constexpr unsigned kReserved = 6;  // two 16-bit fields, both zero
constexpr unsigned kPixelOffset = 10;
constexpr unsigned kInfoSize = 14;  // size of the info header that follows the file header
constexpr unsigned kCorePlanes = 22;  // planes in the 12-byte core header
constexpr unsigned kInfoPlanes = 26;  // planes in every longer info header
constexpr unsigned kDetectSize = kInfoPlanes + 2;
constexpr unsigned kSmallestPixelOffset = 26;  // file header and the smallest info header
constexpr uint32_t kLargestFile = 0x80000000u;

uint32_t ReadLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t ReadLe16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

bool IsKnownInfoSize(uint32_t size) {
  switch (size) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: return true;
    default: return false;
  }
}

}  // namespace

int TBmpPlugin::GetPluginType() noexcept { return 1; }

void TBmpPlugin::Reset() noexcept { Detected = 0; }

int TBmpPlugin::GetHeaderSize() noexcept { return 54; }

int TBmpPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  Detected = 0;
  if (bytes == nullptr || size < kDetectSize || bytes[0] != 'B' || bytes[1] != 'M') return 0;
  // Two letters start plenty of text sectors, and a wrong match would claim up to 4 GiB
  // of the track; every real bitmap also has a consistent header.
  const uint32_t fileSize = ReadLe32(bytes + kFileSize);
  const uint32_t pixelOffset = ReadLe32(bytes + kPixelOffset);
  const uint32_t infoSize = ReadLe32(bytes + kInfoSize);
  if (ReadLe32(bytes + kReserved) != 0 || !IsKnownInfoSize(infoSize)) return 0;
  if (ReadLe16(bytes + (infoSize == 12 ? kCorePlanes : kInfoPlanes)) != 1) return 0;
  if (pixelOffset < kSmallestPixelOffset || pixelOffset > fileSize || fileSize > kLargestFile) return 0;
  Detected = 1;
  return 1;
}

unsigned TBmpPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  if (endFound != nullptr) *endFound = true;
  if (Detected == 0) return 0;
  Detected = 0;
  if (data == nullptr || size < kFileSize + 4) return 0;
  return ReadLe32(static_cast<const unsigned char*>(data) + kFileSize);
}

QUARNEL_PLUGIN_MODULE(TBmpPlugin)
