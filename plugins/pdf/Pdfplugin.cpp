#include "plugins/pdf/Pdfplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr char kHeader[5] = {'%', 'P', 'D', 'F', '-'};
constexpr char kEofMarker[5] = {'%', '%', 'E', 'O', 'F'};
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kLf = 0x0A;

}  // namespace

int TPdfPlugin::GetPluginType() noexcept { return 1; }

void TPdfPlugin::Reset() noexcept { AfterEofMarker = 1; }

int TPdfPlugin::GetHeaderSize() noexcept { return sizeof kHeader; }

int TPdfPlugin::Detect(const void* data, unsigned size) noexcept {
  return data != nullptr && size >= sizeof kHeader && std::memcmp(data, kHeader, sizeof kHeader) == 0 ? 1 : 0;
}

unsigned TPdfPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  const auto endAt = [&end](uint64_t at) {
    end = true;
    return static_cast<unsigned>(at);
  };
  // Once the search for a line end has run to the end of the data, a search from a
  // later position cannot find one either.
  bool noLineEndAhead = false;
  uint64_t i = 0;
  while (i < size) {
    if (AfterEofMarker != 0 && !noLineEndAhead) {
      uint64_t j = i;
      while (j + 2 < size && bytes[j] != kCr && bytes[j] != kLf) ++j;
      if (j + 2 < size) {
        if (bytes[j + 1] == 0) return endAt(j + 1);
        if (bytes[j + 1] == kLf && bytes[j + 2] == 0) return endAt(j + 2);
        AfterEofMarker = 0;
      } else {
        noLineEndAhead = true;
      }
    }
    if (i + sizeof kEofMarker >= size) return static_cast<unsigned>(i);
    if (std::memcmp(bytes + i, kEofMarker, sizeof kEofMarker) == 0) {
      AfterEofMarker = 1;
      i += sizeof kEofMarker;
    } else {
      ++i;
    }
  }
  return static_cast<unsigned>(i);
}

QUARNEL_PLUGIN_MODULE(TPdfPlugin)
