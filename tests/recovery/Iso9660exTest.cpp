#include "recovery/Iso9660ex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<uint8_t> Record(uint8_t length, uint8_t nameLength) {
  std::vector<uint8_t> r(length, 0);
  r[0] = length;
  r[32] = nameLength;
  for (size_t i = 1; i < length; ++i)
    if (i != 32) r[i] = static_cast<uint8_t>(i * 7 + 1);
  return r;
}

}  // namespace

TEST(Iso9660exTest, NewRecordIsZeroAndNoDirectory) {
  const TKrDirRecord r;
  EXPECT_TRUE(std::all_of(r.Data(), r.Data() + TKrDirRecord::kSize, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(r.IsDirectory(), 0);
  EXPECT_TRUE(r.GetFileIdentifier().empty());
}

TEST(Iso9660exTest, AssignCopiesTheRecordOwnLengthAndZeroesTheRest) {
  TKrDirRecord r;
  const std::vector<uint8_t> big = Record(200, 10);
  r.Assign(big.data(), big.size());

  std::vector<uint8_t> source = Record(34, 1);
  source.resize(100, 0xEE);  // bytes beyond the record must not be taken
  r.Assign(source.data(), source.size());
  EXPECT_TRUE(std::equal(source.begin(), source.begin() + 34, r.Data()));
  EXPECT_TRUE(std::all_of(r.Data() + 34, r.Data() + TKrDirRecord::kSize, [](uint8_t b) { return b == 0; }));

  const TKrDirRecord before = r;
  r.Assign(nullptr, 1000);
  EXPECT_EQ(r, before);
}

TEST(Iso9660exTest, AssignNeverReadsPastTheBytesTheCallerHolds) {
  // The length byte claims 255 bytes but only 40 exist: an exact-size heap block, so a
  // read beyond it is caught by the address sanitizer.
  auto block = std::make_unique<uint8_t[]>(40);
  std::fill_n(block.get(), 40, 0x11);
  block[0] = 255;
  block[32] = 200;
  TKrDirRecord r;
  r.Assign(block.get(), 40);
  EXPECT_EQ(r.Data()[39], 0x11);
  EXPECT_EQ(r.Data()[40], 0);
  // The identifier is cut to the record's own length, never past the buffer.
  EXPECT_EQ(r.GetFileIdentifier().size(), 200u);
  block[32] = 255;
  r.Assign(block.get(), 40);
  EXPECT_EQ(r.GetFileIdentifier().size(), 255u - 33u);
}

TEST(Iso9660exTest, BothByteOrderFieldsAreReadFromTheirOwnCopies) {
  std::vector<uint8_t> raw = Record(40, 7);
  // extent: LE 0x00012345, BE 0x00054321; length: LE 2048, BE 0x01020304.
  const uint8_t fields[16] = {0x45, 0x23, 0x01, 0x00, 0x00, 0x05, 0x43, 0x21,
                              0x00, 0x08, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04};
  std::copy(std::begin(fields), std::end(fields), raw.begin() + 2);
  raw[25] = 0x02;
  TKrDirRecord r;
  r.Assign(raw.data(), raw.size());
  EXPECT_EQ(r.GetExtentLsb(), 0x00012345u);
  EXPECT_EQ(r.GetExtentMsb(), 0x00054321u);
  EXPECT_EQ(r.GetExtent(true), 0x00012345u);
  EXPECT_EQ(r.GetExtent(false), 0x00054321u);
  EXPECT_EQ(r.GetDataLength(true), 2048u);
  EXPECT_EQ(r.GetDataLength(false), 0x01020304u);
  EXPECT_EQ(r.GetDataLengthLsb(), 2048u);
  EXPECT_EQ(r.GetDataLengthMsb(), 0x01020304u);
  const TIsoDate date = r.GetRecordingDate();
  EXPECT_TRUE(std::equal(date.begin(), date.end(), raw.begin() + 18));
  EXPECT_EQ(r.GetFileFlags(), 0x02);
  EXPECT_EQ(r.IsDirectory(), 1);
  raw[25] = 0xFD;  // every flag but the directory bit
  r.Assign(raw.data(), raw.size());
  EXPECT_EQ(r.IsDirectory(), 0);
  EXPECT_EQ(r.GetFileFlags(), 0xFD);
  ASSERT_EQ(r.GetFileIdentifier().size(), 7u);
  EXPECT_EQ(r.GetFileIdentifier()[0], raw[33]);
}

TEST(Iso9660exTest, CopyTakesAllBytes) {
  const std::vector<uint8_t> raw = Record(120, 50);
  TKrDirRecord a;
  a.Assign(raw.data(), raw.size());
  TKrDirRecord b;
  b = a;
  EXPECT_EQ(b, a);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), b.Data()));
}
