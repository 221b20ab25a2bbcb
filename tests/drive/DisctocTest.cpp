#include "drive/Disctoc.h"

#include <gtest/gtest.h>

#include "tests/drive/support/RawToc.h"

namespace {

std::vector<int64_t> TwelveTrackStarts() {
  std::vector<int64_t> starts;
  for (int i = 0; i < 12; ++i) starts.push_back(150 + i * 15000);
  return starts;
}

bool Parse(const std::vector<uint8_t>& raw, TDiscToc& toc) { return ParseRawToc(raw.data(), raw.size(), toc); }

TEST(DisctocParse, SingleSessionTracksChainAndEndAtTheLeadOut) {
  const auto starts = TwelveTrackStarts();
  const auto raw = RawTocWriter(1, 1).AddSession(1, 1, starts, 200000).Bytes();
  TDiscToc toc;
  ASSERT_TRUE(Parse(raw, toc));
  EXPECT_EQ(toc.FirstSession, 1);
  EXPECT_EQ(toc.LastSession, 1);
  EXPECT_EQ(toc.SessionCount, 1);
  EXPECT_EQ(toc.FirstTrack, 1);
  EXPECT_EQ(toc.LastTrack, 12);
  EXPECT_EQ(toc.TrackCount, 12);
  for (int t = 0; t < 11; ++t) {
    EXPECT_EQ(PackedMsfToFrames(toc.Tracks[t].Start), starts[t]) << t;
    EXPECT_EQ(toc.Tracks[t].End, toc.Tracks[t + 1].Start) << t;
    EXPECT_EQ(toc.Tracks[t].FullEnd, toc.Tracks[t].End) << t;
    EXPECT_EQ(toc.Tracks[t].TrackNo, t + 1);
    EXPECT_EQ(toc.Tracks[t].SessionNo, 1);
  }
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[11].End), 200000);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[12].Start), 200000);
  EXPECT_EQ(PackedMsfToFrames(toc.LeadOut), 200000);
  EXPECT_EQ(toc.Tracks[0].Start, MakeMsf(0, 2, 0));
  EXPECT_EQ(toc.Tracks[0].FullStart, MakeMsf(0, 0, 0));
  EXPECT_EQ(toc.Tracks[1].FullStart, toc.Tracks[1].Start);
  EXPECT_EQ(toc.Sessions[0].SessionNo, 1);
  EXPECT_EQ(toc.Sessions[0].TrackCount, 12);
  EXPECT_EQ(toc.Sessions[0].Start, toc.Tracks[0].Start);
}

TEST(DisctocParse, LastTrackOfAFirstSessionEndsAtItsOwnLeadOut) {
  const auto raw = RawTocWriter(1, 2)
                       .AddSession(1, 1, {150, 20000}, 30000, 4)
                       .AddSession(2, 3, {41400, 50000}, 60000, 4)
                       .Bytes();
  TDiscToc toc;
  ASSERT_TRUE(Parse(raw, toc));
  EXPECT_EQ(toc.SessionCount, 2);
  EXPECT_EQ(toc.TrackCount, 4);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[1].End), 30000);  // not 41400
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[2].Start), 41400);
  EXPECT_EQ(toc.Tracks[2].SessionNo, 2);
  EXPECT_EQ(PackedMsfToFrames(toc.LeadOut), 60000);
  EXPECT_EQ(toc.Sessions[1].SessionNo, 2);
  EXPECT_EQ(toc.Sessions[1].FirstTrack, 3);
  EXPECT_EQ(toc.Sessions[1].LastTrack, 4);
  EXPECT_EQ(PackedMsfToFrames(toc.Sessions[1].Start), 41400);
  EXPECT_EQ(PackedMsfToFrames(toc.Sessions[0].LeadOut), 30000);
}

TEST(DisctocParse, ATrackWhoseStartTheTocLostIsLeftOut) {
  // Three sessions; every descriptor of the second (track 3) is gone.
  const auto raw = RawTocWriter(1, 3).AddSession(1, 1, {150, 20000}, 30000).AddSession(3, 4, {50000}, 60000).Bytes();
  TDiscToc toc;
  ASSERT_TRUE(Parse(raw, toc));
  EXPECT_EQ(toc.LastTrack, 4);
  ASSERT_EQ(toc.TrackCount, 3);
  EXPECT_EQ(toc.Tracks[1].TrackNo, 2);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[1].End), 30000);
  EXPECT_EQ(toc.Tracks[2].TrackNo, 4);
  EXPECT_EQ(toc.Tracks[2].SessionNo, 3);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[2].Start), 50000);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[3].Start), 60000);
  EXPECT_EQ(PackedMsfToFrames(toc.LeadOut), 60000);
}

