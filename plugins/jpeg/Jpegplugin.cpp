#include "plugins/jpeg/Jpegplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr unsigned char kStart[4] = {0xFF, 0xD8, 0xFF, 0xE0};  // start of image, APP0
constexpr unsigned char kJfif[5] = {'J', 'F', 'I', 'F', 0};
constexpr unsigned kJfifOffset = 6;
constexpr unsigned kDetectSize = kJfifOffset + sizeof kJfif;
constexpr unsigned kStartOfImageSize = 2;
constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStuffed = 0x00;
constexpr unsigned char kEndOfImage = 0xD9;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr uint64_t kLargestResult = 0xFFFFFFFFu;

bool IsRestart(unsigned char code) { return code >= 0xD0 && code <= 0xD7; }

// Codes below 0xC0 are reserved, restart markers belong inside a scan, and a second
// start-of-image is the next picture: none of them can begin a segment of this one.
bool StartsSegment(unsigned char code) { return code >= 0xC0 && !(code >= 0xD0 && code <= 0xD8); }

// Inside a scan only a marker that is neither a stuffed byte nor a restart ends it.
bool EndsScan(const unsigned char* at) { return at[0] == kMarker && at[1] != kStuffed && !IsRestart(at[1]); }

}  // namespace

int TJpegPlugin::GetPluginType() noexcept { return 1; }

void TJpegPlugin::Reset() noexcept {
  Detected = 0;
  FirstCall = 1;
  InScan = 0;
}

int TJpegPlugin::GetHeaderSize() noexcept { return Detected != 0 ? 4 : static_cast<int>(kDetectSize); }

int TJpegPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  Detected = bytes != nullptr && size >= kDetectSize && std::memcmp(bytes, kStart, sizeof kStart) == 0 &&
             std::memcmp(bytes + kJfifOffset, kJfif, sizeof kJfif) == 0;
  return Detected;
}

unsigned TJpegPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  uint64_t pos = 0;
  if (FirstCall != 0) {
    FirstCall = 0;
    pos = kStartOfImageSize;
  }
  while (pos + 4 < size) {
    if (InScan != 0) {
      while (pos + 1 < size && !EndsScan(bytes + pos)) ++pos;
      if (pos + 1 >= size) return static_cast<unsigned>(pos);  // the scan goes on in the next data
      InScan = 0;
      continue;
    }
    if (bytes[pos] != kMarker) {
      end = true;
      return static_cast<unsigned>(pos);
    }
    const unsigned char code = bytes[pos + 1];
    // Any number of 0xFF fill bytes may come before a marker; read as a marker with a
    // length, "FF FF D9" would send the walk some 55 KB past the end of the image.
    if (code == kMarker) {
      ++pos;
      continue;
    }
    if (!StartsSegment(code)) {
      end = true;
      return static_cast<unsigned>(pos);
    }
    if (code == kEndOfImage) {
      end = true;
      return static_cast<unsigned>(pos + 2);
    }
    const unsigned length = unsigned(bytes[pos + 2]) << 8 | bytes[pos + 3];
    if (length == 0) {
      end = true;
      return static_cast<unsigned>(pos);
    }
    const uint64_t next = pos + 2 + length;
    if (next > kLargestResult) return static_cast<unsigned>(pos);
    pos = next;
    if (code == kStartOfScan) InScan = 1;
  }
  return static_cast<unsigned>(pos);
}

QUARNEL_PLUGIN_MODULE(TJpegPlugin)
