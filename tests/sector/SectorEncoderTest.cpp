#include "sector/SectorEncoder.h"

#include <gtest/gtest.h>

#include <random>

#include "SectorTestSupport.h"
#include "sector/Datasector.h"
#include "sector/Kredc.h"

using namespace sectortest;

namespace {

bool HasSync(const TSector& s) { return std::equal(kReferenceSync, kReferenceSync + 12, s.begin()); }

}  // namespace

TEST(SectorEncoderTest, HeaderIsSyncBcdAddressAndMode) {
  TSector sector{};
  WriteSectorHeader(sector.data(), 359999, 1);
  EXPECT_TRUE(HasSync(sector));
  EXPECT_EQ(sector[12], 0x79);
  EXPECT_EQ(sector[13], 0x59);
  EXPECT_EQ(sector[14], 0x74);
  EXPECT_EQ(sector[15], 1);
  WriteSectorHeader(sector.data(), 150, 2);
  EXPECT_EQ(GetHeaderAddress(sector.data()), 150);
  EXPECT_EQ(sector[15], 2);
  WriteSectorHeader(sector.data(), 449999, 1);
  EXPECT_EQ(GetHeaderAddress(sector.data()), 449999);
}

TEST(SectorEncoderTest, Mode1LayoutEdcAndZeroArea) {
  std::mt19937 rng(21);
  const auto data = RandomBytes(rng, 2048);
  TSector sector;
  sector.fill(0xEE);
  EncodeMode1Sector(sector.data(), 16 + 150, data.data());
  EXPECT_TRUE(HasSync(sector));
  EXPECT_EQ(GetHeaderAddress(sector.data()), 166);
  EXPECT_EQ(sector[15], 1);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), sector.begin() + 16));
  EXPECT_EQ(Le32(&sector[2064]), ReferenceEdc(sector.data(), 2064));
  EXPECT_EQ(Le32(&sector[2064]), TKrEdc().Calc(sector.data()));
  for (int i = 2068; i < 2076; ++i) EXPECT_EQ(sector[i], 0) << i;
}

TEST(SectorEncoderTest, EveryCodewordOfEncodedMode1SectorsChecksZero) {
  std::mt19937 rng(22);
  for (int round = 0; round < 20; ++round) {
    const auto data = RandomBytes(rng, 2048);
    TSector sector;
    EncodeMode1Sector(sector.data(), 150 + round * 1000, data.data());
    ASSERT_EQ(CountFailingCodewords(sector.data()), 0) << round;
  }
  // All-zero data still has a non-zero header, hence non-zero parity.
  const std::vector<uint8_t> zeros(2048, 0);
  TSector sector;
  EncodeMode1Sector(sector.data(), 150, zeros.data());
  EXPECT_EQ(CountFailingCodewords(sector.data()), 0);
  EXPECT_TRUE(std::any_of(sector.begin() + 2076, sector.end(), [](uint8_t b) { return b != 0; }));
}

TEST(SectorEncoderTest, ParityDetectsAnyChangedByte) {
  std::mt19937 rng(23);
  const auto data = RandomBytes(rng, 2048);
  TSector sector;
  EncodeMode1Sector(sector.data(), 1234, data.data());
  for (size_t offset = 12; offset < 2352; offset += 37) {
    sector[offset] ^= 0x41;
    // A data/header/EDC byte sits in one P and one Q codeword; a P parity byte in one Q
    // codeword too; a Q parity byte in its Q codeword only.
    const int expected = offset < 12 + 2 * 1118 ? 2 : 1;
    ASSERT_EQ(CountFailingCodewords(sector.data()), expected) << offset;
    sector[offset] ^= 0x41;
  }
}

TEST(SectorEncoderTest, ComputeEccParityRebuildsMode1Parity) {
  std::mt19937 rng(24);
  const auto data = RandomBytes(rng, 2048);
  TSector sector;
  EncodeMode1Sector(sector.data(), 5000, data.data());
  const TSector encoded = sector;
  std::fill(sector.begin() + 2076, sector.end(), 0xC3);
  ComputeEccParity(sector.data(), false);
  EXPECT_EQ(sector, encoded);
}