TEST(DisctocParse, ControlFlagsComeOnlyFromModeOneDescriptors) {
  TDiscToc toc;
  auto data = RawTocWriter(1, 1).Add(1, 1, 4, 0xA0, 1, 0, 0).Add(1, 1, 4, 0xA1, 2, 0, 0).Add(1, 1, 4, 0xA2, 10, 0, 0);
  data.Add(1, 1, 4, 1, 0, 2, 0);   // data track, ADR 1
  data.Add(1, 5, 4, 2, 5, 0, 0);   // ADR 5: start only
  data.Add(1, 5, 0xF, 1, 9, 9, 9);  // a later ADR-5 pointer must not move track 1
  ASSERT_TRUE(Parse(data.Bytes(), toc));
  EXPECT_TRUE(toc.Tracks[0].DataTrack);
  EXPECT_FALSE(toc.Tracks[0].PreEmphasis);
  EXPECT_FALSE(toc.Tracks[0].CopyPermitted);
  EXPECT_FALSE(toc.Tracks[0].FourChannel);
  EXPECT_EQ(toc.Tracks[0].Start, MakeMsf(0, 2, 0));
  EXPECT_FALSE(toc.Tracks[1].DataTrack || toc.Tracks[1].PreEmphasis || toc.Tracks[1].CopyPermitted ||
               toc.Tracks[1].FourChannel);
  EXPECT_EQ(toc.Tracks[1].Start, MakeMsf(5, 0, 0));
}

TEST(DisctocParse, NoTrackRangeFailsAndLeavesTheTocAlone) {
  TDiscToc toc;
  toc.FirstTrack = 42;
  toc.LeadOut = 1234;
  // No A0.
  EXPECT_FALSE(Parse(RawTocWriter(1, 1).Add(1, 1, 0, 0xA1, 3, 0, 0).Add(1, 1, 0, 1, 0, 2, 0).Bytes(), toc));
  // No A1.
  EXPECT_FALSE(Parse(RawTocWriter(1, 1).Add(1, 1, 0, 0xA0, 1, 0, 0).Add(1, 1, 0, 1, 0, 2, 0).Bytes(), toc));
  // A0 of 0, A1 beyond 99, A0 above A1.
  EXPECT_FALSE(Parse(RawTocWriter(1, 1).Add(1, 1, 0, 0xA0, 0, 0, 0).Add(1, 1, 0, 0xA1, 3, 0, 0).Bytes(), toc));
  EXPECT_FALSE(Parse(RawTocWriter(1, 1).Add(1, 1, 0, 0xA0, 1, 0, 0).Add(1, 1, 0, 0xA1, 150, 0, 0).Bytes(), toc));
  EXPECT_FALSE(Parse(RawTocWriter(1, 1).Add(1, 1, 0, 0xA0, 5, 0, 0).Add(1, 1, 0, 0xA1, 4, 0, 0).Bytes(), toc));
  EXPECT_EQ(toc.FirstTrack, 42);
  EXPECT_EQ(toc.LeadOut, 1234u);
}

TEST(DisctocParse, TrackNinetyNineEndsAtTheLeadOutWithoutReadingPastTheTable) {
  auto data = RawTocWriter(1, 1).Add(1, 1, 0, 0xA0, 98, 0, 0).Add(1, 1, 0, 0xA1, 99, 0, 0).Add(1, 1, 0, 0xA2, 70, 0, 0);
  data.Add(1, 1, 0, 98, 60, 0, 0).Add(1, 1, 0, 99, 65, 0, 0);
  TDiscToc toc;
  ASSERT_TRUE(Parse(data.Bytes(), toc));
  EXPECT_EQ(toc.TrackCount, 2);
  EXPECT_EQ(toc.Tracks[1].TrackNo, 99);
  EXPECT_EQ(toc.Tracks[1].End, MakeMsf(70, 0, 0));
  EXPECT_EQ(toc.Tracks[2].Start, MakeMsf(70, 0, 0));
}

TEST(DisctocParse, SessionWhoseLastTrackIsMissingOrOutsideTheDiscRangeIsSkipped) {
  // Session 2 names A1 of 0 (missing): it must not end any track; session 3's A0/A1
  // lie outside the disc range set by sessions 1 and 2.
  auto data = RawTocWriter(1, 2).AddSession(1, 1, {150, 9000}, 20000);
  data.Add(2, 1, 0, 0xA2, 50, 0, 0);
  TDiscToc toc;
  ASSERT_TRUE(Parse(data.Bytes(), toc));
  EXPECT_EQ(toc.TrackCount, 2);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[1].End), 20000);
  EXPECT_EQ(toc.Sessions[1].TrackCount, 0);
  EXPECT_EQ(toc.Sessions[1].Start, 0u);
}

