#include "plugins/gif/Gifplugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr unsigned kScreenEnd = 13;  // signature and logical screen descriptor
constexpr unsigned kScreenPacked = 10;
constexpr unsigned kImageDescriptorSize = 10;
constexpr unsigned char kTrailer = 0x3B;
constexpr unsigned char kImageSeparator = 0x2C;
constexpr unsigned char kExtensionIntroducer = 0x21;
constexpr uint64_t kLargestResult = 0xFFFFFFFFu;

// Bytes of the colour table that a packed field announces (0 when its flag is clear).
uint64_t ColourTableSize(unsigned char packed) {
  return (packed & 0x80) != 0 ? 3ull << ((packed & 7) + 1) : 0;
}

}  // namespace

TGifPlugin::TGifPlugin() noexcept { Reset(); }

int TGifPlugin::GetPluginType() noexcept { return 1; }

void TGifPlugin::Reset() noexcept {
  GifVersion = gvUnknown;
  BlockState = bsFirstCall;
}

int TGifPlugin::GetHeaderSize() noexcept { return GifVersion == gvUnknown ? 6 : 13; }

int TGifPlugin::Detect(const void* data, unsigned size) noexcept {
  const auto* bytes = static_cast<const unsigned char*>(data);
  GifVersion = gvNotGif;
  if (bytes == nullptr || size < 6 || std::memcmp(bytes, "GIF", 3) != 0) return 0;
  if (std::memcmp(bytes + 3, "87a", 3) == 0)
    GifVersion = gv87a;
  else if (std::memcmp(bytes + 3, "89a", 3) == 0)
    GifVersion = gv89a;
  else
    return 0;
  return 1;
}

unsigned TGifPlugin::FindEnd(const void* data, unsigned size, bool* endFound) noexcept {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  uint64_t pos = 0;
  if (BlockState == bsFirstCall) {
    if (size < kScreenEnd) return 0;
    pos = kScreenEnd + ColourTableSize(bytes[kScreenPacked]);
    BlockState = bsIntroducer;
  }
  // The last byte is never taken as an introducer: an extension needs its label too.
  while (pos + 1 < size) {
    if (BlockState == bsIntroducer) {
      const unsigned char b = bytes[pos];
      if (b == kTrailer) {
        end = true;
        return static_cast<unsigned>(pos + 1);
      }
      if (b == kImageSeparator) {
        if (pos + kImageDescriptorSize >= size) return static_cast<unsigned>(pos);
        const unsigned char packed = bytes[pos + 9];
        pos += kImageDescriptorSize + ColourTableSize(packed) + 1;  // + LZW minimum code size
        BlockState = bsSubBlocks;
      } else if (b == kExtensionIntroducer) {
        if (pos + 2 >= size) return static_cast<unsigned>(pos);
        switch (bytes[pos + 1]) {
          case 0xF9: pos += 8; break;  // graphic control, terminator included
          case 0x01: pos += 15; BlockState = bsSubBlocks; break;  // plain text
          case 0xFF: pos += 14; BlockState = bsSubBlocks; break;  // application
          default: pos += 2; BlockState = bsSubBlocks; break;  // comment and unknown labels
        }
      } else {
        end = true;
        return static_cast<unsigned>(pos);
      }
    } else if (bytes[pos] == 0) {
      ++pos;
      BlockState = bsIntroducer;
    } else {
      pos += uint64_t(bytes[pos]) + 1;
    }
  }
  // Only a buffer of nearly 4 GiB could carry the walk past an unsigned result.
  if (pos > kLargestResult) {
    end = true;
    return 0;
  }
  return static_cast<unsigned>(pos);
}

QUARNEL_PLUGIN_MODULE(TGifPlugin)
