// A small Windows XP SP3 machine (or a later release) for the scenarios of the name-server repair, the
// definition sweep and the Java plug-in check: an administrator who answers
// Yes, no Firefox running, the keys the scans open, and nothing infected.
// Each scenario adds its own machine.toml entries and registry blocks, runs
// the program once and reads back the scan section of the report.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/machine_image.h"
#include "support/scenario_machine.h"

namespace sweeps {

inline constexpr std::string_view DESKTOP = qftest::kDesktop;
inline constexpr std::string_view BACKUPS = qftest::kBackups;
inline constexpr std::string_view REPORT = qftest::kReport;
inline constexpr std::string_view REBOOT_LIST = qftest::kRebootList;

inline const std::string& BASE_CONFIG = qftest::kBaseMachineToml;

inline const std::string& BASE_REGISTRY = qftest::kScenarioRegistry;

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

// Everything the three detectors wrote, compared byte for byte (UTF-16LE).
inline void expectScanSection(const qftest::MachineImage& image, std::string_view expected) {
  qftest::expectBytes(qftest::scanSection(image), expected);
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

using qftest::quarantined;

}  // namespace sweeps
