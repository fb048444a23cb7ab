// The emulated clock and FileTimeToSystemTime.
#include <gtest/gtest.h>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

win::FILETIME fileTime(std::uint64_t v) {
  return {static_cast<win::DWORD>(v), static_cast<win::DWORD>(v >> 32)};
}

struct Conversion {
  std::uint64_t ticks;
  win::SYSTEMTIME expected;  // year, month, day of week, day, hour, minute, second, ms (Windows' field order)
};

TEST(FileTimeToSystemTime, ConvertsCalendarFields) {
  const Conversion cases[] = {
      {0, {1601, 1, 1, 1, 0, 0, 0, 0}},                                   // the epoch, a Monday
      {116444736000000000ULL, {1970, 1, 4, 1, 0, 0, 0, 0}},               // the Unix epoch, a Thursday
      {129226215070000000ULL, {2010, 7, 6, 3, 9, 5, 7, 0}},               // 2010-07-03 09:05:07 UTC, a Saturday
      {125962560000000000ULL, {2000, 2, 2, 29, 0, 0, 0, 0}},              // a leap day in a century's leap year
      {129226215071234567ULL, {2010, 7, 6, 3, 9, 5, 7, 123}},             // milliseconds, 100-ns rest dropped
      {0x7FFFFFFFFFFFFFFFULL, {30828, 9, 4, 14, 2, 48, 5, 477}},          // the largest value accepted
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ticks);
    const win::FILETIME ft = fileTime(c.ticks);
    win::SYSTEMTIME st{};
    ASSERT_TRUE(win::FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, c.expected.wYear);
    EXPECT_EQ(st.wMonth, c.expected.wMonth);
    EXPECT_EQ(st.wDayOfWeek, c.expected.wDayOfWeek);
    EXPECT_EQ(st.wDay, c.expected.wDay);
    EXPECT_EQ(st.wHour, c.expected.wHour);
    EXPECT_EQ(st.wMinute, c.expected.wMinute);
    EXPECT_EQ(st.wSecond, c.expected.wSecond);
    EXPECT_EQ(st.wMilliseconds, c.expected.wMilliseconds);
  }
}

TEST(FileTimeToSystemTime, RefusesTheUpperHalfAndWritesNothing) {
  for (std::uint64_t v : {0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL}) {
    const win::FILETIME ft = fileTime(v);
    win::SYSTEMTIME st;
    std::memset(&st, 0xAB, sizeof st);
    win::SetLastError(0);
    EXPECT_FALSE(win::FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(st.wYear, 0xABAB);  // sentinel untouched
  }
}

TEST(Clock, LocalTimeAndFileTimeComeFromTheImage) {
  qftest::Machine m("clock", "[clock]\nlocal = 2010-07-03T14:05:09.250\nutc_offset_minutes = 120\n");
  win::SYSTEMTIME st{};
  win::GetLocalTime(&st);
  EXPECT_EQ(st.wYear, 2010);
  EXPECT_EQ(st.wMonth, 7);
  EXPECT_EQ(st.wDay, 3);
  EXPECT_EQ(st.wDayOfWeek, 6);
  EXPECT_EQ(st.wHour, 14);
  EXPECT_EQ(st.wMinute, 5);
  EXPECT_EQ(st.wSecond, 9);
  EXPECT_EQ(st.wMilliseconds, 250);
  // The file-time clock is UTC: two hours earlier.
  const win::FILETIME now = fileTime(emu::nowFileTime());
  win::SYSTEMTIME utc{};
  ASSERT_TRUE(win::FileTimeToSystemTime(&now, &utc));
  EXPECT_EQ(utc.wHour, 12);
  EXPECT_EQ(utc.wMinute, 5);
}

}  // namespace
