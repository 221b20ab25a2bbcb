#pragma once
// Windows-style file times: a 64-bit count of 100-ns units since 1601-01-01 00:00 UTC,
// kept in two 32-bit halves as disc dates and output files exchange them.
#include <cstdint>
#include <ctime>

struct FILETIME {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;
};

struct SYSTEMTIME {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;
  uint16_t wDayOfWeek = 0;
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;
};

uint64_t FileTimeToU64(const FILETIME& ft);
FILETIME FileTimeFromU64(uint64_t v);

// False (and ft untouched) for a date that does not exist: month outside 1-12, a day past
// the month's end, hour >= 24, minute or second >= 60, milliseconds >= 1000, year outside
// 1601-30827. The day of the week is ignored.
bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& ft);

// Adds m minutes (negative m subtracts); m = 0 leaves ft as it is.
bool FileTimeAddMinutes(int32_t m, FILETIME& ft);

// The same instant as a POSIX time, for setting file times.
timespec FileTimeToTimespec(const FILETIME& ft);
