// MODE SENSE / MODE SELECT in both forms, the pages, block length and SET CD SPEED.
#include <gtest/gtest.h>

#include "emulator/EmulatedDrive.h"
#include "tests/emulator/support/TestDiscs.h"

namespace emu::test {
namespace {

void ExpectIllegal(const ScsiResult& r, uint8_t asc) {
  EXPECT_EQ(r.Status, kStatusCheckCondition);
  EXPECT_EQ(r.SenseKey(), 0x05);
  EXPECT_EQ(r.Asc(), asc);
}

class ModeTest : public ::testing::Test {
 protected:
  std::shared_ptr<Disc> disc = BuildDisc(Mode1Disc(300));
  std::unique_ptr<EmulatedDrive> drive;
  EmulatedDrive& Drive() {
    if (!drive) drive = std::make_unique<EmulatedDrive>(disc);
    return *drive;
  }
  Reply Sense10(uint8_t page, uint16_t alloc) {
    return DataIn(Drive(), {0x5A, 0, page, 0, 0, 0, 0, static_cast<uint8_t>(alloc >> 8), static_cast<uint8_t>(alloc), 0},
                  alloc);
  }
  Reply Sense6(uint8_t page, uint8_t alloc) { return DataIn(Drive(), {0x1A, 0, page, 0, alloc, 0}, alloc); }
};

TEST_F(ModeTest, TenByteHeaderBlockDescriptorAndPage01) {
  disc->Profile.DefaultRetryCount = 5;
  Reply r = Sense10(0x01, 32);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 4u);  // 8 + 8 + 12 = 28 bytes
  const std::vector<uint8_t> expected = {0x00, 0x1A, 0, 0, 0, 0, 0x00, 0x08,                 // header
                                         0x00, 0x00, 0x01, 0x2C, 0, 0x00, 0x08, 0x00,        // descriptor
                                         0x81, 0x0A, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0};     // page 01
  EXPECT_EQ(Slice(r.Data, 0, 28), expected);
}

TEST_F(ModeTest, SixByteHeaderAndNoBlockDescriptorProfile) {
  Reply r = Sense6(0x01, 28);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 4u);
  EXPECT_EQ(r.Data[0], 23);
  EXPECT_EQ(r.Data[3], 8);
  EXPECT_EQ(r.Data[12], 0x81);
  EXPECT_EQ(r.Data[13], 0x0A);

  disc->Profile.BlockDescriptor = false;
  EmulatedDrive noBd(disc);
  Reply n = DataIn(noBd, {0x1A, 0, 0x01, 0, 28, 0}, 28);
  EXPECT_EQ(n.Data[0], 15);
  EXPECT_EQ(n.Data[3], 0);
  EXPECT_EQ(n.Data[4], 0x81);
  // DBD in the CDB also leaves it out.
  Reply dbd = DataIn(Drive(), {0x5A, 0x08, 0x01, 0, 0, 0, 0, 0, 32, 0}, 32);
  EXPECT_EQ(dbd.Data[7], 0);
  EXPECT_EQ(dbd.Data[8], 0x81);
}

TEST_F(ModeTest, TruncatedAnswerStillReportsTheFullLength) {
  Reply r = Sense10(0x2A, 10);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 0u);
  EXPECT_EQ(r.Data[1], 8 + 8 + 22 - 2);
  ExpectIllegal(Sense10(0x05, 255).Result, 0x24);
  ExpectIllegal(Sense6(0x3F, 255).Result, 0x24);
}

TEST_F(ModeTest, HostEchoOfDefaultsChangesCurrentOnly) {
  ASSERT_TRUE(SetErrorRecovery(Drive(), 0x21, 9).Good());
  EXPECT_EQ(Drive().CurrentPage01()[2], 0x21);
  EXPECT_EQ(Drive().CurrentPage01()[3], 9);
  EXPECT_EQ(Drive().DefaultPage01()[2], 0x00);
  EXPECT_EQ(Sense10(0x01, 32).Data[18], 0x21);
  EXPECT_EQ(Sense10(0x81, 32).Data[18], 0x00);
  EXPECT_EQ(Sense10(0xC1, 32).Data[18], 0x00);  // saved: nothing was saved
  Reply changeable = Sense10(0x41, 32);
  EXPECT_EQ(changeable.Data[18], 0x7F);
  EXPECT_EQ(changeable.Data[19], 0xFF);
  EXPECT_EQ(changeable.Data[24], 0x00);

  // A second setting starts from the defaults again: no accumulation.
  ASSERT_TRUE(SetErrorRecovery(Drive(), 0x01).Good());
  EXPECT_EQ(Drive().CurrentPage01()[2], 0x01);
  EXPECT_EQ(Drive().CurrentPage01()[3], 5);
}

TEST_F(ModeTest, SixByteSelectOfThePage) {
  Reply sense = Sense6(0x81, 28);
  std::vector<uint8_t> list = Slice(sense.Data, 0, sense.Data[0] + 1u);
  list[0] = 0;
  list[12] &= 0x7F;
  list[14] = 0x20;
  Reply sel = DataOut(Drive(), {0x15, 0x10, 0, 0, static_cast<uint8_t>(list.size()), 0}, list);
  ASSERT_TRUE(sel.Result.Good());
  EXPECT_EQ(sel.Result.Residual, 0u);
  EXPECT_EQ(Drive().CurrentPage01()[2], 0x20);
}

