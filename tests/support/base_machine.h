// The machine most scenarios start from: user Owner on Windows XP SP3 (or, for
// the scenarios that run on both, a later release), the clock
// fixed at 14:05:09 local (UTC+2) on 3 July 2010, an administrator's token,
// and the answers Yes to the confirmation and OK to the restart notice. Its
// parts are the base image's (platform/emulated/machine/base_image.h).
#pragma once

#include <string>
#include <string_view>

#include "platform/emulated/machine/base_image.h"

namespace qftest {

// Where the base machine's user keeps the program, its report and backups.
inline constexpr std::string_view kDesktop = R"(C:\Documents and Settings\Owner\Desktop)";
inline constexpr std::string_view kReport = R"(C:\Documents and Settings\Owner\Desktop\QuorelFix.txt)";
inline constexpr std::string_view kBackups = R"(C:\Documents and Settings\Owner\Desktop\QuorelFix Backups)";
inline constexpr std::string_view kRebootList =
    R"(C:\Documents and Settings\Owner\Desktop\QuorelFix Backups\reboot.txt)";
inline constexpr std::string_view kProgram = R"(C:\Documents and Settings\Owner\Desktop\QuorelFix.exe)";

// The user's environment and the fixed clock, shared by every machine the
// tests build (some add their own token, processes and answers after it).
inline const std::string kBaseEnvironmentAndClockToml =
    std::string(emu::kOwnerEnvironmentToml) + std::string(emu::kFixedClockToml);

// The Windows releases a machine image answers as ([windows] version): the
// main flows run on both.
inline constexpr std::string_view kWindowsVersions[] = {"xp", "vista"};

// machine.toml's [windows] table for "xp" or "vista".
using emu::windowsToml;

// The base machine on a release: the program on Owner's desktop, an
// administrator's token, and the answers Yes and OK.
inline std::string baseMachineToml(std::string_view version) {
  return windowsToml(version) + kBaseEnvironmentAndClockToml + std::string(emu::kProgramOnDesktopToml) +
         std::string(emu::kAdministratorTokenToml) + R"(
[message_boxes]
answers = ["IDYES", "IDOK"]
)";
}

inline const std::string kBaseMachineToml = baseMachineToml("xp");

// The base image's registry.reg without its header line, which
// MachineImage::registry writes itself.
inline constexpr std::string_view kFreshRegistryBody =
    emu::kFreshRegistry.substr(std::string_view("Windows Registry Editor Version 5.00\r\n\r\n").size());
// The base image's value of the desktop's shell folder, as a .reg string.
inline constexpr std::string_view kFreshDesktopValue = R"(C:\\Documents and Settings\\Owner\\Desktop)";

}  // namespace qftest
