// The base machine image, written in one place: an administrator's Windows
// XP SP3 desktop (user Owner, the clock fixed at 14:05:09 local, UTC+2, on
// 3 July 2010) with Firefox 3.6.6 installed. `qfmachine new` writes the fresh
// image whole (freshMachineToml, kFreshRegistry, the drive folders and files
// below); the tests' machines and the contract host build their machine.toml
// from the parts, and the large benchmark image starts from `qfmachine new`.
//
// Each part of machine.toml starts with an empty line and ends with a line
// break, so parts follow one another as written here.
#pragma once

#include <string>
#include <string_view>

namespace emu {

// machine.toml's [windows] table for a release ("xp" or "vista").
std::string windowsToml(std::string_view version);

// The user Owner's environment. The table stays open: a machine may add
// variables right after it.
inline constexpr std::string_view kOwnerEnvironmentToml = R"(
[environment]
USERNAME = "Owner"
USERPROFILE = 'C:\Documents and Settings\Owner'
SYSTEMROOT = 'C:\WINDOWS'
PROGRAMFILES = 'C:\Program Files'
APPDATA = 'C:\Documents and Settings\Owner\Application Data'
)";

// The clock, fixed at 14:05:09 local time (UTC+2) on 3 July 2010.
inline constexpr std::string_view kFixedClockToml = R"(
[clock]
local = 2010-07-03T14:05:09
utc_offset_minutes = 120
)";

// The program, run from Owner's desktop.
inline constexpr std::string_view kProgramOnDesktopToml = R"(
[self]
pid = 1500
path = 'C:\Documents and Settings\Owner\Desktop\QuorelFix.exe'
)";

// An administrator's token holding the shutdown, debug and change-notify
// privileges. The table stays open, as the environment's does.
inline constexpr std::string_view kAdministratorTokenToml = R"(
[token]
administrator = true
administrator_deny_only = false
extra_groups = 0
privileges = ["SeShutdownPrivilege", "SeDebugPrivilege", "SeChangeNotifyPrivilege"]
)";

// The System process (pid 4), which has no module path and cannot be opened.
inline constexpr std::string_view kSystemProcessToml = R"(
[[process]]
pid = 4
path = ''
openable = false
)";

// The fresh image's machine.toml: the parts above on XP, WINDIR beside the
// environment, the System process and a running Firefox, the print spooler,
// and no answers given to message boxes.
std::string freshMachineToml();

// The fresh image's registry.reg: the desktop's shell folder, the RunOnce key
// and Firefox's version.
inline constexpr std::string_view kFreshRegistry =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Desktop\"=\"C:\\\\Documents and Settings\\\\Owner\\\\Desktop\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mozilla\\Mozilla Firefox]\r\n"
    "\"CurrentVersion\"=\"3.6.6 (en-US)\"\r\n"
    "\r\n";

// The fresh image's folders and (empty) files, relative to its drive_c.
inline constexpr std::string_view kFreshFolders[] = {
    "Documents and Settings/Owner/Desktop",
    "Documents and Settings/Owner/Application Data",
    "WINDOWS/system32",
    "Program Files/Mozilla Firefox/extensions",
};
inline constexpr std::string_view kFreshFiles[] = {
    "WINDOWS/system32/notepad.exe",
    "Program Files/Mozilla Firefox/firefox.exe",
};

}  // namespace emu