TEST_F(ModeTest, SelectRejectsBadParameterListsAndChangesNothing) {
  Reply sense = Sense10(0x81, 32);
  const std::vector<uint8_t> good = [&] {
    std::vector<uint8_t> l = Slice(sense.Data, 0, 28);
    l[1] = 0;
    l[16] &= 0x7F;
    return l;
  }();
  auto select = [&](std::vector<uint8_t> list, uint8_t length) {
    return DataOut(Drive(), {0x55, 0x10, 0, 0, 0, 0, 0, 0, length, 0}, std::move(list)).Result;
  };
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> l = good;
    l[at] = value;
    return l;
  };
  ExpectIllegal(select(good, 30), 0x1A);          // longer than what was sent
  ExpectIllegal(select(good, 6), 0x1A);           // shorter than the header
  ExpectIllegal(select(good, 20), 0x1A);          // page cut off
  ExpectIllegal(select(with(1, 26), 28), 0x26);   // mode data length must be 0
  ExpectIllegal(select(with(7, 4), 28), 0x26);    // descriptor length 4
  ExpectIllegal(select(with(16, 0x81), 28), 0x26);  // PS set
  ExpectIllegal(select(with(16, 0x2A), 28), 0x26);  // not a page that can be selected
  ExpectIllegal(select(with(17, 0x08), 28), 0x26);  // wrong page length
  ExpectIllegal(select(with(18, 0x80), 28), 0x26);  // AWRE cannot be changed
  ExpectIllegal(select(with(24, 3), 28), 0x26);     // write retry count cannot be changed
  ExpectIllegal(select(with(21, 5), 28), 0x26);     // nor a reserved byte
  EXPECT_EQ(Drive().CurrentPage01(), Drive().DefaultPage01());
  EXPECT_EQ(Drive().BlockLength(), 2048u);
  EXPECT_TRUE(select(good, 28).Good());
  EXPECT_TRUE(select({}, 0).Good());
}

TEST_F(ModeTest, BlockLengthByBlockDescriptorInBothForms) {
  ASSERT_TRUE(SetBlockLength(Drive(), 2352).Good());
  EXPECT_EQ(Drive().BlockLength(), 2352u);
  Reply r = Sense10(0x01, 32);
  EXPECT_EQ(r.Data[8], 0x82);
  EXPECT_EQ(Slice(r.Data, 13, 16), (std::vector<uint8_t>{0x00, 0x09, 0x30}));
  EXPECT_EQ(Sense10(0x81, 32).Data[14], 0x08);  // default block length 2048

  std::vector<uint8_t> six(12, 0);
  six[3] = 8;
  six[4] = 0x82;
  six[10] = 0x08;  // 2048
  ASSERT_TRUE(DataOut(Drive(), {0x15, 0x10, 0, 0, 12, 0}, six).Result.Good());
  EXPECT_EQ(Drive().BlockLength(), 2048u);
  six[10] = 0x02;  // 512
  ExpectIllegal(DataOut(Drive(), {0x15, 0x10, 0, 0, 12, 0}, six).Result, 0x26);
  EXPECT_EQ(Drive().BlockLength(), 2048u);
}

TEST_F(ModeTest, SetCdSpeedPicksTheLargestSupportedAtOrBelowTheRequest) {
  auto set = [&](uint16_t kbs) {
    return NoData(Drive(), {0xBB, 0, static_cast<uint8_t>(kbs >> 8), static_cast<uint8_t>(kbs), 0xFF, 0xFF, 0, 0, 0,
                            0, 0, 0});
  };
  EXPECT_EQ(Drive().CurrentSpeed(), 7056);
  struct Case {
    uint16_t request, speed;
  };
  for (const Case c : {Case{1000, 706}, Case{353, 353}, Case{352, 176}, Case{100, 176}, Case{12700, 7056},
                       Case{2823, 2822}, Case{0xFFFF, 7056}}) {
    ASSERT_TRUE(set(c.request).Good());
    EXPECT_EQ(Drive().CurrentSpeed(), c.speed) << c.request;
  }
  ASSERT_TRUE(set(1411).Good());
  Reply page = Sense10(0x2A, 255);
  const size_t at = 16;
  EXPECT_EQ(page.Data[at], 0x2A);
  EXPECT_EQ(page.Data[at + 14] << 8 | page.Data[at + 15], 1411);
  EXPECT_EQ(page.Data[at + 8] << 8 | page.Data[at + 9], 7056);
  Reply defaults = Sense10(0xAA, 255);
  EXPECT_EQ(defaults.Data[at + 14] << 8 | defaults.Data[at + 15], 7056);

  disc->Profile.SetSpeedSupported = false;
  EmulatedDrive fixed(disc);
  ExpectIllegal(NoData(fixed, {0xBB, 0, 0x02, 0xC2, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}), 0x20);
  EXPECT_EQ(fixed.CurrentSpeed(), 7056);
}

}  // namespace
}  // namespace emu::test
