// The emulated clock ([clock] of machine.toml) and the calendar arithmetic
// the machine's file times are made with.
#pragma once

#include <cstdint>

namespace emu {

// The emulated clock as a FILETIME value (100-ns intervals since 1601, UTC).
std::uint64_t nowFileTime();
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace emu
