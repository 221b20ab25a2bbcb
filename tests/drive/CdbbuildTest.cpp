#include "drive/Cdbbuild.h"

#include <gtest/gtest.h>

#include "emulator/EmulatedDrive.h"
#include "tests/drive/support/EmulatedExec.h"
#include "tests/drive/support/RawToc.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using drive_test::EmulatedExecScope;
using drive_test::ScriptedAnswer;
using drive_test::ScriptedExecScope;
using Bytes = std::vector<uint8_t>;

class CdbbuildOnEmulator : public ::testing::Test {
 protected:
  void Start(std::shared_ptr<emu::Disc> disc) {
    Scope.reset();
    Drive = std::make_unique<emu::EmulatedDrive>(std::move(disc));
    Scope = std::make_unique<EmulatedExecScope>(*Drive);
  }
  void SetUp() override {
    Start(emu::test::BuildDisc(emu::test::Mode1Disc(100)));
    Lun2 = TKrCdRom(0, 0, 2);
  }
  TScsiExec Exec() const { return EmulatedExecScope::Exec(); }
  Bytes LastCdb() const {
    const auto log = Drive->Log();
    return log.empty() ? Bytes{} : log.back().Cdb;
  }
  size_t LastLength() const { return Drive->Log().back().Length; }

  std::unique_ptr<emu::EmulatedDrive> Drive;
  std::unique_ptr<EmulatedExecScope> Scope;
  TKrCdRom Lun0;
  TKrCdRom Lun2;
};

TEST_F(CdbbuildOnEmulator, ReadCommandsSendTheirExactBytes) {
  std::vector<uint8_t> buffer(27 * 2448);
  ASSERT_TRUE(CdbReadCd(Exec(), Lun0, 150, 27, 0, buffer.data()));
  EXPECT_EQ(LastCdb(), (Bytes{0xBE, 0, 0, 0, 0, 0, 0, 0, 0x1B, 0x10, 0, 0}));
  EXPECT_EQ(LastLength(), 27u * 2352);

  CdbReadCd(Exec(), Lun2, 160, 2, 2, buffer.data());
  EXPECT_EQ(LastCdb(), (Bytes{0xBE, 0x40, 0, 0, 0, 10, 0, 0, 2, 0x10, 2, 0}));
  EXPECT_EQ(LastLength(), 2u * 2368);

  CdbReadCdda(Exec(), Lun2, 151, 1, 1, buffer.data());
  EXPECT_EQ(LastCdb(), (Bytes{0xD8, 0x40, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0}));
  EXPECT_EQ(LastLength(), 2368u);
  CdbReadCdda(Exec(), Lun0, 150, 3, 3, buffer.data());
  EXPECT_EQ(LastLength(), 3u * 96);

  // Nothing but formatted Q: byte 9 is the base alone, 16 bytes a sector.
  CdbReadCdEx(Exec(), Lun0, 200, 1, 0, false, false, false, 0, 2, buffer.data());
  EXPECT_EQ(LastCdb(), (Bytes{0xBE, 0, 0, 0, 0, 50, 0, 0, 1, 0x00, 2, 0}));
  EXPECT_EQ(LastLength(), 16u);
  // The raw read: sync, all headers, user data, EDC/ECC, typed Mode 1.
  ASSERT_TRUE(CdbReadCdEx(Exec(), Lun0, 150, 2, 0x08, true, true, true, 0x60, 0, buffer.data()));
  EXPECT_EQ(LastCdb(), (Bytes{0xBE, 0x08, 0, 0, 0, 0, 0, 0, 2, 0xF8, 0, 0}));
  EXPECT_EQ(LastLength(), 2u * 2352);
}

