#include "plugins/cab/Cabplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr unsigned kReserved1 = 4;
constexpr unsigned kCabinetSize = 8;
constexpr unsigned kDetectSize = kCabinetSize + 4;

uint32_t ReadLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

int TCabPlugin::GetPluginType() noexcept { return 1; }

void TCabPlugin::Reset() noexcept { Detected = 0; }

int TCabPlugin::GetHeaderSize() noexcept { return 12; }

int TCabPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  Detected = 0;
  if (bytes == nullptr || size < kDetectSize || std::memcmp(bytes, "MSCF", 4) != 0) return 0;
  // A text that begins with the four letters would claim hundreds of megabytes of the
  // track; the field after the signature is zero in every cabinet.
  if (ReadLe32(bytes + kReserved1) != 0) return 0;
  Detected = 1;
  return 1;
}

unsigned TCabPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  if (endFound != nullptr) *endFound = true;
  if (Detected == 0) return 0;
  Detected = 0;
  if (data == nullptr || size < kDetectSize) return 0;
  return ReadLe32(static_cast<const unsigned char*>(data) + kCabinetSize);
}

QUARNEL_PLUGIN_MODULE(TCabPlugin)
