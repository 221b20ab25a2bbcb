#include "sector/Address.h"

#include <gtest/gtest.h>

TEST(AddressTest, FramesToLbaCoversProgramAreaAndLeadIn) {
  EXPECT_EQ(FramesToLba(0), -150);
  EXPECT_EQ(FramesToLba(150), 0);
  EXPECT_EQ(FramesToLba(404999), 404849);
  EXPECT_EQ(FramesToLba(405000), -45150);
  EXPECT_EQ(FramesToLba(449999), -151);
  EXPECT_EQ(FramesToLba(450000), 0);
  EXPECT_EQ(FramesToLba(-1), 0);
  EXPECT_EQ(FramesToLba(int64_t{1} << 40), 0);
}

TEST(AddressTest, LbaToFramesCoversProgramAreaAndLeadIn) {
  EXPECT_EQ(LbaToFrames(-150), 0);
  EXPECT_EQ(LbaToFrames(0), 150);
  EXPECT_EQ(LbaToFrames(404849), 404999);
  EXPECT_EQ(LbaToFrames(-151), 449999);
  EXPECT_EQ(LbaToFrames(-45150), 405000);
  EXPECT_EQ(LbaToFrames(-45151), 0);
  EXPECT_EQ(LbaToFrames(404850), 0);
}

TEST(AddressTest, LbaRoundTripOverEveryConvertibleFrame) {
  for (int64_t f = 0; f < kLeadInEndFrame; ++f) {
    ASSERT_TRUE(IsConvertibleFrame(f));
    ASSERT_EQ(LbaToFrames(FramesToLba(f)), f) << f;
  }
  EXPECT_FALSE(IsConvertibleFrame(-1));
  EXPECT_FALSE(IsConvertibleFrame(kLeadInEndFrame));
}

TEST(AddressTest, PackedMsfLayoutAndConversions) {
  const TPackedMsf msf = MakeMsf(12, 34, 56);
  EXPECT_EQ(msf & 0xFF, 0u);
  EXPECT_EQ((msf >> 8) & 0xFF, 12u);
  EXPECT_EQ((msf >> 16) & 0xFF, 34u);
  EXPECT_EQ((msf >> 24) & 0xFF, 56u);
  EXPECT_EQ(PackedMsfMinute(msf), 12);
  EXPECT_EQ(PackedMsfSecond(msf), 34);
  EXPECT_EQ(PackedMsfFrame(msf), 56);
  // Byte 0 is ignored on reading.
  EXPECT_EQ(PackedMsfToFrames(msf | 0x7F), 12 * 4500 + 34 * 75 + 56);
  EXPECT_EQ(MsfToFrames(1, 2, 3), 4500 + 150 + 3);
  EXPECT_EQ(MsfToFrames(255, 255, 255), (255 * 60 + 255) * 75 + 255);

  EXPECT_EQ(FramesToMsf(4500), MakeMsf(1, 0, 0));
  EXPECT_EQ(FramesToMsf(149), MakeMsf(0, 1, 74));
  EXPECT_EQ(FramesToMsf(0), 0u);
  for (int64_t n = 0; n < 256 * 4500; n += 7) ASSERT_EQ(PackedMsfToFrames(FramesToMsf(n)), n) << n;
  EXPECT_EQ(PackedMsfToFrames(FramesToMsf(256 * 4500 - 1)), 256 * 4500 - 1);
  // The minute is kept to 8 bits.
  EXPECT_EQ(PackedMsfMinute(FramesToMsf(256 * 4500 + 75)), 0);
  EXPECT_EQ(PackedMsfSecond(FramesToMsf(256 * 4500 + 75)), 1);
}

TEST(AddressTest, BcdConversions) {
  EXPECT_EQ(BcdToBin(0x00), 0);
  EXPECT_EQ(BcdToBin(0x59), 59);
  EXPECT_EQ(BcdToBin(0x99), 99);
  EXPECT_EQ(BcdToBin(0x1A), 20);  // a nibble above 9 is used as it is
  EXPECT_EQ(BcdToBin(0xFF), 165);
  for (int v = 0; v < 100; ++v) ASSERT_EQ(BcdToBin(BinToBcd(static_cast<uint8_t>(v))), v);
  EXPECT_EQ(BinToBcd(74), 0x74);
}

TEST(AddressTest, MsfTextHasNoOffset) {
  EXPECT_EQ(FramesToMsfText(0), "00:00:00");
  EXPECT_EQ(FramesToMsfText(150), "00:02:00");
  EXPECT_EQ(FramesToMsfText(449999), "99:59:74");
  EXPECT_EQ(FramesToMsfText(4500 * 100 + 1), "100:00:01");
}
