#include "drive/Subq.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "drive/Cdbbuild.h"
#include "emulator/EmulatedDrive.h"
#include "tests/drive/support/EmulatedExec.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using L = emu::test::MixedLbas;

// A formatted Q area, whether the drive reports plain numbers, and the sample decoded
// from it: ADR/control, track, index, relative M:S:F, zero, absolute M:S:F.
struct QArea {
  const char* Name;
  std::array<uint8_t, 16> Area;
  bool Plain;
  bool Sample;
  std::vector<int> Fields;
};

std::vector<int> Fields(const TSubQSector& q) {
  return {q.AdrControl, q.Track, q.Index,     q.RelMinute, q.RelSecond,
          q.RelFrame,   q.Zero,  q.AbsMinute, q.AbsSecond, q.AbsFrame};
}

class SubqDecode : public ::testing::TestWithParam<QArea> {};

TEST_P(SubqDecode, GivesTheSampleInNumbers) {
  const QArea& c = GetParam();
  TSubQSector q;
  q.Track = 9;
  EXPECT_EQ(DecodeSubQ(c.Area.data(), c.Plain, q), c.Sample);
  EXPECT_EQ(Fields(q), c.Fields);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, SubqDecode,
    ::testing::Values(
        QArea{"Bcd", {0x01, 0x12, 0x01, 0x00, 0x59, 0x74, 0x00, 0x45, 0x30, 0x15}, false, true,
              {0x01, 12, 1, 0, 59, 74, 0, 45, 30, 15}},
        // The lead-out track is kept in BCD and mapped from a plain 110.
        QArea{"BcdLeadOut", {0x41, 0xAA, 0x01}, false, true, {0x41, kLeadOutTrack, 1, 0, 0, 0, 0, 0, 0, 0}},
        QArea{"PlainLeadOut", {0x41, 110, 0x01, 0, 0, 0, 0, 10, 20, 30}, true, true,
              {0x41, kLeadOutTrack, 1, 0, 0, 0, 0, 10, 20, 30}},
        // Other modes keep their digits raw; only the frame is BCD.
        QArea{"Catalogue", {0x02, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x30, 0x00, 0x42}, true, true,
              {0x02, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x30, 0x00, 42}},
        // An empty area is no sample.
        QArea{"Empty", {0, 0x12, 0x01, 1, 2, 3, 0, 4, 5, 6}, false, false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

class SubqOnEmulator : public ::testing::Test {
 protected:
  void Start(const std::string& vendor, bool binaryQ) {
    auto disc = emu::test::BuildDisc(emu::test::MixedDisc());
    disc->Profile.Vendor = vendor;
    disc->Profile.BinaryQ = binaryQ;
    Scope.reset();
    Drive = std::make_unique<emu::EmulatedDrive>(disc);
    Scope = std::make_unique<drive_test::EmulatedExecScope>(*Drive);
    Cd = TKrCdRom(0, 0, 0);
    ASSERT_TRUE(CdbInquiry(Exec(), Cd));
  }
  TScsiExec Exec() const { return drive_test::EmulatedExecScope::Exec(); }
  static void ExpectAudioTrackSample(const TSubQSector& q) {
    EXPECT_EQ(q.AdrControl & 0x0F, 1);
    EXPECT_EQ(q.Track, 2);
    EXPECT_EQ(q.Index, 1);
    EXPECT_EQ(q.RelMinute, 0);
    EXPECT_EQ(q.RelSecond, 0);
    EXPECT_EQ(q.RelFrame, 10);
    EXPECT_EQ(MsfToFrames(q.AbsMinute, q.AbsSecond, q.AbsFrame), L::Audio + 10 + 150);
  }

  std::unique_ptr<emu::EmulatedDrive> Drive;
  std::unique_ptr<drive_test::EmulatedExecScope> Scope;
  TKrCdRom Cd;
};

TEST_F(SubqOnEmulator, BothReadsGiveTheSameSample) {
  Start("QUARNEL", false);
  TSubQSector byReadCd, byCdda;
  ASSERT_TRUE(CdbReadSubQ(Exec(), Cd, L::Audio + 10 + 150, byReadCd));
  EXPECT_EQ(Drive->Log().back().Cdb, (std::vector<uint8_t>{0xBE, 0, 0, 0, 0, L::Audio + 10, 0, 0, 1, 0, 2, 0}));
  ExpectAudioTrackSample(byReadCd);
  ASSERT_TRUE(CdbReadSubQCdda(Exec(), Cd, L::Audio + 10 + 150, byCdda));
  EXPECT_EQ(Drive->Log().back().Cdb, (std::vector<uint8_t>{0xD8, 0, 0, 0, 0, L::Audio + 10, 0, 0, 0, 1, 1, 0}));
  ExpectAudioTrackSample(byCdda);
}

TEST_F(SubqOnEmulator, PlextorDriveReportsPlainNumbers) {
  Start("PLEXTOR", true);
  TSubQSector q;
  ASSERT_TRUE(CdbReadSubQ(Exec(), Cd, L::Audio + 10 + 150, q));
  ExpectAudioTrackSample(q);
}

TEST_F(SubqOnEmulator, PlainNumbersAreNotTakenForBcdFromAnotherVendor) {
  // Without the vendor the same binary answer is read as BCD: absolute frame 45 (0x2D)
  // decodes as 33, so the sample is wrong. This is why the vendor matters.
  Start("OTHER", true);
  TSubQSector q;
  ASSERT_TRUE(CdbReadSubQ(Exec(), Cd, L::Audio + 10 + 150, q));
  EXPECT_EQ(q.AbsFrame, 33);
}

TEST_F(SubqOnEmulator, UnreadableFrameGivesNoSample) {
  Start("QUARNEL", false);
  TSubQSector q;
  q.Track = 5;
  EXPECT_FALSE(CdbReadSubQ(Exec(), Cd, L::LeadOut1 + 5 + 150, q));  // between sessions
  EXPECT_EQ(q.Track, 0);
  EXPECT_EQ(q.AdrControl, 0);
}

}  // namespace