TEST_F(CdbbuildOnEmulator, ControlCommandsCarryTheLunExceptInquiryAndReadToc) {
  uint8_t page[0x123];
  CdbModeSense6(Exec(), Lun2, 0x2A, page, 200);
  EXPECT_EQ(LastCdb(), (Bytes{0x1A, 0x40, 0x2A, 0, 200, 0}));
  CdbModeSense10(Exec(), Lun2, 0x81, page, 0x123);
  EXPECT_EQ(LastCdb(), (Bytes{0x5A, 0x40, 0x81, 0, 0, 0, 0, 0x01, 0x23, 0}));
  CdbModeSelect6(Exec(), Lun2, false, page, 12);
  EXPECT_EQ(LastCdb(), (Bytes{0x15, 0x50, 0, 0, 12, 0}));
  CdbModeSelect10(Exec(), Lun2, true, page, 16);
  EXPECT_EQ(LastCdb(), (Bytes{0x55, 0x51, 0, 0, 0, 0, 0, 0, 16, 0}));
  CdbSetCdSpeed(Exec(), Lun2, 706);
  EXPECT_EQ(LastCdb(), (Bytes{0xBB, 0x40, 0x02, 0xC2, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(CdbPreventAllow(Exec(), Lun0, true));
  EXPECT_EQ(LastCdb(), (Bytes{0x1E, 0, 0, 0, 1, 0}));
  EXPECT_TRUE(Drive->Locked());
  ASSERT_TRUE(CdbPreventAllow(Exec(), Lun0, false));
  EXPECT_FALSE(Drive->Locked());

  TKrCdRom inquired(0, 0, 2);
  ASSERT_TRUE(CdbInquiry(Exec(), inquired));
  EXPECT_EQ(LastCdb(), (Bytes{0x12, 0, 0, 0, 0x64, 0}));
  EXPECT_EQ(LastLength(), 100u);
  EXPECT_EQ(inquired.GetVendor(), "QUARNEL ");

  uint8_t toc[kRawTocSize];
  ASSERT_TRUE(CdbReadRawToc(Exec(), Lun2, 1, false, toc));
  EXPECT_EQ(LastCdb(), (Bytes{0x43, 0, 0, 0, 0, 0, 1, 0x0B, 0x04, 0x80}));
  EXPECT_EQ(Drive->Log().size(), 9u);
}

TEST_F(CdbbuildOnEmulator, AddressesOutsideTheConvertibleRangeAreNeverSent) {
  std::vector<uint8_t> buffer(2448);
  for (int64_t frame : {int64_t{-1}, int64_t{450000}, int64_t{1} << 40}) {
    EXPECT_FALSE(CdbReadCd(Exec(), Lun0, frame, 1, 0, buffer.data()));
    EXPECT_FALSE(CdbReadCdda(Exec(), Lun0, frame, 1, 0, buffer.data()));
    EXPECT_FALSE(CdbReadCdEx(Exec(), Lun0, frame, 1, 0, true, true, true, 0x60, 0, buffer.data()));
    TSubQSector q;
    EXPECT_FALSE(CdbReadSubQ(Exec(), Lun0, frame, q));
    EXPECT_FALSE(CdbReadSubQCdda(Exec(), Lun0, frame, q));
  }
  // Selectors outside the tables are refused too.
  EXPECT_FALSE(CdbReadCd(Exec(), Lun0, 150, 1, 3, buffer.data()));
  EXPECT_FALSE(CdbReadCdda(Exec(), Lun0, 150, 1, 4, buffer.data()));
  EXPECT_FALSE(CdbReadCdEx(Exec(), Lun0, 150, 1, 0, false, false, true, 0, 5, buffer.data()));
  // A read whose later sectors leave the range is refused whole (frame 450000 has no LBA).
  std::vector<uint8_t> two(2 * 2352);
  EXPECT_FALSE(CdbReadCd(Exec(), Lun0, 449999, 2, 0, two.data()));
  EXPECT_FALSE(CdbReadCdda(Exec(), Lun0, 449999, 2, 0, two.data()));
  EXPECT_TRUE(Drive->Log().empty());
  // The lead-in end of the range is still a real address (LBA -151).
  CdbReadCd(Exec(), Lun0, 449999, 1, 0, buffer.data());
  EXPECT_EQ(LastCdb(), (Bytes{0xBE, 0, 0xFF, 0xFF, 0xFF, 0x69, 0, 0, 1, 0x10, 0, 0}));
}

TEST_F(CdbbuildOnEmulator, TocIsReadAgainInTheMmcFormWhenTheLegacyFormIsRefusedOrIgnored) {
  for (auto policy : {emu::LegacyTocPolicy::Reject, emu::LegacyTocPolicy::Format0}) {
    auto disc = emu::test::BuildDisc(emu::test::MixedDisc());
    disc->Profile.LegacyToc = policy;
    Start(disc);
    TDiscToc toc;
    ASSERT_TRUE(CdbReadToc(Exec(), Lun0, false, toc));
    const auto log = Drive->Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].Cdb, (Bytes{0x43, 0, 0, 0, 0, 0, 1, 0x0B, 0x04, 0x80}));
    EXPECT_EQ(log[1].Cdb, (Bytes{0x43, 0, 2, 0, 0, 0, 1, 0x0B, 0x04, 0x00}));
    EXPECT_EQ(toc.TrackCount, 5);
    EXPECT_EQ(toc.SessionCount, 2);
  }
}

TEST_F(CdbbuildOnEmulator, TwoSessionTocMatchesTheDisc) {
  auto disc = emu::test::BuildDisc(emu::test::MixedDisc());
  Start(disc);
  using L = emu::test::MixedLbas;
  TDiscToc toc;
  ASSERT_TRUE(CdbReadToc(Exec(), Lun0, false, toc));
  EXPECT_EQ(Drive->Log().size(), 1u);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[0].Start), L::Mode1 + 150);
  EXPECT_TRUE(toc.Tracks[0].DataTrack);
  EXPECT_FALSE(toc.Tracks[1].DataTrack);
  EXPECT_TRUE(toc.Tracks[2].PreEmphasis);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[2].End), L::LeadOut1 + 150);
  EXPECT_EQ(PackedMsfToFrames(toc.Tracks[3].Start), L::Form1 + 150);
  EXPECT_EQ(toc.Tracks[3].SessionNo, 2);
  EXPECT_EQ(PackedMsfToFrames(toc.LeadOut), L::LeadOut2 + 150);
}

