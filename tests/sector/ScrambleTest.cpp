#include "sector/Scramble.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "SectorTestSupport.h"
#include "sector/SectorEncoder.h"

using namespace sectortest;

TEST(ScrambleTest, TableStartsWithKnownSequenceAndLeavesSyncAlone) {
  const uint8_t* table = ScramblerTable();
  for (int i = 0; i < 12; ++i) EXPECT_EQ(table[i], 0) << i;
  const uint8_t prefix[] = {0x01, 0x80, 0x00, 0x60, 0x00, 0x28, 0x00, 0x1E,
                            0x80, 0x08, 0x60, 0x06, 0xA8, 0x02, 0xFE, 0x81};
  for (size_t i = 0; i < sizeof prefix; ++i) EXPECT_EQ(table[12 + i], prefix[i]) << i;
}

TEST(ScrambleTest, TableFollowsTheShiftRegisterToTheEnd) {
  // Each output bit b(n) of x^15 + x + 1 satisfies b(n + 15) = b(n) ^ b(n + 1).
  const uint8_t* table = ScramblerTable();
  auto bit = [&](size_t n) { return (table[12 + n / 8] >> (n % 8)) & 1; };
  const size_t bits = (2352 - 12) * 8;
  for (size_t n = 0; n + 15 < bits; ++n) ASSERT_EQ(bit(n + 15), bit(n) ^ bit(n + 1)) << n;
}

TEST(ScrambleTest, DescrambleTwiceRestoresAndRefusesOutOfRange) {
  std::mt19937 rng(1);
  std::vector<uint8_t> sector = RandomBytes(rng, 2352);
  const std::vector<uint8_t> original = sector;
  ASSERT_TRUE(Descramble(sector.data(), 0, 2352));
  EXPECT_NE(sector, original);
  EXPECT_TRUE(std::equal(sector.begin(), sector.begin() + 12, original.begin()));
  ASSERT_TRUE(Descramble(sector.data(), 0, 2352));
  EXPECT_EQ(sector, original);

  EXPECT_FALSE(Descramble(sector.data(), 2352, 0));
  EXPECT_FALSE(Descramble(sector.data(), 100, 2300));
  EXPECT_FALSE(Descramble(sector.data(), 0, 2353));
  EXPECT_FALSE(Descramble(sector.data(), 1, 0xFFFFFFFFu));  // no wrap-around
  EXPECT_EQ(sector, original);

  // A partial range uses the table from pos on.
  ASSERT_TRUE(Descramble(sector.data(), 2351, 1));
  EXPECT_EQ(sector[0], original[0] ^ ScramblerTable()[2351]);
  ASSERT_TRUE(Descramble(sector.data(), 2351, 1));
  ASSERT_TRUE(Descramble(sector.data(), 100, 2252));
  EXPECT_EQ(sector[0], original[0] ^ ScramblerTable()[100]);
  EXPECT_EQ(sector[2251], original[2251] ^ ScramblerTable()[2351]);
  EXPECT_EQ(sector[2252], original[2252]);
}

TEST(ScrambleTest, ScrambledHeaderIsRecognised) {
  std::vector<uint8_t> data(2048, 0x5A);
  std::vector<uint8_t> sector(2352);
  EncodeMode1Sector(sector.data(), 150, data.data());
  EXPECT_EQ(sector[13], 0x02);
  EXPECT_FALSE(IsScrambled(sector.data()));
  ASSERT_TRUE(Descramble(sector.data(), 0, 2352));
  EXPECT_TRUE(IsScrambled(sector.data()));
  for (uint8_t second = 0; second <= 0x59; ++second) {
    sector[13] = second;
    EXPECT_FALSE(IsScrambled(sector.data()));
    sector[13] = static_cast<uint8_t>(second ^ ScramblerTable()[13]);
    EXPECT_TRUE(IsScrambled(sector.data()));
  }
}

TEST(ScrambleTest, FindSyncBoundsAndOrder) {
  EXPECT_EQ(FindSync(kReferenceSync, 12), 0);
  EXPECT_EQ(FindSync(kReferenceSync, 11), -1);
  EXPECT_EQ(FindSync(kReferenceSync, 0), -1);
  EXPECT_EQ(FindSync(kReferenceSync, -5), -1);

  std::vector<uint8_t> buf(3000, 0xFF);
  EXPECT_EQ(FindSync(buf.data(), 3000), -1);
  std::copy(kReferenceSync, kReferenceSync + 12, buf.begin() + 2988);  // ends exactly at count
  EXPECT_EQ(FindSync(buf.data(), 3000), 2988);
  EXPECT_EQ(FindSync(buf.data(), 2999), -1);
  std::copy(kReferenceSync, kReferenceSync + 12, buf.begin() + 700);
  EXPECT_EQ(FindSync(buf.data(), 3000), 700);
  // Eleven FF bytes between the zeros are not a sync.
  std::vector<uint8_t> near(14, 0xFF);
  near[0] = 0x00;
  near[13] = 0x00;
  EXPECT_EQ(FindSync(near.data(), 14), -1);
}
