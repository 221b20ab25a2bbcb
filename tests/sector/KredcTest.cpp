#include "sector/Kredc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "SectorTestSupport.h"

using namespace sectortest;

TEST(KredcTest, ByteTableMatchesReflectedPolynomial) {
  TKrEdc edc;
  const uint32_t* table = edc.Table();
  EXPECT_EQ(table[0], 0u);
  EXPECT_EQ(table[128], 0xD8018001u);  // a single bit shifted out on the last step
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    ASSERT_EQ(table[i], ReferenceEdc(&byte, 1)) << i;
  }
}

TEST(KredcTest, ZeroSectorGivesZero) {
  TKrEdc edc;
  const std::vector<uint8_t> zeros(2352, 0);
  EXPECT_EQ(edc.Calc(zeros.data()), 0u);
}

TEST(KredcTest, CalcCoversExactlyBytes0To2063) {
  TKrEdc edc;
  std::mt19937 rng(11);
  std::vector<uint8_t> sector = RandomBytes(rng, 2352);
  const uint32_t base = edc.Calc(sector.data());
  EXPECT_EQ(base, ReferenceEdc(sector.data(), 2064));
  sector[2064] ^= 0xFF;  // outside the range
  EXPECT_EQ(edc.Calc(sector.data()), base);
  sector[2063] ^= 0x01;
  EXPECT_NE(edc.Calc(sector.data()), base);
  sector[2063] ^= 0x01;
  sector[0] ^= 0x80;
  EXPECT_NE(edc.Calc(sector.data()), base);
}

TEST(KredcTest, RangeMatchesBitwiseReferenceForEveryLengthAndAlignment) {
  TKrEdc edc;
  std::mt19937 rng(5);
  const std::vector<uint8_t> data = RandomBytes(rng, 2400);
  for (size_t start = 0; start < 9; ++start) {
    for (size_t length = 0; length < 80; ++length)
      ASSERT_EQ(edc.CalcRange(data.data() + start, length), ReferenceEdc(data.data() + start, length))
          << start << " " << length;
  }
  EXPECT_EQ(edc.CalcRange(data.data() + 16, 2056), ReferenceEdc(data.data() + 16, 2056));
  EXPECT_EQ(edc.CalcRange(data.data() + 16, 2332), ReferenceEdc(data.data() + 16, 2332));
}

TEST(KredcTest, SingleBitErrorsAlwaysChangeTheEdc) {
  TKrEdc edc;
  std::mt19937 rng(3);
  std::vector<uint8_t> sector = RandomBytes(rng, 2352);
  const uint32_t base = edc.Calc(sector.data());
  for (size_t i = 0; i < 2064; ++i) {
    for (int bit = 0; bit < 8; bit += 3) {
      sector[i] ^= static_cast<uint8_t>(1 << bit);
      ASSERT_NE(edc.Calc(sector.data()), base) << i;
      sector[i] ^= static_cast<uint8_t>(1 << bit);
    }
  }
}
