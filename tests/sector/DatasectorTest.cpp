#include "sector/Datasector.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sector/Cdtrack.h"
#include "sector/Krbuffer.h"

extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

TEST(DatasectorTest, UserDataLayoutPerDataType) {
  struct TRow {
    uint8_t Code;
    uint32_t Size;
    uint32_t Offset;
    uint8_t Type;
  };
  const TRow rows[] = {{0, 2352, 0, 0x00},  {1, 2352, 0, 0x04},  {2, 2048, 16, 0x08}, {3, 2048, 24, 0x10},
                       {4, 2328, 24, 0x14}, {5, 2336, 16, 0x0C}, {6, 2352, 0, 0x00},  {7, 2352, 0, 0x00},
                       {255, 2352, 0, 0x00}};
  for (const TRow& r : rows) {
    uint32_t size = 1, offset = 1;
    EXPECT_EQ(GetUserDataLayout(r.Code, &size, &offset), r.Type) << int(r.Code);
    EXPECT_EQ(size, r.Size) << int(r.Code);
    EXPECT_EQ(offset, r.Offset) << int(r.Code);
    EXPECT_EQ(GetExpectedSectorType(r.Code), r.Type) << int(r.Code);
  }
  uint32_t size = 0;
  EXPECT_EQ(GetUserDataLayout(dtMode1, &size, nullptr), 0x08);
  EXPECT_EQ(size, 2048u);
  uint32_t offset = 0;
  EXPECT_EQ(GetUserDataLayout(dtMode2Form2, nullptr, &offset), 0x14);
  EXPECT_EQ(offset, 24u);
  EXPECT_EQ(GetUserDataLayout(dtAudio, nullptr, nullptr), 0x04);
}

TEST(DatasectorTest, TextsOfCodes) {
  EXPECT_STREQ(DataTypeText(dtUnknown), "UNKNOWN");
  EXPECT_STREQ(DataTypeText(dtAudio), "AUDIO");
  EXPECT_STREQ(DataTypeText(dtMode1), "MODE1");
  EXPECT_STREQ(DataTypeText(dtMode2Form1), "MODE2FORM1");
  EXPECT_STREQ(DataTypeText(dtMode2Form2), "MODE2FORM2");
  EXPECT_STREQ(DataTypeText(dtMode2Formless), "UNKNOWN");
  EXPECT_STREQ(DataTypeText(dtData), "DATA");
  EXPECT_STREQ(DataTypeText(200), "UNKNOWN");
  for (uint8_t code : {dtAudio, dtMode1, dtMode2Form1, dtMode2Form2, dtData})
    EXPECT_EQ(DataTypeFromText(DataTypeText(code)), code);
  EXPECT_EQ(DataTypeFromText("UNKNOWN"), dtUnknown);
  EXPECT_EQ(DataTypeFromText("mode1"), dtUnknown);  // case-sensitive
  EXPECT_EQ(DataTypeFromText("MODE1 "), dtUnknown);
  EXPECT_EQ(DataTypeFromText(nullptr), dtUnknown);

  EXPECT_STREQ(FileSystemText(fsUnknown), "UNKNOWN");
  EXPECT_STREQ(FileSystemText(fsCdda), "CDDA");
  EXPECT_STREQ(FileSystemText(fsCddaEmph), "CDDA(EMPH)");
  EXPECT_STREQ(FileSystemText(fsIso9660), "ISO9660");
  EXPECT_STREQ(FileSystemText(4), "UNKNOWN");
  for (uint8_t code : {fsCdda, fsCddaEmph, fsIso9660}) EXPECT_EQ(FileSystemFromText(FileSystemText(code)), code);
  EXPECT_EQ(FileSystemFromText("cdda"), fsUnknown);
  EXPECT_EQ(FileSystemFromText(""), fsUnknown);
}

TEST(DatasectorTest, HeaderAddressFromBcd) {
  uint8_t sector[kRawSectorSize] = {};
  sector[12] = 0x00;
  sector[13] = 0x02;
  sector[14] = 0x00;
  EXPECT_EQ(GetHeaderAddress(sector), 150);
  sector[12] = 0x79;
  sector[13] = 0x59;
  sector[14] = 0x74;
  EXPECT_EQ(GetHeaderAddress(sector), 359999);
  sector[12] = 0x99;
  EXPECT_EQ(GetHeaderAddress(sector), 449999);
}

TEST(DatasectorTest, TrackHoldsTailMinusHeadSectors) {
  TCdTrack track;
  track.Head = 150;
  track.Tail = 151;
  EXPECT_EQ(track.SectorCount(), 1);
  track.Tail = 150;
  EXPECT_EQ(track.SectorCount(), 0);
  TCdTrack copy = track;
  EXPECT_EQ(copy, track);
  copy.FileSystem = fsIso9660;
  EXPECT_FALSE(copy == track);
}

TEST(ParagraphBoundaryBufferTest, UsablePointerIsAlignedAndWritable) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{2352}, size_t{65536}}) {
    TKrParagraphBoundaryBuffer buffer(size);
    uint8_t* p = buffer.GetBuffer();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    EXPECT_EQ(buffer.Size(), size);
    std::memset(p, 0xA5, size);  // the sanitizer build checks the usable length
  }
}

TEST(ParagraphBoundaryBufferTest, FailedAllocationGivesNullWithoutThrowing) {
  for (size_t size : {SIZE_MAX, SIZE_MAX - 31, size_t{1} << 62}) {
    std::unique_ptr<TKrParagraphBoundaryBuffer> buffer;
    EXPECT_NO_THROW(buffer = std::make_unique<TKrParagraphBoundaryBuffer>(size));
    EXPECT_EQ(buffer->GetBuffer(), nullptr);
    EXPECT_EQ(buffer->Size(), 0u);
  }
}
