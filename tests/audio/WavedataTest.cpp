#include "audio/Wavedata.h"

#include <gtest/gtest.h>

namespace {

TEST(WavedataTest, TablesDescribeEachSampleFormat) {
  struct Row {
    unsigned bytes, tag, bits, valid;
  };
  const Row rows[] = {{1, 1, 8, 8},   {2, 1, 16, 16}, {3, 1, 24, 24}, {4, 1, 32, 24},
                      {4, 1, 32, 32}, {4, 3, 32, 32}, {8, 3, 64, 64}, {4, 0, 32, 32},
                      {8, 0, 64, 64}, {2, 0x92, 16, 16}, {2, 0x240, 16, 16}};
  for (TSampleFormat code = 0; code < 11; ++code) {
    SCOPED_TRACE(int(code));
    EXPECT_EQ(GetBytesPerSample(code), rows[code].bytes);
    EXPECT_EQ(GetWaveFormatTag(code), rows[code].tag);
    EXPECT_EQ(GetBitsPerSample(code), rows[code].bits);
    EXPECT_EQ(GetValidBitsPerSample(code), rows[code].valid);
    EXPECT_EQ(GetBitsPerSample(code), 8 * GetBytesPerSample(code))
        << "a container is as wide as its bytes";
  }
  for (int code : {11, 12, 100, 255}) {
    EXPECT_EQ(GetBytesPerSample(TSampleFormat(code)), 0u);
    EXPECT_EQ(GetWaveFormatTag(TSampleFormat(code)), 0);
    EXPECT_EQ(GetBitsPerSample(TSampleFormat(code)), 0u);
    EXPECT_EQ(GetValidBitsPerSample(TSampleFormat(code)), 0u);
  }
}

TEST(WavedataTest, FormatBlockSerialisesLittleEndian) {
  TWaveFormatExtensible f;
  f.wFormatTag = 0xFFFE;
  f.nChannels = 6;
  f.nSamplesPerSec = 0x0102A3B4;
  f.nAvgBytesPerSec = 0xC5D6E7F8;
  f.nBlockAlign = 0x1234;
  f.wBitsPerSample = 24;
  f.cbSize = 22;
  f.wValidBitsPerSample = 20;
  f.dwChannelMask = 0x8000003F;
  f.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  const auto b = f.Serialize();
  const std::array<uint8_t, 40> expected = {
      0xFE, 0xFF, 6, 0, 0xB4, 0xA3, 0x02, 0x01, 0xF8, 0xE7, 0xD6, 0xC5, 0x34, 0x12, 24, 0,
      22, 0, 20, 0, 0x3F, 0, 0, 0x80,
      3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  EXPECT_EQ(b, expected);
  EXPECT_EQ(KSDATAFORMAT_SUBTYPE_PCM[0], 1);
  EXPECT_TRUE(std::equal(KSDATAFORMAT_SUBTYPE_PCM.begin() + 1, KSDATAFORMAT_SUBTYPE_PCM.end(),
                         KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.begin() + 1));
}

}  // namespace
