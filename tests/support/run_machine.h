// A plain Windows XP machine for the run-control tests: the base image (user
// Owner with a desktop, the clock at 14:05:09 local time on 3 July 2010,
// UTC+2, its System process, its registry and Notepad in system32) with
// knobs for what the tests vary (the token, running processes, message-box
// answers, further TOML, registry and files).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "support/base_machine.h"
#include "support/machine_image.h"

namespace qftest {

struct RunMachine {
  std::string token = "administrator = true\n";  // lines of [token]
  std::string answers = R"("IDYES")";            // the message-box answers, in order
  std::string processes;                         // [[process]] blocks
  std::string toml;                              // further TOML appended
  std::string desktopValue = std::string(kFreshDesktopValue);  // escaped as a .reg string; empty: no value
  bool firefoxVersion = true;  // false: Firefox's version value is gone
  std::string registry;  // further .reg text
  std::string selfPath = std::string(kProgram);  // the program's own module
  std::string windows = "xp";                    // [windows] version
};

inline std::string machineToml(const RunMachine& m) {
  std::string t = windowsToml(m.windows) + std::string(kBaseEnvironmentAndClockToml);
  t += R"(
[self]
pid = 1500
path = ')";
  t += m.selfPath + "'\n\n[token]\n";
  t += m.token;
  t += "\n[message_boxes]\nanswers = [" + m.answers + "]\n";
  t += emu::kSystemProcessToml;
  t += R"(
[[process]]
pid = 1500
path = ')";
  t += m.selfPath + "'\nopenable = true\n";
  t += m.processes;
  t += "\n";
  t += m.toml;
  return t;
}

// The base image's registry, with the desktop's value and Firefox's version
// changed or removed as `m` says, then `m.registry`.
inline std::string machineRegistry(const RunMachine& m) {
  std::string r(kFreshRegistryBody);
  if (m.desktopValue != kFreshDesktopValue) {
    r += "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n";
    r += m.desktopValue.empty() ? std::string("\"Desktop\"=-") : "\"Desktop\"=\"" + m.desktopValue + "\"";
    r += "\r\n\r\n";
  }
  if (!m.firefoxVersion) r += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mozilla\\Mozilla Firefox]\r\n\"CurrentVersion\"=-\r\n\r\n";
  r += m.registry;
  return r;
}

// Writes the whole machine into `image`.
inline void build(MachineImage& image, const RunMachine& m) {
  image.config(machineToml(m));
  image.registry(machineRegistry(m));
  image.folder(kDesktop);
  image.file(R"(C:\WINDOWS\system32\notepad.exe)", "MZ notepad");
}

// A running Firefox, as the machine lists it.
inline std::string firefoxProcess(int pid, std::string_view path = R"(C:\Program Files\Mozilla Firefox\firefox.exe)") {
  return "\n[[process]]\npid = " + std::to_string(pid) + "\npath = '" + std::string(path) +
         "'\nopenable = true\nends_when_terminated = true\n";
}

// Sets a host file's last-write time to a UTC calendar time.
inline void setLastWriteUtc(const MachineImage& image, std::string_view windowsPath, int year, int month, int day,
                            int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  timespec times[2];
  times[0].tv_sec = timegm(&tm);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  utimensat(AT_FDCWD, image.host(windowsPath).c_str(), times, 0);
}

// The header of a report created on this machine.
inline std::string reportHeader(std::string_view firefox = "3.6.6 (en-US)") {
  return "QuorelFix by quillfen (03.07.10.1)\r\nLog created at 14:05 on 03/07/2010 (Owner)\r\nFirefox version " +
         std::string(firefox) + "\r\n";
}

// The sections a scan writes on a clean machine without extensions: no scan
// line, and an inventory of empty locations.
inline constexpr std::string_view kScanSections =
    "\r\n========== QuorelScan ==========\r\n\r\n\r\n========== QuorelLog ==========\r\n"
    "\r\nC:\\Program Files\\Mozilla Firefox\\extensions\\\r\n(none)"
    "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions]\r\n(Key not found)";
inline constexpr std::string_view kFooter = "\r\n\r\n-=E.O.F=-";
inline constexpr std::string_view kConsole =
    "\n\nScanning for 'Quorel'... Done!\n\nScanning for Wareout...Done!\n\nScanning for general Malware... "
    "Done!\n\nCreating logfile... Done!";

// ---------------------------------------------------------------- journal lines
// The journal quotes as the machine writes it.
inline std::string journalQuoted(std::string_view s) { return emu::quoted(s); }

inline std::string boxLine(std::string_view text, std::string_view caption, unsigned style, int answer) {
  char tail[64];
  std::snprintf(tail, sizeof tail, " style=0x%x answer=%d\n", style, answer);
  return "MessageBoxW text=" + journalQuoted(text) + " caption=" + journalQuoted(caption) + tail;
}

inline constexpr std::string_view kConfirmText =
    "QuorelFix will automatically check for and remove infection. Click Yes to continue or No to exit.";
inline constexpr std::string_view kFirefoxText =
    "Firefox appears to be running. Save what you are doing and close Firefox, and then click Retry, or click "
    "Continue to forcefully terminate Firefox.";
inline constexpr std::string_view kRestartText =
    "QuorelFix needs to restart your system. If your computer does not restart automatically, please manually "
    "restart it by clicking 'Start' and selecting 'Restart' in the Shutdown menu.";

inline std::string confirmLine(int answer) { return boxLine(kConfirmText, "QuorelFix", 0x34, answer); }
inline std::string firefoxLine(int answer) { return boxLine(kFirefoxText, "Warning", 0x36, answer); }
inline std::string errorLine(std::string_view text) { return boxLine(text, "QuorelFix - Error", 0x10, 1); }
// A folder made on a drive, as the call that made it journals it.
inline std::string folderLine(std::string_view call, std::string_view folder) {
  return std::string(call) + " folder=" + journalQuoted(folder) + "\n";
}
// The backup folder a first run makes.
inline std::string backupsLine() { return folderLine("CreateDirectoryW", kBackups); }
// The folders the backup of a file in C:\WINDOWS\system32 makes in it.
inline std::string system32BackupLines() {
  const std::string c = std::string(kBackups) + "\\C";
  return folderLine("SHCreateDirectoryExW", c) + folderLine("SHCreateDirectoryExW", c + "\\WINDOWS") +
         folderLine("SHCreateDirectoryExW", c + "\\WINDOWS\\system32");
}
// A file the runtime opened to write, as _wfopen journals it.
inline std::string openLine(std::string_view file, std::string_view mode, bool created) {
  return "_wfopen file=" + journalQuoted(file) + " mode=" + journalQuoted(mode) + (created ? " created=1" : "") + "\n";
}
inline std::string undoLine() { return openLine(std::string(kBackups) + "\\undo.reg", "ab", true); }
inline std::string manifestLine(bool created) { return openLine(std::string(kBackups) + "\\manifest.txt", "ab", created); }
// What a first run writes before its sweeps: the report, the undo and
// backup records, and (when `rebootList`) the empty reboot list.
inline std::string firstRunFileLines(bool rebootList = true) {
  return openLine(kReport, "wb", true) + undoLine() + manifestLine(true) +
         (rebootList ? openLine(kRebootList, "wb", true) : std::string());
}
inline std::string notepadLine(std::string_view report = kReport) {
  return "CreateProcessW application=" + journalQuoted(R"(C:\WINDOWS\system32\notepad.exe)") +
         " command=" + journalQuoted(std::string(R"(C:\WINDOWS\system32\notepad.exe ")") + std::string(report) + "\"") +
         "\n";
}

}  // namespace qftest
