// A machine image for the file-system tests of the emulated machine: a clock
// (local 2010-07-03T14:05:09, UTC+2), whatever faults and creation times a
// test adds, and the machine switched to it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "support/machine_image.h"

namespace qftest {

inline constexpr std::string_view kClockConfig =
    "[clock]\n"
    "local = 2010-07-03T14:05:09\n"
    "utc_offset_minutes = 120\n";

// The emulated clock's time as a FILETIME value: 2010-07-03 12:05:09 UTC.
inline constexpr std::uint64_t kClockFileTime = 129226323090000000ULL;

class EmulatedFiles : public ::testing::Test {
 protected:
  void SetUp() override { useConfig(""); }

  // Rewrites machine.toml with the clock and `extra`, and reloads the machine.
  void useConfig(std::string_view extra) {
    image.config(std::string(kClockConfig) + std::string(extra));
    emu::useImage(image.root());
  }

  static std::u16string w(std::string_view utf8) { return emu::toUtf16(utf8); }

  // The host file's modification time as a FILETIME value.
  std::uint64_t hostWriteTime(std::string_view windowsPath) const {
    struct stat st {};
    if (::stat(image.host(windowsPath).c_str(), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 10000000ULL + st.st_mtim.tv_nsec / 100 +
           116444736000000000ULL;
  }

  MachineImage image{"files"};
};

inline std::uint64_t fileTime(const win::FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// A record filled with a pattern, to prove that a failed call wrote nothing.
template <typename T>
T sentinel() {
  T value;
  std::memset(&value, 0xAB, sizeof value);
  return value;
}
template <typename T>
bool untouched(const T& value) {
  const T expected = sentinel<T>();
  return std::memcmp(&value, &expected, sizeof value) == 0;
}

}  // namespace qftest
