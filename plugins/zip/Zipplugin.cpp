#include "plugins/zip/Zipplugin.h"

#include <memory>

namespace {

constexpr uint32_t kLocalHeader = 0x04034B50;
constexpr uint32_t kCentralHeader = 0x02014B50;
constexpr uint32_t kEndRecord = 0x06054B50;

constexpr unsigned kLocalHeaderSize = 30;
constexpr unsigned kCentralHeaderSize = 46;
constexpr unsigned kEndRecordSize = 22;
constexpr uint64_t kLargestResult = 0xFFFFFFFFu;

uint16_t ReadLe16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t ReadLe32(const unsigned char* p) { return uint32_t(ReadLe16(p)) | uint32_t(ReadLe16(p + 2)) << 16; }

}  // namespace

int TZipPlugin::GetPluginType() noexcept { return 1; }

void TZipPlugin::Reset() noexcept {}

int TZipPlugin::GetHeaderSize() noexcept { return 54; }

int TZipPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  return bytes != nullptr && size >= 4 && ReadLe32(bytes) == kLocalHeader ? 1 : 0;
}

unsigned TZipPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  const auto endAt = [&end](uint64_t at) {
    end = true;
    return static_cast<unsigned>(at);
  };
  uint64_t pos = 0;
  while (pos + 4 < size) {
    const unsigned char* record = bytes + pos;
    uint64_t next = 0;
    switch (ReadLe32(record)) {
      case kCentralHeader:
        if (pos + kCentralHeaderSize > size) return static_cast<unsigned>(pos);
        next = pos + kCentralHeaderSize + ReadLe16(record + 28) + ReadLe16(record + 30) + ReadLe16(record + 32);
        break;
      case kLocalHeader:
        if (pos + kLocalHeaderSize > size) return static_cast<unsigned>(pos);
        next = pos + kLocalHeaderSize + ReadLe32(record + 18) + ReadLe16(record + 26) + ReadLe16(record + 28);
        break;
      case kEndRecord:
        if (pos + kEndRecordSize > size) return static_cast<unsigned>(pos);
        return endAt(pos + kEndRecordSize + ReadLe16(record + 20));
      default:
        return endAt(pos);
    }
    // A damaged size, or the 64-bit placeholder 0xFFFFFFFF, would send the walk past 4 GiB
    // (and in 32 bits wrap it backwards, or leave it where it is): the archive ends at
    // that record.
    if (next > kLargestResult) return endAt(pos);
    pos = next;
  }
  return static_cast<unsigned>(pos);
}

QUARNEL_PLUGIN_MODULE(TZipPlugin)
