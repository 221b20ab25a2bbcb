#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// Sample-format codes 0..10 and the wave format block written into a WAV file's fmt chunk.
using TSampleFormat = uint8_t;

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

using TGuid = std::array<uint8_t, 16>;  // as stored in the file

// 00000001-0000-0010-8000-00AA00389B71 and 00000003-0000-0010-8000-00AA00389B71.
extern const TGuid KSDATAFORMAT_SUBTYPE_PCM;
extern const TGuid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;

struct TWaveFormatExtensible {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
  uint16_t wValidBitsPerSample = 0;
  uint32_t dwChannelMask = 0;
  TGuid SubFormat{};

  static constexpr size_t Size = 40;
  // The little-endian layout of the multimedia headers.
  std::array<uint8_t, Size> Serialize() const;
};

unsigned GetBytesPerSample(TSampleFormat format);
uint16_t GetWaveFormatTag(TSampleFormat format);
unsigned GetBitsPerSample(TSampleFormat format);
unsigned GetValidBitsPerSample(TSampleFormat format);