TEST_F(CdbbuildOnEmulator, BcdTocIsConvertedOnlyWhenAsked) {
  // Twelve tracks, so that track numbers 10..12 are BCD 0x10..0x12.
  emu::test::DiscSpec spec;
  spec.Sessions.emplace_back();
  for (int i = 0; i < 12; ++i) spec.Sessions[0].push_back({emu::SectorKind::Audio, 10 + i});
  auto disc = emu::test::BuildDisc(spec);
  disc->Profile.BcdToc = true;
  Start(disc);
  TDiscToc plain;
  ASSERT_TRUE(CdbReadToc(Exec(), Lun0, true, plain));
  EXPECT_EQ(plain.FirstTrack, 1);
  EXPECT_EQ(plain.LastTrack, 12);
  int64_t expected = 150;
  for (int t = 0; t < 12; ++t) {
    EXPECT_EQ(PackedMsfToFrames(plain.Tracks[t].Start), expected) << t;
    EXPECT_EQ(plain.Tracks[t].TrackNo, t + 1);
    expected += 10 + t;
  }
  EXPECT_EQ(PackedMsfToFrames(plain.LeadOut), expected);

  uint8_t raw[kRawTocSize];
  ASSERT_TRUE(CdbReadRawToc(Exec(), Lun0, 1, false, raw));
  bool sawBcdTrack = false;
  for (int i = 0; i < RawTocDescriptorCount(raw, sizeof raw); ++i) sawBcdTrack |= raw[4 + i * 11 + 3] == 0x12;
  EXPECT_TRUE(sawBcdTrack);
}

