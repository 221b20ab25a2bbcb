#include "drive/Krcdrom.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TKrCdRom WithInquiry(const char* vendor8, const char* product16, const char* revision4, uint8_t version) {
  uint8_t data[36] = {};
  data[0] = 0x05;
  data[2] = version;
  std::memcpy(data + 8, vendor8, 8);
  std::memcpy(data + 16, product16, 16);
  std::memcpy(data + 32, revision4, 4);
  TKrCdRom drive(1, 2, 3);
  drive.SetInquiryData(data, sizeof data);
  return drive;
}

TEST(KrCdRom, DriveKnownOnlyByLetterHasZeroIdsAndEmptyIdentity) {
  const TKrCdRom drive(std::string("E:"));
  EXPECT_EQ(drive.HaId, 0);
  EXPECT_EQ(drive.Target, 0);
  EXPECT_EQ(drive.Lun, 0);
  EXPECT_EQ(drive.GetDriveName(), "E:");
  EXPECT_EQ(drive.GetVendor(), "");
  EXPECT_EQ(drive.GetProduct(), "");
  EXPECT_EQ(drive.GetRevision(), "");
  EXPECT_TRUE(drive.IsAtapi());
}

TEST(KrCdRom, InquiryFieldsKeepTrailingBlanksAndStopAtTheirEnd) {
  const TKrCdRom drive = WithInquiry("PLEXTOR ", "CD-R   PX-W4824A", "1.07", 2);
  EXPECT_EQ(drive.GetVendor(), "PLEXTOR ");
  EXPECT_EQ(drive.GetProduct(), "CD-R   PX-W4824A");
  EXPECT_EQ(drive.GetRevision(), "1.07");
  EXPECT_FALSE(drive.IsAtapi());

  // Eight non-NUL vendor bytes: exactly eight characters, the product does not run in.
  const TKrCdRom full = WithInquiry("ABCDEFGH", "PRODUCT\0\0\0\0\0\0\0\0\0", "\0\0\0\0", 0);
  EXPECT_EQ(full.GetVendor(), "ABCDEFGH");
  EXPECT_EQ(full.GetProduct(), "PRODUCT");
  EXPECT_EQ(full.GetRevision(), "");
}

TEST(KrCdRom, AtapiDecidedByTheThreeVersionBits) {
  EXPECT_TRUE(WithInquiry("V       ", "P               ", "R   ", 0x00).IsAtapi());
  EXPECT_TRUE(WithInquiry("V       ", "P               ", "R   ", 0xF8).IsAtapi());
  EXPECT_FALSE(WithInquiry("V       ", "P               ", "R   ", 0x04).IsAtapi());
  EXPECT_FALSE(WithInquiry("V       ", "P               ", "R   ", 0x01).IsAtapi());
}

TEST(KrCdRom, CopiesResetReservedAndCarryEverythingElse) {
  TKrCdRom source = WithInquiry("VENDOR  ", "PRODUCT         ", "REV1", 5);
  source.Name = "F:";
  source.Reserved = 7;
  source.Inquiry[255] = 0xAB;

  const TKrCdRom copy(source);
  EXPECT_EQ(copy.Reserved, 0);
  EXPECT_EQ(copy.HaId, 1);
  EXPECT_EQ(copy.Target, 2);
  EXPECT_EQ(copy.Lun, 3);
  EXPECT_EQ(copy.Name, "F:");
  EXPECT_EQ(copy.Inquiry, source.Inquiry);

  TKrCdRom assigned;
  assigned.Reserved = 9;
  EXPECT_TRUE(assigned = source);
  EXPECT_EQ(assigned.Reserved, 0);
  EXPECT_EQ(assigned.Inquiry, source.Inquiry);
  EXPECT_EQ(assigned.Name, "F:");
  EXPECT_EQ(assigned.Lun, 3);
}

TEST(KrCdRom, SetInquiryDataCopiesOnlyTheGivenLength) {
  TKrCdRom drive;
  drive.Inquiry[255] = 0x5A;
  drive.Inquiry[10] = 0x11;
  uint8_t data[256];
  for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i ^ 0xC3);
  drive.SetInquiryData(data, 255);
  EXPECT_EQ(drive.Inquiry[254], data[254]);
  EXPECT_EQ(drive.Inquiry[0], data[0]);
  EXPECT_EQ(drive.Inquiry[255], 0x5A);

  TKrCdRom shorter;
  shorter.Inquiry[4] = 0x77;
  shorter.SetInquiryData(data, 4);
  EXPECT_EQ(shorter.Inquiry[3], data[3]);
  EXPECT_EQ(shorter.Inquiry[4], 0x77);
}

// A value outside its field's range becomes the nearer end, the command of 0 (a read
// command that counts as READ CD), or stays for the reader to refuse; every stored field
// has one entry, and what is not stored keeps its value.
TEST(DriveSettingRanges, EachFieldIsHeldByTheRuleForWhatLiesOutside) {
  TDriveSetting s;
  s.Interval = 4000000000u;
  s.ExtReadAtOnce = 1;
  s.OffsetSamples = -99999;
  s.ForceType = 7;
  s.DaeCmd = 7;
  s.CdgMode = 5;
  s.SubChCmd = 2;
  s.DataReadCmd = 7;
  s.ReadSpeed = 0;
  s.RetryCount = 12;
  s.ModeForm = -1;
  const TDriveSetting held = Bounded(s);
  EXPECT_EQ(held.Interval, 1000u);
  EXPECT_EQ(held.ExtReadAtOnce, 2u);
  EXPECT_EQ(held.OffsetSamples, -10000);
  EXPECT_EQ(held.ForceType, 1);
  EXPECT_EQ(held.DaeCmd, uint32_t{daeReadCd});
  EXPECT_EQ(held.CdgMode, 0u);
  EXPECT_EQ(held.SubChCmd, uint32_t{sqReadCd});
  EXPECT_EQ(held.DataReadCmd, 7u);
  EXPECT_EQ(held.ReadSpeed, 0u);
  EXPECT_EQ(held.RetryCount, 12u);
  EXPECT_EQ(held.ModeForm, -1);
  for (const TSettingRange& range : kDriveSettingRanges) EXPECT_EQ(&RangeOf(range.Field), &range) << range.Name;
}

}  // namespace