TEST(DisctocShape, AnswersThatDoNotDescribeAFullTocAreRefused) {
  const auto good = RawTocWriter(1, 1).AddSession(1, 1, {150}, 9000).Bytes();
  EXPECT_TRUE(IsFullTocShape(good.data(), good.size()));
  EXPECT_EQ(RawTocDescriptorCount(good.data(), good.size()), 4);

  const auto tooShort = RawTocWriter(1, 1).AddSession(1, 1, {150}, 9000).Bytes(1);
  const auto notWhole = RawTocWriter(1, 1).AddSession(1, 1, {150}, 9000).Bytes(2 + 4 * 11 - 3);
  const auto empty = RawTocWriter(1, 1).Bytes();
  const auto tooLong = RawTocWriter(1, 1).AddSession(1, 1, {150}, 9000).Bytes(2 + 257 * 11);
  for (const auto* raw : {&tooShort, &notWhole, &empty, &tooLong}) {
    EXPECT_FALSE(IsFullTocShape(raw->data(), raw->size()));
    TDiscToc toc;
    EXPECT_FALSE(ParseRawToc(raw->data(), raw->size(), toc));
  }
  // The most the buffer holds is accepted; one more descriptor is not.
  const auto full = RawTocWriter(1, 1).Bytes(2 + 256 * 11);
  EXPECT_EQ(RawTocDescriptorCount(full.data(), full.size()), 256);
  EXPECT_EQ(RawTocDescriptorCount(tooLong.data(), tooLong.size()), -1);
  EXPECT_EQ(RawTocDescriptorCount(good.data(), 4 + 3 * 11), -1);
}

TEST(DisctocShape, SessionNumbersOutsideTheHeaderRangeAreRefused) {
  const auto zeroSession = RawTocWriter(1, 1).AddSession(0, 1, {150}, 9000).Bytes();
  const auto beyondLast = RawTocWriter(1, 1).AddSession(1, 1, {150}, 9000).Add(2, 1, 0, 0xA2, 1, 0, 0).Bytes();
  const auto reversed = RawTocWriter(2, 1).AddSession(1, 1, {150}, 9000).Bytes();
  const auto hundred = RawTocWriter(100, 100).AddSession(100, 1, {150}, 9000).Bytes();
  for (const auto* raw : {&zeroSession, &beyondLast, &reversed, &hundred})
    EXPECT_FALSE(IsFullTocShape(raw->data(), raw->size()));
}

TEST(DisctocShape, AFormatZeroAnswerIsNotTakenForAFullToc) {
  // READ TOC format 0: 8-byte track descriptors, first/last track in the header.
  std::vector<uint8_t> raw(kRawTocSize, 0);
  const uint8_t tracks[][8] = {{0, 0x14, 1, 0, 0, 0, 0, 0}, {0, 0x14, 2, 0, 0, 0, 0x20, 0},
                               {0, 0x14, 0xAA, 0, 0, 0, 0x40, 0}};
  raw[1] = 2 + 3 * 8;
  raw[2] = 1;
  raw[3] = 2;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 8; ++j) raw[4 + i * 8 + j] = tracks[i][j];
  EXPECT_FALSE(IsFullTocShape(raw.data(), raw.size()));
}

TEST(DisctocBcd, FieldsAreConvertedByPoint) {
  auto data = RawTocWriter(1, 1);
  data.Add(1, 1, 0, 0xA0, 0x01, 0x20, 0x00);        // A0: PMIN only (PSEC is the disc type)
  data.Add(1, 1, 0, 0xA1, 0x12, 0, 0);
  data.Add(1, 1, 0, 0xA2, 0x45, 0x30, 0x15);
  data.Add(1, 5, 0, 0xB0, 0x50, 0x10, 0x11, 0x30, 0x20, 0x12);
  data.Add(1, 1, 0, 0x10, 0x40, 0x59, 0x74);
  auto raw = data.Bytes();
  ConvertRawTocBcd(raw.data(), raw.size());
  auto descriptor = [&](int i) { return raw.data() + 4 + i * 11; };
  EXPECT_EQ(descriptor(0)[3], 0xA0);
  EXPECT_EQ(descriptor(0)[8], 1);
  EXPECT_EQ(descriptor(0)[9], 0x20);
  EXPECT_EQ(descriptor(1)[8], 12);
  EXPECT_EQ(descriptor(2)[8], 45);
  EXPECT_EQ(descriptor(2)[9], 30);
  EXPECT_EQ(descriptor(2)[10], 15);
  EXPECT_EQ(descriptor(3)[3], 0xB0);
  EXPECT_EQ(descriptor(3)[4], 30);
  EXPECT_EQ(descriptor(3)[5], 20);
  EXPECT_EQ(descriptor(3)[6], 12);
  EXPECT_EQ(descriptor(3)[8], 50);
  EXPECT_EQ(descriptor(4)[3], 10);
  EXPECT_EQ(descriptor(4)[8], 40);
  EXPECT_EQ(descriptor(4)[9], 59);
  EXPECT_EQ(descriptor(4)[10], 74);
}

}  // namespace