// Error-recovery page on both MODE forms: the ANSI version decides when the form is 0.
class ErrorRecoveryPage : public CdbbuildOnEmulator, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ErrorRecoveryPage, IsRebuiltFromTheDefaultsEveryTime) {
  const auto [ansi, blockDescriptor] = GetParam();
  auto disc = emu::test::BuildDisc(emu::test::Mode1Disc(10));
  disc->Profile.AnsiVersion = static_cast<uint8_t>(ansi);
  disc->Profile.BlockDescriptor = blockDescriptor;
  disc->Profile.DefaultErrorRecovery = 0x04;
  disc->Profile.DefaultRetryCount = 7;
  Start(disc);
  TKrCdRom drive(0, 0, 0);
  ASSERT_TRUE(CdbInquiry(Exec(), drive));
  const bool ten = ansi == 0;
  EXPECT_EQ(UsesTenByteMode(drive, 0), ten);
  const uint32_t header = ten ? 8 : 4;
  const uint32_t listLength = header + (blockDescriptor ? 8 : 0) + 12;

  ASSERT_TRUE(CdbSetErrorRecovery(Exec(), drive, {.Value = 0x21, .Mask = 0xFF, .ReadRetry = 3, .WriteRetry = {}}, 0));
  auto log = Drive->Log();
  ASSERT_GE(log.size(), 3u);
  const auto& sense = log[log.size() - 2];
  const auto& select = log.back();
  EXPECT_EQ(sense.Cdb[0], ten ? 0x5A : 0x1A);
  EXPECT_EQ(sense.Cdb[2], 0x81);
  EXPECT_EQ(sense.Length, header + 24);
  EXPECT_EQ(select.Cdb[0], ten ? 0x55 : 0x15);
  EXPECT_EQ(select.Cdb[1], 0x10);
  EXPECT_EQ(select.Length, listLength);
  ASSERT_EQ(select.DataOut.size(), listLength);
  EXPECT_EQ(select.DataOut[0], 0);
  const uint8_t* page = select.DataOut.data() + listLength - 12;
  EXPECT_EQ(page[0], 0x01);  // PS cleared
  EXPECT_EQ(Drive->CurrentPage01()[2], 0x21);
  EXPECT_EQ(Drive->CurrentPage01()[3], 3);

  // Only bit 0 asked for: TB of the first call is not carried over, the rest is default.
  ASSERT_TRUE(CdbSetErrorRecovery(Exec(), drive, {.Value = 0x01, .Mask = 0x01, .ReadRetry = {}, .WriteRetry = {}}, 0));
  EXPECT_EQ(Drive->CurrentPage01()[2], 0x05);
  EXPECT_EQ(Drive->CurrentPage01()[3], 7);

  uint8_t value = 0, write = 0xEE, read = 0;
  ASSERT_TRUE(CdbGetErrorRecovery(Exec(), drive, 0, &value, &write, &read));
  EXPECT_EQ(value, 0x05);
  EXPECT_EQ(read, 7);
  EXPECT_EQ(write, Drive->CurrentPage01()[8]);
  ASSERT_TRUE(CdbGetErrorRecovery(Exec(), drive, 0, nullptr, nullptr, nullptr));

  ASSERT_TRUE(CdbResetErrorRecovery(Exec(), drive, 0));
  EXPECT_EQ(Drive->CurrentPage01(), Drive->DefaultPage01());
}

INSTANTIATE_TEST_SUITE_P(Forms, ErrorRecoveryPage,
                         ::testing::Combine(::testing::Values(0, 5), ::testing::Values(true, false)));

TEST_F(CdbbuildOnEmulator, FormArgumentOverridesTheInquiry) {
  TKrCdRom atapi(0, 0, 0);  // ANSI version 0
  ASSERT_TRUE(CdbGetErrorRecovery(Exec(), atapi, 1, nullptr, nullptr, nullptr));
  EXPECT_EQ(LastCdb()[0], 0x1A);
  ASSERT_TRUE(CdbGetErrorRecovery(Exec(), atapi, 2, nullptr, nullptr, nullptr));
  EXPECT_EQ(LastCdb()[0], 0x5A);
}