TEST(SectorEncoderTest, Mode2Form1LayoutAndHeaderFreeParity) {
  std::mt19937 rng(25);
  const auto data = RandomBytes(rng, 2048);
  const uint8_t subheader[4] = {1, 2, 0x28, 4};  // bit 5 set on input, must be cleared
  TSector a, b;
  EncodeMode2Form1Sector(a.data(), 300, subheader, data.data());
  EncodeMode2Form1Sector(b.data(), 301234, subheader, data.data());
  EXPECT_TRUE(HasSync(a));
  EXPECT_EQ(a[15], 2);
  EXPECT_EQ(GetHeaderAddress(a.data()), 300);
  const uint8_t expectedSub[4] = {1, 2, 0x08, 4};
  EXPECT_TRUE(std::equal(expectedSub, expectedSub + 4, a.begin() + 16));
  EXPECT_TRUE(std::equal(expectedSub, expectedSub + 4, a.begin() + 20));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), a.begin() + 24));
  EXPECT_EQ(Le32(&a[2072]), ReferenceEdc(a.data() + 16, 2056));

  // The header does not enter the parity: two addresses, same parity bytes.
  EXPECT_TRUE(std::equal(a.begin() + 2076, a.end(), b.begin() + 2076));
  // With the header taken as zero every codeword checks.
  TSector zeroHeader = a;
  std::fill(zeroHeader.begin() + 12, zeroHeader.begin() + 16, 0);
  EXPECT_EQ(CountFailingCodewords(zeroHeader.data()), 0);
  EXPECT_GT(CountFailingCodewords(a.data()), 0);

  TSector rebuilt = a;
  std::fill(rebuilt.begin() + 2076, rebuilt.end(), 0);
  ComputeEccParity(rebuilt.data(), true);
  EXPECT_EQ(rebuilt, a);  // header restored, parity the same
}

TEST(SectorEncoderTest, Mode2Form2LayoutAndOptionalEdc) {
  std::mt19937 rng(26);
  const auto data = RandomBytes(rng, 2324);
  const uint8_t subheader[4] = {0, 1, 0x01, 0x7F};
  TSector sector;
  EncodeMode2Form2Sector(sector.data(), 777, subheader, data.data(), true);
  EXPECT_TRUE(HasSync(sector));
  EXPECT_EQ(sector[15], 2);
  EXPECT_EQ(sector[18], 0x21);
  EXPECT_EQ(sector[22], 0x21);
  EXPECT_EQ(sector[16], 0);
  EXPECT_EQ(sector[17], 1);
  EXPECT_EQ(sector[19], 0x7F);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), sector.begin() + 24));
  EXPECT_EQ(Le32(&sector[2348]), ReferenceEdc(sector.data() + 16, 2332));
  EXPECT_NE(Le32(&sector[2348]), 0u);

  EncodeMode2Form2Sector(sector.data(), 777, subheader, data.data(), false);
  EXPECT_EQ(Le32(&sector[2348]), 0u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), sector.begin() + 24));
}

TEST(SectorEncoderTest, Mode2FormlessCarries2336Bytes) {
  std::mt19937 rng(27);
  const auto data = RandomBytes(rng, 2336);
  TSector sector;
  EncodeMode2FormlessSector(sector.data(), 4500, data.data());
  EXPECT_TRUE(HasSync(sector));
  EXPECT_EQ(sector[12], 0x01);
  EXPECT_EQ(sector[13], 0x00);
  EXPECT_EQ(sector[14], 0x00);
  EXPECT_EQ(sector[15], 2);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), sector.begin() + 16));
}

TEST(QFrameTest, KnownFrame) {
  // Data track 1, index 1, relative 00:00:00, absolute 00:02:00; CRC worked out by hand
  // with the bitwise CCITT division (0x1021, initial 0), then inverted.
  const uint8_t expected[12] = {0x41, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x28, 0x32};
  uint8_t q[12] = {};
  EncodeQFrame(q, 4, 1, 1, 0, 150);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(q[i], expected[i]) << i;
  EXPECT_EQ(QFrameCrc(expected), 0x2832);
  EXPECT_TRUE(IsQFrameCrcValid(expected));
}

TEST(QFrameTest, LeadOutAndBcdFields) {
  const uint8_t expected[12] = {0x01, 0xAA, 0x01, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x56, 0xFE, 0xDE};
  uint8_t q[12] = {};
  EncodeQFrame(q, 0, 0xAA, 1, 0, 12 * 4500 + 34 * 75 + 56);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(q[i], expected[i]) << i;

  EncodeQFrame(q, 0x0F, 99, 0, 59 * 75 + 74, 449999);
  EXPECT_EQ(q[0], 0xF1);
  EXPECT_EQ(q[1], 0x99);
  EXPECT_EQ(q[2], 0x00);
  EXPECT_EQ(q[3], 0x00);
  EXPECT_EQ(q[4], 0x59);
  EXPECT_EQ(q[5], 0x74);
  EXPECT_EQ(q[6], 0x00);
  EXPECT_EQ(q[7], 0x99);
  EXPECT_EQ(q[8], 0x59);
  EXPECT_EQ(q[9], 0x74);
  EXPECT_TRUE(IsQFrameCrcValid(q));
}

TEST(QFrameTest, AnyFlippedBitInvalidatesCrc) {
  uint8_t q[12];
  EncodeQFrame(q, 4, 7, 1, 1234, 56789);
  ASSERT_TRUE(IsQFrameCrcValid(q));
  for (int byte = 0; byte < 12; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      q[byte] ^= static_cast<uint8_t>(1 << bit);
      EXPECT_FALSE(IsQFrameCrcValid(q)) << byte << ":" << bit;
      q[byte] ^= static_cast<uint8_t>(1 << bit);
    }
  }
}
