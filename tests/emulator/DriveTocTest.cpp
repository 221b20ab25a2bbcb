// READ TOC format 2 in both forms, BCD, the session filter, truncation, the legacy
// policies and TOC failures.
#include <gtest/gtest.h>

#include "emulator/EmulatedDrive.h"
#include "tests/emulator/support/TestDiscs.h"

namespace emu::test {
namespace {

const std::vector<uint8_t> kMmcForm = {0x43, 0, 0x02, 0, 0, 0, 1, 0x0B, 0x04, 0x00};
const std::vector<uint8_t> kLegacyForm = {0x43, 0, 0x00, 0, 0, 0, 1, 0x0B, 0x04, 0x80};

struct ParsedToc {
  size_t Length;
  uint8_t First, Last;
  std::vector<std::array<uint8_t, 11>> Descriptors;
};

ParsedToc Parse(const Reply& r) {
  ParsedToc t{size_t{r.Data[0]} << 8 | r.Data[1], r.Data[2], r.Data[3], {}};
  for (size_t at = 4; at + 11 <= t.Length + 2 && at + 11 <= r.Data.size(); at += 11) {
    std::array<uint8_t, 11> d;
    std::copy(r.Data.begin() + static_cast<std::ptrdiff_t>(at), r.Data.begin() + static_cast<std::ptrdiff_t>(at + 11),
              d.begin());
    t.Descriptors.push_back(d);
  }
  return t;
}

const std::array<uint8_t, 11>* Find(const ParsedToc& t, uint8_t session, uint8_t point) {
  for (const auto& d : t.Descriptors)
    if (d[0] == session && d[3] == point) return &d;
  return nullptr;
}

std::vector<uint8_t> Cdb(std::vector<uint8_t> cdb, uint8_t session, uint16_t alloc) {
  cdb[6] = session;
  cdb[7] = static_cast<uint8_t>(alloc >> 8);
  cdb[8] = static_cast<uint8_t>(alloc);
  return cdb;
}

TEST(DriveTocTest, FullTocOfATwoSessionDisc) {
  auto disc = BuildDisc(MixedDisc());
  EmulatedDrive drive(disc);
  Reply r = DataIn(drive, kMmcForm, 2820);
  ASSERT_TRUE(r.Result.Good());
  const ParsedToc t = Parse(r);
  EXPECT_EQ(t.First, 1);
  EXPECT_EQ(t.Last, 2);
  EXPECT_EQ(t.Length, 2 + 11 * disc->Toc.size());
  EXPECT_EQ(r.Result.Residual, 2820 - 4 - 11 * disc->Toc.size());
  ASSERT_EQ(t.Descriptors.size(), disc->Toc.size());

  const auto* track2 = Find(t, 1, 2);
  ASSERT_NE(track2, nullptr);
  EXPECT_EQ((*track2)[1], 0x10);  // ADR 1, audio
  EXPECT_EQ((std::array<uint8_t, 3>{(*track2)[8], (*track2)[9], (*track2)[10]}),
            (std::array<uint8_t, 3>{0, 2, 35}));  // LBA 35 = 00:02:35
  const auto* leadOut1 = Find(t, 1, 0xA2);
  ASSERT_NE(leadOut1, nullptr);
  EXPECT_EQ((*leadOut1)[9], 3);  // LBA 75 = 00:03:00
  const auto* track4 = Find(t, 2, 4);
  ASSERT_NE(track4, nullptr);
  EXPECT_EQ((*track4)[1], 0x14);
  EXPECT_EQ((*track4)[10], 20);  // LBA 95 = 00:03:20
  ASSERT_NE(Find(t, 1, 0xB0), nullptr);
  EXPECT_EQ((*Find(t, 1, 0xB0))[1] >> 4, 5);
}

TEST(DriveTocTest, SessionFilterAndTruncation) {
  auto disc = BuildDisc(MixedDisc());
  EmulatedDrive drive(disc);
  const ParsedToc second = Parse(DataIn(drive, Cdb(kMmcForm, 2, 2820), 2820));
  ASSERT_FALSE(second.Descriptors.empty());
  for (const auto& d : second.Descriptors) EXPECT_EQ(d[0], 2);
  size_t inSession2 = 0;
  for (const TocDescriptor& d : disc->Toc) inSession2 += d.Session == 2;
  EXPECT_EQ(second.Descriptors.size(), inSession2);

  Reply cut = DataIn(drive, Cdb(kMmcForm, 1, 20), 2820);
  ASSERT_TRUE(cut.Result.Good());
  EXPECT_EQ(cut.Result.Residual, 2800u);
  EXPECT_EQ(size_t{cut.Data[0]} << 8 | cut.Data[1], 2 + 11 * disc->Toc.size());
  EXPECT_EQ(cut.Data[20], 0xEE);
}

TEST(DriveTocTest, BcdTocEncodesTrackPointsAndTimesButNotTheDiscType) {
  DiscSpec spec;
  spec.Sessions.emplace_back();
  for (int i = 0; i < 11; ++i) spec.Sessions[0].push_back(TrackSpec{SectorKind::Audio, 100});
  spec.Sessions[0].push_back(TrackSpec{SectorKind::Mode2Form1, 700});
  auto disc = BuildDisc(spec);
  disc->Profile.BcdToc = true;
  EmulatedDrive drive(disc);
  const ParsedToc t = Parse(DataIn(drive, kMmcForm, 2820));

  const auto* track12 = Find(t, 1, 0x12);
  ASSERT_NE(track12, nullptr);  // POINT 12 in BCD
  // Track 12 starts at LBA 1100 = frame 1250 = 00:16:50.
  EXPECT_EQ((std::array<uint8_t, 3>{(*track12)[8], (*track12)[9], (*track12)[10]}),
            (std::array<uint8_t, 3>{0x00, 0x16, 0x50}));
  EXPECT_EQ(Find(t, 1, 12), nullptr);
  const auto* a0 = Find(t, 1, 0xA0);
  ASSERT_NE(a0, nullptr);
  EXPECT_EQ((*a0)[8], 0x01);
  EXPECT_EQ((*a0)[9], 0x20);  // XA disc type stays as it is
  EXPECT_EQ((*Find(t, 1, 0xA1))[8], 0x12);
  // Lead-out at LBA 1800 = frame 1950 = 00:26:00.
  EXPECT_EQ((*Find(t, 1, 0xA2))[9], 0x26);
}

TEST(DriveTocTest, LegacyFormPolicies) {
  auto disc = BuildDisc(MixedDisc());
  EmulatedDrive honour(disc);
  EXPECT_EQ(DataIn(honour, kLegacyForm, 2820).Data, DataIn(honour, kMmcForm, 2820).Data);

  auto rejecting = std::make_shared<Disc>(*disc);
  rejecting->Profile.LegacyToc = LegacyTocPolicy::Reject;
  EmulatedDrive reject(rejecting);
  const ScsiResult refused = DataIn(reject, kLegacyForm, 2820).Result;
  EXPECT_EQ(refused.SenseKey(), 0x05);
  EXPECT_EQ(refused.Asc(), 0x24);
  EXPECT_TRUE(DataIn(reject, kMmcForm, 2820).Result.Good());

  auto format0 = std::make_shared<Disc>(*disc);
  format0->Profile.LegacyToc = LegacyTocPolicy::Format0;
  EmulatedDrive tracks(format0);
  Reply r = DataIn(tracks, kLegacyForm, 2820);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(size_t{r.Data[0]} << 8 | r.Data[1], 2 + 8 * 6u);  // five tracks and the lead-out
  EXPECT_EQ(r.Data[2], 1);
  EXPECT_EQ(r.Data[3], 5);
  const std::vector<uint8_t> fourth(r.Data.begin() + 4 + 3 * 8, r.Data.begin() + 4 + 4 * 8);
  EXPECT_EQ(fourth, (std::vector<uint8_t>{0, 0x14, 4, 0, 0, 0, 0, MixedLbas::Form1}));
  EXPECT_EQ(r.Data[4 + 5 * 8 + 2], 0xAA);
  EXPECT_EQ(r.Data[4 + 5 * 8 + 7], MixedLbas::LeadOut2);

  // Other formats are not served.
  EXPECT_EQ(DataIn(honour, {0x43, 0, 0x00, 0, 0, 0, 1, 0x0B, 0x04, 0x00}, 2820).Result.Asc(), 0x24);
}

TEST(DriveTocTest, TocFailures) {
  auto disc = BuildDisc(MixedDisc());
  disc->Faults.Toc = TocFailure::Legacy;
  EmulatedDrive first(disc);
  const ScsiResult legacy = DataIn(first, kLegacyForm, 2820).Result;
  EXPECT_EQ(legacy.SenseKey(), 0x03);
  EXPECT_EQ(legacy.Asc(), 0x57);
  EXPECT_TRUE(DataIn(first, kMmcForm, 2820).Result.Good());

  auto both = std::make_shared<Disc>(*disc);
  both->Faults.Toc = TocFailure::Both;
  EmulatedDrive none(both);
  EXPECT_EQ(DataIn(none, kLegacyForm, 2820).Result.Asc(), 0x57);
  Reply mmc = DataIn(none, kMmcForm, 2820);
  EXPECT_EQ(mmc.Result.Asc(), 0x57);
  EXPECT_EQ(mmc.Result.Residual, 2820u);
}

}  // namespace
}  // namespace emu::test
