#include "plugins/mp3/Mp3plugin.h"

#include <cstring>
#include <memory>

namespace {

constexpr const char* TypeName = "MPEG Audio file";
constexpr const char* Extension = ".mp3";
constexpr const char* Name = "MPEG Audio Plug-in";
constexpr const char* Version = "1.00.1";
constexpr const char* Description = "This supports MPEG Audio files with ID3 v1/v2 Tags.";
constexpr const char* Copyright = "Copyright (C) 2003 Ostrel";

constexpr unsigned FrameHeaderSize = 4;
constexpr unsigned Id3HeaderSize = 10;
constexpr unsigned Id3FooterSize = 10;
constexpr unsigned Id3v1Size = 128;

// kbit/s by [version][layer][index]; version 0 MPEG-1, 1 MPEG-2; layer 0 I, 1 II, 2 III.
constexpr unsigned short BitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr unsigned short Mpeg25BitRates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr unsigned Frequencies[2][4] = {{44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}};
constexpr unsigned Mpeg25Frequencies[4] = {11025, 12000, 8000, 0};

bool IsMpeg25(const unsigned char* h) { return (h[1] >> 4) == 0xE; }

bool FrameSync(const unsigned char* h) {
  if (h[0] != 0xFF) return false;
  const unsigned v = h[1] >> 4;
  if ((h[1] & 0x08) != 0) return v == 0xF;
  return v == 0xF || v == 0xE;
}

// Length in bytes of the frame whose 4-byte header is `h`; 0 when the header is invalid.
unsigned MpegFrameLength(const unsigned char* h) {
  const unsigned pad = (h[2] >> 1) & 1;
  const unsigned rateIndex = h[2] >> 4;
  const unsigned frequencyIndex = (h[2] >> 2) & 3;
  const unsigned layerCode = (h[1] >> 1) & 3;
  if (IsMpeg25(h)) {
    const unsigned rate = Mpeg25BitRates[rateIndex];
    const unsigned frequency = Mpeg25Frequencies[frequencyIndex];
    if (rate == 0 || frequency == 0) return 0;
    return 72000 * rate / frequency + pad;
  }
  if (layerCode == 0) return 0;
  const unsigned version = (h[1] & 0x08) != 0 ? 0 : 1;
  const unsigned layer = 3 - layerCode;  // 0 Layer I, 1 Layer II, 2 Layer III
  const unsigned rate = BitRates[version][layer][rateIndex];
  const unsigned frequency = Frequencies[version][frequencyIndex];
  if (rate == 0 || frequency == 0) return 0;
  switch (layer) {
    case 0:
      return (12000 * rate / frequency + pad) * 4;
    case 1:
      return 144000 * rate / frequency + pad;
    default:
      return (version == 0 ? 144000 : 72000) * rate / frequency + pad;
  }
}

bool StartsWith(const unsigned char* data, const char* text) {
  return std::memcmp(data, text, std::strlen(text)) == 0;
}

std::uint32_t DecodeSynchsafe(const unsigned char* b) {
  return (static_cast<std::uint32_t>(b[0] & 0x7F) << 21) | (static_cast<std::uint32_t>(b[1] & 0x7F) << 14) |
         (static_cast<std::uint32_t>(b[2] & 0x7F) << 7) | (b[3] & 0x7F);
}

// Whole size of the ID3v2 tag whose header is `h`: header, body and the footer when the
// tag says it has one.
std::uint64_t Id3TagSize(const unsigned char* h) {
  const bool hasFooter = (h[5] & 0x10) != 0;
  return Id3HeaderSize + DecodeSynchsafe(h + 6) + (hasFooter ? Id3FooterSize : 0);
}

// A frame header whose length can be worked out. The sync alone would take a sector of
// 0xFF fill for audio.
bool StartsFrame(const unsigned char* h) { return FrameSync(h) && MpegFrameLength(h) != 0; }

}  // namespace

int TMp3Plugin::GetPluginType() { return 1; }

void TMp3Plugin::Reset() {
  DetectCalled = 0;
  FirstCall = 1;
}

int TMp3Plugin::GetHeaderSize() { return DetectCalled != 0 ? 4 : 10; }

int TMp3Plugin::Detect(const void* data, unsigned size) {
  DetectCalled = 1;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr || size < FrameHeaderSize) return 0;
  std::uint64_t first = 0;
  if (size >= Id3HeaderSize && StartsWith(bytes, "ID3")) {
    first = Id3TagSize(bytes);
    if (first + 2 >= size) return 2;  // recognised; the first frame lies beyond this data
  }
  return StartsFrame(bytes + first) ? 1 : 0;
}

unsigned TMp3Plugin::FindEnd(const void* data, unsigned size, bool* endFound) {
  bool ignored = false;
  bool& end = endFound != nullptr ? *endFound : ignored;
  end = false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (bytes == nullptr) return 0;
  std::uint64_t pos = 0;
  if (FirstCall != 0) {
    if (size >= Id3HeaderSize && StartsWith(bytes, "ID3")) pos = Id3TagSize(bytes);
    FirstCall = 0;
  }
  // The last four bytes are left for the next call, which sees the whole next header.
  while (pos + FrameHeaderSize < size) {
    const unsigned char* h = bytes + pos;
    if (StartsWith(h, "TAG")) {
      end = true;
      pos += Id3v1Size;  // a frame right after the tag still belongs to the stream
    } else if (StartsWith(h, "ID3")) {
      if (pos + Id3HeaderSize > size) return static_cast<unsigned>(pos);
      pos += Id3TagSize(h);
    } else if (unsigned length = FrameSync(h) ? MpegFrameLength(h) : 0; length != 0) {
      pos += length;
    } else {
      end = true;
      return static_cast<unsigned>(pos);
    }
  }
  return static_cast<unsigned>(pos);
}

int TMp3Plugin::GetTypeName(int bufSize, char* buf) { return CopyPluginText(TypeName, bufSize, buf); }
int TMp3Plugin::GetExtension(int bufSize, char* buf) { return CopyPluginText(Extension, bufSize, buf); }
int TMp3Plugin::GetName(int bufSize, char* buf) { return CopyPluginText(Name, bufSize, buf); }
int TMp3Plugin::GetVersion(int bufSize, char* buf) { return CopyPluginText(Version, bufSize, buf); }
int TMp3Plugin::GetDescription(int bufSize, char* buf) { return CopyPluginText(Description, bufSize, buf); }
int TMp3Plugin::GetCopyright(int bufSize, char* buf) { return CopyPluginText(Copyright, bufSize, buf); }
int TMp3Plugin::GetReserved() { return 0; }

QUARNEL_PLUGIN_MODULE(TMp3Plugin)