TEST_F(CdbbuildOnEmulator, BlockLengthListHasOneDescriptorInEitherForm) {
  ASSERT_TRUE(CdbSetBlockLength(Exec(), Lun0, 0x82, 2352, 2));
  EXPECT_EQ(Drive->Log().back().DataOut, (Bytes{0, 0, 0, 0, 0, 0, 0, 8, 0x82, 0, 0, 0, 0, 0, 0x09, 0x30}));
  EXPECT_EQ(Drive->BlockLength(), 2352u);
  ASSERT_TRUE(CdbSetBlockLength(Exec(), Lun0, 0, 2048, 1));
  EXPECT_EQ(Drive->Log().back().DataOut, (Bytes{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x08, 0}));
  EXPECT_EQ(Drive->BlockLength(), 2048u);
}

TEST_F(CdbbuildOnEmulator, CapabilitiesPageGivesTheCurrentSpeed) {
  ASSERT_TRUE(CdbSetCdSpeed(Exec(), Lun0, 1411));
  uint8_t page[16] = {};
  ASSERT_TRUE(CdbGetCapabilitiesPage(Exec(), Lun0, 0, sizeof page, page));
  EXPECT_EQ(LastCdb(), (Bytes{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0xFF, 0}));
  EXPECT_EQ(page[0] & 0x3F, 0x2A);
  EXPECT_EQ((page[14] << 8) | page[15], Drive->CurrentSpeed());
  EXPECT_EQ(Drive->CurrentSpeed(), 1411);
}

// Answers whose own lengths point outside what was asked for.
Bytes SixByteAnswer(uint8_t mdl, uint8_t bdl, uint8_t pageCode) {
  Bytes a(28, 0);
  a[0] = mdl;
  a[3] = bdl;
  a[4 + bdl < 28 ? 4 + bdl : 4] = pageCode;
  if (4 + bdl + 1 < 28) a[4 + bdl + 1] = 0x0A;
  return a;
}

TEST(CdbbuildModePages, LyingLengthsFailWithoutAModeSelect) {
  TKrCdRom sixByte(0, 0, 0);
  const uint8_t inquiry[3] = {5, 0x80, 0x05};
  sixByte.SetInquiryData(inquiry, 3);
  struct Case {
    const char* Name;
    Bytes Answer;
  };
  Bytes hugeTen(32, 0);
  hugeTen[6] = 0xFF, hugeTen[7] = 0xF0;  // block descriptor length 65520
  const Case cases[] = {
      {"descriptor beyond the answer", SixByteAnswer(27, 250, 0x01)},
      {"page cut off", SixByteAnswer(27, 16, 0x01)},
      {"another page", SixByteAnswer(23, 8, 0x2A)},
      {"data length shorter than the page", SixByteAnswer(10, 8, 0x01)},
      {"ten-byte descriptor length", hugeTen},
  };
  for (const Case& c : cases) {
    ScriptedExecScope script;
    script.Answers.push_back({c.Answer, 1});
    const int form = c.Answer.size() == 32 ? 2 : 0;
    uint8_t value = 0xEE;
    EXPECT_FALSE(CdbGetErrorRecovery(ScriptedExecScope::Exec(), sixByte, form, &value, nullptr, nullptr)) << c.Name;
    EXPECT_EQ(value, 0xEE) << c.Name;
    const TErrorRecoveryFields fields{.Value = 1, .Mask = 0xFF, .ReadRetry = 9, .WriteRetry = 9};
    EXPECT_FALSE(CdbSetErrorRecovery(ScriptedExecScope::Exec(), sixByte, fields, form)) << c.Name;
    EXPECT_FALSE(CdbResetErrorRecovery(ScriptedExecScope::Exec(), sixByte, form)) << c.Name;
    EXPECT_TRUE(script.DataOut.empty()) << c.Name;
  }
}

