// The emulated clock and calendar conversions.
//
// The image fixes the clock ([clock] local and utc_offset_minutes), so that a
// run's report and file times are reproducible; the clock does not advance
// during a run. Without [clock] local the host's current time is taken.
#include "platform/emulated/machine/clock.h"

#include <chrono>
#include <cstdint>

#include "platform/emulated/machine/image.h"
#include "platform/win32.h"

namespace emu {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;      // FILETIME counts 100 ns
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

struct Civil {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

Civil civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

// FILETIME ticks (UTC) -> calendar fields. The caller guarantees ticks < 2^63.
win::SYSTEMTIME toSystemTime(std::uint64_t ticks) {
  const std::uint64_t secondsTotal = ticks / kTicksPerSecond;
  const auto days = static_cast<std::int64_t>(secondsTotal / 86400);
  const std::uint64_t secs = secondsTotal % 86400;
  const Civil c = civilFromDays(days - kDaysFrom1601To1970);
  win::SYSTEMTIME t{};
  t.wYear = static_cast<win::WORD>(c.year);
  t.wMonth = static_cast<win::WORD>(c.month);
  t.wDay = static_cast<win::WORD>(c.day);
  t.wDayOfWeek = static_cast<win::WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  t.wHour = static_cast<win::WORD>(secs / 3600);
  t.wMinute = static_cast<win::WORD>(secs / 60 % 60);
  t.wSecond = static_cast<win::WORD>(secs % 60);
  t.wMilliseconds = static_cast<win::WORD>(ticks % kTicksPerSecond / 10'000);
  return t;
}

std::int64_t utcOffsetTicks() {
  return config()["clock"]["utc_offset_minutes"].value_or<std::int64_t>(0) * 60 *
         static_cast<std::int64_t>(kTicksPerSecond);
}

// Local time as FILETIME ticks.
std::uint64_t localTicks() {
  if (const auto local = config()["clock"]["local"].value<toml::date_time>()) {
    const std::int64_t days = daysFromCivil(local->date.year, local->date.month, local->date.day) + kDaysFrom1601To1970;
    const std::int64_t secs = days * 86400 + local->time.hour * 3600 + local->time.minute * 60 + local->time.second;
    return static_cast<std::uint64_t>(secs) * kTicksPerSecond + local->time.nanosecond / 100;
  }
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
  return static_cast<std::uint64_t>(ticks + kDaysFrom1601To1970 * 86400 * static_cast<std::int64_t>(kTicksPerSecond) +
                                    utcOffsetTicks());
}

}  // namespace

std::uint64_t nowFileTime() { return localTicks() - static_cast<std::uint64_t>(utcOffsetTicks()); }

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace emu

namespace win {

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime) {
  const std::uint64_t ticks = (std::uint64_t{lpFileTime->dwHighDateTime} << 32) | lpFileTime->dwLowDateTime;
  // Windows takes FILETIME as a signed 64-bit count: the upper half of the
  // range is refused.
  if (ticks >= 0x8000000000000000ULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpSystemTime = emu::toSystemTime(ticks);
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* lpSystemTime) { *lpSystemTime = emu::toSystemTime(emu::localTicks()); }

}  // namespace win
