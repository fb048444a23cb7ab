// A small Windows XP SP3 machine (or a later release) for the scenarios of the name-server repair, the
// definition sweep and the Java plug-in check: an administrator who answers
// Yes, no Firefox running, the keys the scans open, and nothing infected.
// Each scenario adds its own machine.toml entries and registry blocks, runs
// the program once and reads back the scan section of the report.
#pragma once

#include "support/base_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/machine_image.h"

namespace sweeps {

inline constexpr std::string_view DESKTOP = qftest::kDesktop;
inline constexpr std::string_view BACKUPS = qftest::kBackups;
inline constexpr std::string_view REPORT = qftest::kReport;
inline constexpr std::string_view REBOOT_LIST = qftest::kRebootList;

inline const std::string& BASE_CONFIG = qftest::kBaseMachineToml;

inline constexpr std::string_view BASE_REGISTRY = R"(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Desktop"="C:\\Documents and Settings\\Owner\\Desktop"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"PostBootReminder"="{7849596a-48ea-486e-8937-a2a3009f31a9}"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters]
"Hostname"="xp-demo"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces]
)";

// Writes machine.toml and registry.reg: the base machine (XP SP3, or the
// release named) and the scenario's own entries after it, and creates the
// desktop and the system folders.
inline void setUp(qftest::MachineImage& image, std::string_view extraToml = {}, std::string_view extraRegistry = {},
                  std::string_view version = "xp") {
  image.config(qftest::baseMachineToml(version) + "\n" + std::string(extraToml));
  image.registry(std::string(BASE_REGISTRY) + "\n" + std::string(extraRegistry));
  image.folder(DESKTOP);
  image.folder(R"(C:\WINDOWS\system32\drivers)");
  image.folder(R"(C:\Program Files)");
}

// The report's bytes from the end of the scan banner to the start of the
// inventory banner: everything the three detectors wrote.
inline std::string scanSectionBytes(const qftest::MachineImage& image) {
  const std::string report = image.read(REPORT);
  const std::string begin = qftest::toUtf16le("\r\n========== QuorelScan ==========\r\n");
  const std::string end = qftest::toUtf16le("\r\n\r\n========== QuorelLog ==========\r\n");
  const std::size_t from = report.find(begin);
  if (from == std::string::npos) return "<no scan banner>";
  const std::size_t to = report.find(end, from + begin.size());
  if (to == std::string::npos) return "<no inventory banner>";
  return report.substr(from + begin.size(), to - from - begin.size());
}

// Compares the scan section byte for byte (UTF-16LE), showing it as text.
inline void expectScanSection(const qftest::MachineImage& image, std::string_view expected) {
  const std::string bytes = scanSectionBytes(image);
  EXPECT_EQ(qftest::fromUtf16le(bytes), expected);
  EXPECT_EQ(bytes, qftest::toUtf16le(expected)) << "the section differs in its bytes";
}

// Lines of the journal that begin with `prefix`.
inline int journalCount(const qftest::MachineImage& image, std::string_view prefix) {
  const std::string journal = image.journal();
  int count = 0;
  std::size_t at = 0;
  while (at < journal.size()) {
    std::size_t eol = journal.find('\n', at);
    if (eol == std::string::npos) eol = journal.size();
    if (std::string_view(journal).substr(at, eol - at).substr(0, prefix.size()) == prefix) ++count;
    at = eol + 1;
  }
  return count;
}

inline constexpr std::string_view FLUSH = R"(system command="ipconfig /flushdns")";

// The mirrored place of a quarantined item: C:\a\b -> <backups>\C\a\b.
inline std::string quarantined(std::string_view path) {
  return std::string(BACKUPS) + "\\" + std::string(path.substr(0, 1)) + std::string(path.substr(2));
}

}  // namespace sweeps
