#include "audio/Wavedata.h"

#include "sector/Bytes.h"

namespace {

struct TFormatRow {
  unsigned Bytes;
  uint16_t Tag;
  unsigned Bits;
  unsigned ValidBits;
};

// Code 3 is 24 valid bits in a 32-bit container: its block align counts 4 bytes a sample.
constexpr TFormatRow FormatTable[] = {
    {1, 1, 8, 8},   {2, 1, 16, 16}, {3, 1, 24, 24},   {4, 1, 32, 24},
    {4, 1, 32, 32}, {4, 3, 32, 32}, {8, 3, 64, 64},   {4, 0, 32, 32},
    {8, 0, 64, 64}, {2, 0x0092, 16, 16}, {2, 0x0240, 16, 16},
};
constexpr TFormatRow Unknown{0, 0, 0, 0};

const TFormatRow& Row(TSampleFormat format) {
  return format < std::size(FormatTable) ? FormatTable[format] : Unknown;
}

constexpr TGuid SubtypeGuid(uint8_t type) {
  return {type, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
          0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
}

}  // namespace

const TGuid KSDATAFORMAT_SUBTYPE_PCM = SubtypeGuid(0x01);
const TGuid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = SubtypeGuid(0x03);

std::array<uint8_t, TWaveFormatExtensible::Size> TWaveFormatExtensible::Serialize() const {
  std::array<uint8_t, Size> out{};
  PutLe16(&out[0], wFormatTag);
  PutLe16(&out[2], nChannels);
  PutLe32(&out[4], nSamplesPerSec);
  PutLe32(&out[8], nAvgBytesPerSec);
  PutLe16(&out[12], nBlockAlign);
  PutLe16(&out[14], wBitsPerSample);
  PutLe16(&out[16], cbSize);
  PutLe16(&out[18], wValidBitsPerSample);
  PutLe32(&out[20], dwChannelMask);
  for (size_t i = 0; i < SubFormat.size(); ++i) out[24 + i] = SubFormat[i];
  return out;
}

unsigned GetBytesPerSample(TSampleFormat format) { return Row(format).Bytes; }
uint16_t GetWaveFormatTag(TSampleFormat format) { return Row(format).Tag; }
unsigned GetBitsPerSample(TSampleFormat format) { return Row(format).Bits; }
unsigned GetValidBitsPerSample(TSampleFormat format) { return Row(format).ValidBits; }
