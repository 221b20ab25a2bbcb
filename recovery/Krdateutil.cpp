#include "recovery/Krdateutil.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

uint64_t FileTimeToU64(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FileTimeFromU64(uint64_t v) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<uint32_t>(v);
  ft.dwHighDateTime = static_cast<uint32_t>(v >> 32);
  return ft;
}

bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& ft) {
  if (st.wYear < 1601 || st.wYear > 30827) return false;
  if (st.wMonth < 1 || st.wMonth > 12) return false;
  if (st.wDay < 1 || st.wDay > DaysInMonth(st.wYear, st.wMonth)) return false;
  if (st.wHour >= 24 || st.wMinute >= 60 || st.wSecond >= 60 || st.wMilliseconds >= 1000) return false;
  const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
  const int64_t seconds = days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond + kSecondsFrom1601To1970;
  ft = FileTimeFromU64(static_cast<uint64_t>(seconds) * kTicksPerSecond +
                       static_cast<uint64_t>(st.wMilliseconds) * 10'000);
  return true;
}

bool FileTimeAddMinutes(int32_t m, FILETIME& ft) {
  if (m == 0) return true;
  const uint64_t delta = static_cast<uint64_t>(static_cast<int64_t>(m)) * 60 * kTicksPerSecond;
  ft = FileTimeFromU64(FileTimeToU64(ft) + delta);
  return true;
}

timespec FileTimeToTimespec(const FILETIME& ft) {
  const uint64_t v = FileTimeToU64(ft);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(static_cast<int64_t>(v / kTicksPerSecond) - kSecondsFrom1601To1970);
  ts.tv_nsec = static_cast<long>(v % kTicksPerSecond) * 100;
  return ts;
}
