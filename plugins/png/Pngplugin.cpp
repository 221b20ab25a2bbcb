#include "plugins/png/Pngplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr unsigned char kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr unsigned kChunkHeaderSize = 8;  // length and type
constexpr unsigned kChunkOverhead = 12;  // length, type and CRC
constexpr uint32_t kLargestChunkLength = 0x7FFFFFFFu;
constexpr uint64_t kLargestResult = 0xFFFFFFFFu;

uint32_t ReadBe32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A damaged chunk header must not send the carve gigabytes ahead (or, with a length
// near 2^32, nowhere at all).
bool IsPlausibleChunk(const unsigned char* header) {
  if (ReadBe32(header) > kLargestChunkLength) return false;
  for (unsigned i = 4; i < 8; ++i)
    if (!IsLetter(header[i])) return false;
  return true;
}

}  // namespace

TPngPlugin::TPngPlugin() noexcept { Reset(); }

int TPngPlugin::GetPluginType() noexcept { return 1; }

void TPngPlugin::Reset() noexcept { FirstCall = 1; }

int TPngPlugin::GetHeaderSize() noexcept { return sizeof kSignature; }

int TPngPlugin::Detect(const void* data, unsigned size) noexcept {
  if (data == nullptr || size < sizeof kSignature) return 0;
  return std::memcmp(data, kSignature, sizeof kSignature) == 0 ? 1 : 0;
}

unsigned TPngPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  uint64_t pos = 0;
  if (FirstCall != 0) {
    FirstCall = 0;
    pos = sizeof kSignature;
  }
  while (pos + kChunkHeaderSize <= size) {
    const unsigned char* header = bytes + pos;
    const uint64_t next = pos + ReadBe32(header) + kChunkOverhead;
    if (!IsPlausibleChunk(header) || next > kLargestResult) {
      end = true;  // the file ends where its chunks stop making sense
      return static_cast<unsigned>(pos);
    }
    pos = next;
    if (std::memcmp(header + 4, "IEND", 4) == 0) {
      end = true;
      break;
    }
  }
  return static_cast<unsigned>(pos);
}

QUARNEL_PLUGIN_MODULE(TPngPlugin)
