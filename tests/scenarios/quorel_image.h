// A Windows XP machine for the Firefox extension scenarios: an administrator
// who answers Yes, Firefox installed but not running, the keys the other
// detectors open, and nothing infected. Each scenario adds extension folders,
// machine.toml entries and registry blocks, runs the program once and reads
// back the scan or the inventory section of the report.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "support/base_machine.h"
#include "support/machine_image.h"
#include "support/scenario_machine.h"

namespace quorel_scn {

inline constexpr std::string_view DESKTOP = qftest::kDesktop;
inline constexpr std::string_view REPORT = qftest::kReport;
inline constexpr std::string_view BACKUPS = qftest::kBackups;
inline constexpr std::string_view REBOOT_LIST = qftest::kRebootList;
// The program-wide extensions folder and the profiles root.
inline constexpr std::string_view FF_EXT = R"(C:\Program Files\Mozilla Firefox\extensions\)";
inline constexpr std::string_view PROFILES = R"(C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\)";
inline constexpr std::string_view REG_KEY = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Mozilla\Firefox\Extensions)";

inline const std::string& BASE_CONFIG = qftest::kBaseMachineToml;

inline const std::string& BASE_REGISTRY = qftest::kScenarioRegistry;

// The stand-in files of an infected extension (rule 1) and of a clean one.
inline constexpr std::string_view INFECTED_OVERLAY =
    "<?xml version=\"1.0\"?>\r\n<overlay id=\"xulcache-overlay\"\r\n"
    "  xmlns=\"http://www.mozilla.org/keymaster/gatekeeper/there.is.only.xul\">\r\n"
    "  <script src=\"chrome://xulcache/content/_cfg.js\"/>\r\n</overlay>\r\n";
inline constexpr std::string_view CLEAN_OVERLAY =
    "<?xml version=\"1.0\"?>\r\n<overlay id=\"sidebar-notes-overlay\"\r\n"
    "  xmlns=\"http://www.mozilla.org/keymaster/gatekeeper/there.is.only.xul\">\r\n</overlay>\r\n";
inline constexpr std::string_view ADWARE_RDF =
    "<?xml version=\"1.0\"?>\r\n<RDF xmlns=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\r\n"
    "     xmlns:em=\"http://www.mozilla.org/2004/em-rdf#\">\r\n"
    "  <Description about=\"urn:mozilla:install-manifest\">\r\n"
    "    <em:name>LoudMo Contextual Ad Assistant</em:name>\r\n  </Description>\r\n</RDF>\r\n";

// Writes machine.toml and registry.reg (the base machine, then the scenario's
// own entries) and makes the desktop and the Firefox folder.
inline void setUp(qftest::MachineImage& image, std::string_view extraToml = {}, std::string_view extraRegistry = {}) {
  image.config(std::string(BASE_CONFIG) + "\n" + std::string(extraToml));
  image.registry(std::string(BASE_REGISTRY) + "\n" + std::string(extraRegistry));
  image.folder(DESKTOP);
  image.folder(R"(C:\WINDOWS\system32\drivers)");
  image.file(R"(C:\Program Files\Mozilla Firefox\firefox.exe)", "MZ");
}

// An extension folder flagged by the first rule, and a clean one.
inline void infected(qftest::MachineImage& image, std::string_view folder) {
  image.file(std::string(folder) + R"(\chrome\content\overlay.xul)", INFECTED_OVERLAY);
}
inline void clean(qftest::MachineImage& image, std::string_view folder) {
  image.file(std::string(folder) + R"(\chrome\content\overlay.xul)", CLEAN_OVERLAY);
}

using qftest::expectBytes;
using qftest::inventorySection;
using qftest::quarantined;
using qftest::scanSection;
using qftest::sectionBytes;

}  // namespace quorel_scn
