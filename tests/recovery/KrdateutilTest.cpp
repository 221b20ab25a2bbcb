#include "recovery/Krdateutil.h"

#include <gtest/gtest.h>

#include "recovery/Iso9660util.h"

namespace {

constexpr uint64_t kTicksPerMinute = 600'000'000;
constexpr uint64_t kUnixEpochAsFileTime = 116'444'736'000'000'000;

uint64_t DateTicks(const TIsoDate& d) {
  FILETIME ft;
  ft.dwLowDateTime = 0xDEADBEEF;
  ft.dwHighDateTime = 0xDEADBEEF;
  IsoDateToFileTime(d, ft);
  return FileTimeToU64(ft);
}

}  // namespace

TEST(KrdateutilTest, SystemTimeToFileTimeAgreesWithKnownInstants) {
  FILETIME ft;
  SYSTEMTIME st;
  st.wYear = 1970, st.wMonth = 1, st.wDay = 1;
  ASSERT_TRUE(SystemTimeToFileTime(st, ft));
  EXPECT_EQ(FileTimeToU64(ft), kUnixEpochAsFileTime);

  st.wYear = 1601;
  ASSERT_TRUE(SystemTimeToFileTime(st, ft));
  EXPECT_EQ(FileTimeToU64(ft), 0u);

  // 2001-09-09 01:46:40.5 UTC is POSIX time 1,000,000,000.5.
  st = SYSTEMTIME{};
  st.wYear = 2001, st.wMonth = 9, st.wDay = 9, st.wHour = 1, st.wMinute = 46, st.wSecond = 40, st.wMilliseconds = 500;
  ASSERT_TRUE(SystemTimeToFileTime(st, ft));
  EXPECT_EQ(FileTimeToU64(ft), kUnixEpochAsFileTime + 10'000'000'005'000'000ull);
  const timespec ts = FileTimeToTimespec(ft);
  EXPECT_EQ(ts.tv_sec, 1'000'000'000);
  EXPECT_EQ(ts.tv_nsec, 500'000'000);
}

TEST(KrdateutilTest, SystemTimeToFileTimeRefusesDatesThatDoNotExist) {
  struct Case {
    uint16_t y, mo, d, h, mi, s;
    bool ok;
  };
  const Case cases[] = {
      {2000, 2, 29, 0, 0, 0, true},    {2001, 2, 29, 0, 0, 0, false},  {1900, 2, 29, 0, 0, 0, false},
      {2004, 2, 29, 0, 0, 0, true},    {2001, 4, 31, 0, 0, 0, false},  {2001, 4, 30, 23, 59, 59, true},
      {2001, 0, 1, 0, 0, 0, false},    {2001, 13, 1, 0, 0, 0, false},  {2001, 1, 0, 0, 0, 0, false},
      {2001, 1, 1, 24, 0, 0, false},   {2001, 1, 1, 0, 60, 0, false},  {2001, 1, 1, 0, 0, 60, false},
      {1600, 12, 31, 0, 0, 0, false},  {2155, 12, 31, 23, 59, 59, true},
  };
  for (const Case& c : cases) {
    SYSTEMTIME st;
    st.wYear = c.y, st.wMonth = c.mo, st.wDay = c.d, st.wHour = c.h, st.wMinute = c.mi, st.wSecond = c.s;
    FILETIME ft = FileTimeFromU64(42);
    EXPECT_EQ(SystemTimeToFileTime(st, ft), c.ok) << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi;
    if (!c.ok) {
      EXPECT_EQ(FileTimeToU64(ft), 42u);
    }
  }
}

TEST(KrdateutilTest, ConsecutiveDaysAreOneDayApartAcrossMonthAndYearEnds) {
  // Walks every day of 1900-2155 (the years a recording date can hold).
  SYSTEMTIME st;
  st.wYear = 1900, st.wMonth = 1, st.wDay = 1;
  FILETIME previous;
  ASSERT_TRUE(SystemTimeToFileTime(st, previous));
  int days = 0;
  while (st.wYear <= 2155) {
    SYSTEMTIME next = st;
    ++next.wDay;
    FILETIME ft;
    if (!SystemTimeToFileTime(next, ft)) {
      next.wDay = 1;
      if (++next.wMonth == 13) next.wMonth = 1, ++next.wYear;
      ASSERT_TRUE(SystemTimeToFileTime(next, ft));
    }
    ASSERT_EQ(FileTimeToU64(ft) - FileTimeToU64(previous), 1440 * kTicksPerMinute) << next.wYear << "-" << next.wMonth;
    previous = ft;
    st = next;
    ++days;
  }
  EXPECT_EQ(days, 93502);  // 256 years, 62 of them leap years (2000 is one, 1900 and 2100 are not)
}

TEST(KrdateutilTest, FileTimeAddMinutesMovesBothWays) {
  FILETIME ft = FileTimeFromU64(1'000'000'000'000ull);
  EXPECT_TRUE(FileTimeAddMinutes(0, ft));
  EXPECT_EQ(FileTimeToU64(ft), 1'000'000'000'000ull);
  EXPECT_TRUE(FileTimeAddMinutes(1, ft));
  EXPECT_EQ(FileTimeToU64(ft), 1'000'000'000'000ull + kTicksPerMinute);
  EXPECT_TRUE(FileTimeAddMinutes(-2, ft));
  EXPECT_EQ(FileTimeToU64(ft), 1'000'000'000'000ull - kTicksPerMinute);
  // A carry into the high half.
  ft = FileTimeFromU64(0xFFFFFFFFull);
  EXPECT_TRUE(FileTimeAddMinutes(1, ft));
  EXPECT_EQ(ft.dwHighDateTime, 0u + (0xFFFFFFFFull + kTicksPerMinute) / 0x100000000ull);
  EXPECT_EQ(FileTimeToU64(ft), 0xFFFFFFFFull + kTicksPerMinute);
}

TEST(KrdateutilTest, RecordingDateOffsetMovesTheTimeToGreenwich) {
  const TIsoDate greenwich{101, 9, 9, 1, 46, 40, 0};
  const uint64_t base = DateTicks(greenwich);
  EXPECT_EQ(base, kUnixEpochAsFileTime + 10'000'000'000'000'000ull);
  struct Case {
    int8_t offset;
    int64_t minutes;
  };
  for (const Case c : {Case{36, -540}, Case{-20, 300}, Case{127, -1905}, Case{-128, 1920}, Case{1, -15}}) {
    TIsoDate d = greenwich;
    d[6] = static_cast<uint8_t>(c.offset);
    EXPECT_EQ(static_cast<int64_t>(DateTicks(d) - base), c.minutes * static_cast<int64_t>(kTicksPerMinute))
        << int{c.offset};
  }
  // Tokyo 10:46:40 (+9 h) is the same instant as 01:46:40 at Greenwich.
  EXPECT_EQ(DateTicks({101, 9, 9, 10, 46, 40, 36}), base);
}

TEST(KrdateutilTest, RecordingDateThatDoesNotExistGivesZero) {
  EXPECT_EQ(DateTicks({101, 0, 9, 1, 46, 40, 0}), 0u);    // month 0
  EXPECT_EQ(DateTicks({101, 4, 31, 0, 0, 0, 36}), 0u);    // 31 April, offset not applied
  EXPECT_EQ(DateTicks({101, 2, 29, 0, 0, 0, 0}), 0u);     // 2001 is no leap year
  EXPECT_EQ(DateTicks({101, 1, 1, 24, 0, 0, 0}), 0u);
  EXPECT_EQ(DateTicks({0, 0, 0, 0, 0, 0, 0}), 0u);        // an unrecorded date
  EXPECT_NE(DateTicks({100, 2, 29, 0, 0, 0, 0}), 0u);     // 2000 is
  EXPECT_NE(DateTicks({0, 1, 1, 0, 0, 0, 0}), 0u);        // 1900-01-01 exists
  EXPECT_NE(DateTicks({255, 12, 31, 23, 59, 59, 0}), 0u); // 2155
}

TEST(KrdateutilTest, RecordingDateTextIgnoresTheOffset) {
  EXPECT_EQ(IsoDateToString({101, 9, 9, 10, 46, 40, 36}), "2001/09/09 10:46:40");
  EXPECT_EQ(IsoDateToString({0, 1, 2, 3, 4, 5, 0x80}), "1900/01/02 03:04:05");
  EXPECT_EQ(IsoDateToString({255, 12, 31, 23, 59, 59, 0}), "2155/12/31 23:59:59");
  // Out-of-range fields are shown as recorded, never cut.
  EXPECT_EQ(IsoDateToString({255, 255, 255, 255, 255, 255, 255}), "2155/255/255 255:255:255");
}