TEST(CdbbuildModePages, OverstatedModeDataLengthSendsOnlyTheHeaderDescriptorAndPage) {
  TKrCdRom drive(0, 0, 0);  // ATAPI: 10-byte form
  Bytes answer(32, 0);
  answer[0] = 0xFF, answer[1] = 0xFF;  // 65535
  answer[7] = 8;
  answer[16] = 0x81, answer[17] = 0x0A, answer[18] = 0xC0, answer[19] = 5;
  ScriptedExecScope script;
  script.Answers.push_back({answer, 1});
  ASSERT_TRUE(CdbSetErrorRecovery(ScriptedExecScope::Exec(), drive, {.Value = 0x21, .Mask = 0x21, .ReadRetry = {}, .WriteRetry = {}}, 0));
  ASSERT_EQ(script.DataOut.size(), 1u);
  const Bytes& list = script.DataOut[0];
  ASSERT_EQ(list.size(), 28u);
  EXPECT_EQ(list[0], 0);
  EXPECT_EQ(list[1], 0);
  EXPECT_EQ(list[16], 0x01);
  EXPECT_EQ(list[18], 0xE1);
  EXPECT_EQ(list[19], 5);
  EXPECT_EQ(script.Cdbs.back(), (Bytes{0x55, 0x10, 0, 0, 0, 0, 0, 0, 28, 0}));

  // Both retry counts asked for: read retry in page byte 3, write retry in page byte 8.
  ASSERT_TRUE(CdbSetErrorRecovery(ScriptedExecScope::Exec(), drive, {.Value = 0, .Mask = 0, .ReadRetry = 6, .WriteRetry = 9}, 0));
  ASSERT_EQ(script.DataOut.size(), 2u);
  EXPECT_EQ(script.DataOut[1][18], 0xC0);
  EXPECT_EQ(script.DataOut[1][19], 6);
  EXPECT_EQ(script.DataOut[1][24], 9);
}

TEST(CdbbuildModePages, CapabilitiesPageOutsideTheAnswerFails) {
  TKrCdRom drive(0, 0, 0);
  Bytes answer(255, 0);
  answer[6] = 0x00, answer[7] = 246;  // page at 254: no room for its header
  answer[254] = 0x2A;
  ScriptedExecScope script;
  script.Answers.push_back({answer, 1});
  uint8_t page[16] = {};
  EXPECT_FALSE(CdbGetCapabilitiesPage(ScriptedExecScope::Exec(), drive, 0, sizeof page, page));
  // A page near the end copies only what is there.
  answer[7] = 230;  // page at 238
  answer[254] = 0;
  answer[238] = 0x2A, answer[252] = 0x01, answer[253] = 0x60;
  script.Answers = {{answer, 1}};
  uint8_t big[64];
  std::fill(std::begin(big), std::end(big), 0xEE);
  ASSERT_TRUE(CdbGetCapabilitiesPage(ScriptedExecScope::Exec(), drive, 0, sizeof big, big));
  EXPECT_EQ((big[14] << 8) | big[15], 0x160);
  EXPECT_EQ(big[16], 0);     // last byte of the answer
  EXPECT_EQ(big[17], 0xEE);  // beyond the answer: untouched
}

TEST(CdbbuildToc, ShapelessAnswersToBothFormsFail) {
  TKrCdRom drive;
  ScriptedExecScope script;
  Bytes answer(kRawTocSize, 0);
  answer[0] = 0x0B, answer[1] = 0xFF;  // more descriptors than the buffer holds
  answer[2] = 1, answer[3] = 1;
  script.Answers.push_back({answer, 1});
  uint8_t raw[kRawTocSize];
  EXPECT_FALSE(CdbReadRawToc(ScriptedExecScope::Exec(), drive, 1, true, raw));
  EXPECT_EQ(script.Cdbs.size(), 2u);
  TDiscToc toc;
  EXPECT_FALSE(CdbReadToc(ScriptedExecScope::Exec(), drive, false, toc));
}

TEST(CdbbuildToc, TocWithoutTrackRangeFails) {
  TKrCdRom drive;
  ScriptedExecScope script;
  script.Answers.push_back({RawTocWriter(1, 1).Add(1, 1, 0, 0xA2, 10, 0, 0).Add(1, 1, 0, 1, 0, 2, 0).Bytes(), 1});
  TDiscToc toc;
  EXPECT_FALSE(CdbReadToc(ScriptedExecScope::Exec(), drive, false, toc));
}

}  // namespace
