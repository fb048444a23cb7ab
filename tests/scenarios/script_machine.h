// The machine the removal-script and reboot scenarios run on: an
// administrator's desktop without Firefox, a clock fixed at 14:05 on
// 3 July 2010, and helpers to read the report back.
#pragma once

#include "support/base_machine.h"

#include <string>
#include <string_view>

#include "support/machine_image.h"

namespace scriptscen {

using qftest::kDesktop;
using qftest::kRebootList;
using qftest::kReport;
inline constexpr std::string_view kBackup = qftest::kBackups;

// The first lines of a new report on this machine.
inline constexpr const char* kHeader =
    "QuorelFix by quillfen (03.07.10.1)\r\n"
    "Log created at 14:05 on 03/07/2010 (Owner)\r\n"
    "Firefox version [Unable to determine]\r\n";
inline constexpr const char* kScriptBanner = "\r\n========== Script ==========\r\n";
inline constexpr const char* kScanBanner = "\r\n========== QuorelScan ==========\r\n";
inline constexpr const char* kRebootBanner = "\r\n\r\n========== Reboot ==========\r\n";
inline constexpr const char* kFooter = "\r\n\r\n-=E.O.F=-";

// machine.toml: the user answers Yes to the confirmation and OK to the
// restart notice, on XP SP3 or the release named. `extra` is appended (faults).
inline std::string machineConfig(std::string_view extra = {}, std::string_view version = "xp") {
  std::string toml = qftest::baseMachineToml(version);
  toml += extra;
  return toml;
}

inline constexpr const char* kRegistry = R"(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Desktop"="C:\\Documents and Settings\\Owner\\Desktop"
)";

// A machine with the configuration above, `extra` appended.
inline void prepare(qftest::MachineImage& image, std::string_view extra = {}, std::string_view version = "xp") {
  image.config(machineConfig(extra, version));
  image.registry(kRegistry);
  image.folder(kDesktop);
}

inline std::string report(const qftest::MachineImage& image) { return qftest::fromUtf16le(image.read(kReport)); }

// The report text between the script banner and the scan banner: the
// script's lines and the "\r\n" after them. Empty when there is no such section.
inline std::string scriptSection(const std::string& text) {
  std::size_t begin = text.find(kScriptBanner);
  std::size_t end = text.find(kScanBanner);
  if (begin == std::string::npos || end == std::string::npos || end < begin) return {};
  begin += std::string_view(kScriptBanner).size();
  return text.substr(begin, end - begin);
}

inline std::string backup(std::string_view rest) { return std::string(kBackup) + "\\" + std::string(rest); }

}  // namespace scriptscen
