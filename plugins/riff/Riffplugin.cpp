#include "plugins/riff/Riffplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr unsigned kHeaderSize = 12;  // "RIFF", chunk size, form
// The file length is the chunk size plus 8 and must fit FindEnd's unsigned result.
constexpr uint32_t kLargestChunkSize = 0xFFFFFFFFu - 8;

uint32_t ReadLe32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

int TRiffPlugin::GetPluginType() noexcept { return 1; }

void TRiffPlugin::Reset() noexcept {
  Detected = 0;
  RiffForm = rfNone;
}

int TRiffPlugin::GetHeaderSize() noexcept { return kHeaderSize; }

int TRiffPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  Detected = 0;
  if (bytes == nullptr || size < kHeaderSize || std::memcmp(bytes, "RIFF", 4) != 0) return 0;
  // A writer that could not go back to fill in the size leaves 0xFFFFFFFF there; plus 8
  // it would wrap to a file of 7 bytes.
  if (ReadLe32(bytes + 4) > kLargestChunkSize) return 0;

  const unsigned char* form = bytes + 8;
  if (std::memcmp(form, "WAVE", 4) == 0)
    RiffForm = rfWave;
  else if (std::memcmp(form, "AVI ", 4) == 0)
    RiffForm = rfAvi;
  else if (std::memcmp(form, "RMP3", 4) == 0)
    RiffForm = rfRmp3;
  else if (std::memcmp(form, "ACON", 4) == 0)
    RiffForm = rfAcon;
  else
    RiffForm = rfOther;
  Detected = 1;
  return 1;
}

unsigned TRiffPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  if (endFound != nullptr) *endFound = true;
  if (Detected == 0) return 0;
  Detected = 0;
  if (data == nullptr || size < 8) return 0;
  const uint32_t chunkSize = ReadLe32(static_cast<const unsigned char*>(data) + 4);
  if (chunkSize > kLargestChunkSize) return 0;
  return chunkSize + 8;
}

int TRiffPlugin::GetExtension(int bufSize, char* buf) noexcept {
  const char* extension = nullptr;
  switch (RiffForm) {
    case rfWave: extension = ".wav"; break;
    case rfAvi: extension = ".avi"; break;
    case rfRmp3: extension = ".rmp"; break;
    case rfAcon: extension = ".ani"; break;
    case rfOther: extension = ".riff"; break;
    default: break;
  }
  if (extension == nullptr) {
    if (buf != nullptr && bufSize > 0) std::memset(buf, 0, static_cast<size_t>(bufSize));
    return 0;
  }
  return CopyPluginText(extension, bufSize, buf);
}

QUARNEL_PLUGIN_MODULE(TRiffPlugin)
