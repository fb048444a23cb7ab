// What the detector scenarios share: the registry of their machine (the base
// image's, with the keys the scans open), the sections of the report they
// read back, and where the quarantine mirrors a removed item.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/base_machine.h"
#include "support/machine_image.h"

namespace qftest {

// The base image's registry with the Run keys, a harmless delay-loaded shell
// service object and the TCP/IP parameters and interfaces the scans open.
inline const std::string kScenarioRegistry = std::string(kFreshRegistryBody) + R"(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"PostBootReminder"="{7849596a-48ea-486e-8937-a2a3009f31a9}"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters]
"Hostname"="xp-demo"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces]
)";

// The report's bytes between two markers (the end marker, when given, must
// follow the begin marker; otherwise everything to the end of the report).
inline std::string sectionBytes(const MachineImage& image, std::string_view begin, std::string_view end) {
  const std::string report = image.read(kReport);
  const std::string b = toUtf16le(begin);
  const std::size_t from = report.find(b);
  if (from == std::string::npos) return "<no section>";
  std::size_t to = report.size();
  if (!end.empty()) to = report.find(toUtf16le(end), from + b.size());
  if (to == std::string::npos) return "<no end of section>";
  return report.substr(from + b.size(), to - from - b.size());
}

// Everything the detectors wrote: from the scan banner to the inventory banner.
inline std::string scanSection(const MachineImage& image) {
  return sectionBytes(image, "\r\n========== QuorelScan ==========\r\n", "\r\n\r\n========== QuorelLog ==========\r\n");
}
// The inventory: from its banner to the footer.
inline std::string inventorySection(const MachineImage& image) {
  return sectionBytes(image, "\r\n\r\n========== QuorelLog ==========\r\n", "\r\n\r\n-=E.O.F=-");
}

// Compares report bytes (UTF-16LE) exactly, showing them as text.
inline void expectBytes(const std::string& bytes, std::string_view expected) {
  EXPECT_EQ(fromUtf16le(bytes), expected);
  EXPECT_EQ(bytes, toUtf16le(expected)) << "the section differs in its bytes";
}

// The mirrored place of a quarantined item: C:\a\b -> <backups>\C\a\b.
inline std::string quarantined(std::string_view path) {
  return std::string(kBackups) + "\\" + std::string(path.substr(0, 1)) + std::string(path.substr(2));
}

}  // namespace qftest
