// The restart path: a removal that fails because its item is locked goes to
// the reboot list; the run stores the RunOnce value, shows the restart notice
// and asks Windows to restart, leaving the report without its footer. After
// the boot, the reboot pass appends to the same report and finishes it.
#include <gtest/gtest.h>

#include <string>

#include "platform/emulated/machine/image.h"
#include "platform/win32.h"
#include "system/scanner.h"
#include "support/run_machine.h"

namespace {

using namespace qftest;

constexpr std::string_view kLocked = R"(C:\WINDOWS\system32\wbemupd.dll)";
constexpr std::string_view kScript = R"(C:\Temp\script.txt)";

std::string lockFault(std::string_view path) {
  return "[[fault.file]]\npath = '" + std::string(path) + "'\ncode = 32\nattributes = true\n";
}

// A machine whose script names one locked file, so that the run schedules it.
RunMachine lockedMachine(std::string extraToml = "") {
  RunMachine m;
  m.toml = lockFault(kLocked) + extraToml;
  return m;
}

void buildLocked(MachineImage& image, const RunMachine& m) {
  build(image, m);
  image.file(kLocked, "MZ locked");
  image.file(kScript, std::string(kLocked) + "\n");  // 8-bit, LF line ends
}

std::optional<std::u16string> runOnceValue(const MachineImage& image) {
  emu::useImage(image.root());
  return getRegSZValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                       u"QuorelFix_Reboot");
}

std::u16string u16(std::string_view utf8) {
  std::string bytes = toUtf16le(utf8);
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
}

const std::string kScheduledReport = reportHeader() + "\r\n========== Script ==========\r\n" +
                                     "\r\nDeleting \"C:\\WINDOWS\\system32\\wbemupd.dll\" -> Failed [32] -> Delete on "
                                     "reboot\r\n" +
                                     std::string(kScanSections) + "\r\n\r\n========== Reboot ==========\r\n";

TEST(RunRestartTest, LockedItemSchedulesTheRebootPassAndTheBootFinishesIt) {
  MachineImage image("restart");
  buildLocked(image, lockedMachine());
  RunResult r = image.run({std::string(kScript)});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, kConsole);

  // No footer, no Notepad: the report waits for the reboot pass.
  EXPECT_EQ(fromUtf16le(image.read(kReport)), kScheduledReport);
  EXPECT_EQ(image.read(kRebootList), "\xFF\xFE" + toUtf16le(std::string(kLocked) + "\r\n"));
  EXPECT_EQ(runOnceValue(image), u"\"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.exe\" "
                                 u"\"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt\" /reboot");
  EXPECT_EQ(image.journal(), confirmLine(6) + backupsLine() + firstRunFileLines() + system32BackupLines() +
                                 manifestLine(false) + manifestLine(false) + boxLine(kRestartText, "QuorelFix - Restart Required", 0x40, 1) +
                                 "ExitWindowsEx flags=0x12 reason=0\n");

  // The lock is gone after the restart (the registry and files stay as the
  // run left them).
  image.config(machineToml(RunMachine{}));
  std::string before = image.journal();
  RunResult booted = image.boot();
  EXPECT_EQ(booted.exitStatus, 0) << booted.err;
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            kScheduledReport + "\r\nDeleting \"C:\\WINDOWS\\system32\\wbemupd.dll\" -> Success!" + std::string(kFooter));
  EXPECT_FALSE(image.exists(kLocked));
  EXPECT_EQ(runOnceValue(image), std::nullopt);  // Windows removed it when it ran the command
  std::string after = image.journal().substr(before.size());
  EXPECT_EQ(after.rfind("boot\n", 0), 0u) << after;
  EXPECT_TRUE(after.ends_with(notepadLine())) << after;
}

// A second failure in the reboot pass is reported, never scheduled again.
TEST(RunRestartTest, RebootPassReportsASecondFailure) {
  MachineImage image("still-locked");
  buildLocked(image, lockedMachine());
  image.run({std::string(kScript)});
  RunResult booted = image.boot();
  EXPECT_EQ(booted.exitStatus, 0) << booted.err;
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            kScheduledReport + "\r\nDeleting \"C:\\WINDOWS\\system32\\wbemupd.dll\" -> Failed [32]" + std::string(kFooter));
  EXPECT_EQ(runOnceValue(image), std::nullopt);
  EXPECT_TRUE(image.exists(kLocked));
}

// The RunOnce command names the program by its own module path in UTF-16, not
// by argument 0 (here the test's host path of the binary), so a folder with
// non-ASCII characters still starts the reboot pass.
TEST(RunRestartTest, RunOnceNamesTheModuleByItsFullUnicodePath) {
  MachineImage image("unicode-module");
  RunMachine m = lockedMachine();
  m.selfPath = "C:\\Werkzeuge für Jürgen\\QuorelFix.exe";
  buildLocked(image, m);
  image.run({std::string(kScript)});
  EXPECT_EQ(runOnceValue(image),
            u16("\"C:\\Werkzeuge für Jürgen\\QuorelFix.exe\" "
                "\"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt\" /reboot"));
  RunMachine unlocked;
  unlocked.selfPath = m.selfPath;
  image.config(machineToml(unlocked));
  image.boot();
  EXPECT_TRUE(fromUtf16le(image.read(kReport)).ends_with(std::string(kFooter)));
}

// A module path longer than the first buffer the program offers (MAX_PATH + 1):
// XP fills that buffer unterminated, Vista and later cut and terminate it;
// on both the program asks again with more room and stores the whole path.
TEST(RunRestartTest, RunOnceNamesALongModulePathOnEveryRelease) {
  for (std::string_view version : kWindowsVersions) {
    SCOPED_TRACE(version);
    MachineImage image("long-module");
    RunMachine m = lockedMachine();
    m.windows = std::string(version);
    m.selfPath = "C:\\Tools\\" + std::string(280, 'x') + "\\QuorelFix.exe";
    buildLocked(image, m);
    image.run({std::string(kScript)});
    EXPECT_EQ(runOnceValue(image),
              u16("\"" + m.selfPath + "\" \"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt\" /reboot"));
  }
}

// The RunOnce key refuses to be opened for setting values: the error line,
// then the report is finished and opened as usual, with no restart.
TEST(RunRestartTest, RunOnceKeyThatCannotBeOpened) {
  MachineImage image("runonce-denied");
  buildLocked(image, lockedMachine("[[fault.registry]]\n"
                                   "key = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce'\n"
                                   "access = 0x0002\ncode = 5\n"));
  RunResult r = image.run({std::string(kScript)});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            kScheduledReport + "Unable to create/open RunOnce key [5].\r\n" + std::string(kFooter));
  EXPECT_EQ(image.journal(), confirmLine(6) + backupsLine() + firstRunFileLines() + system32BackupLines() + manifestLine(false) +
                                 manifestLine(false) + notepadLine());
}

// Without a reboot list (it cannot be opened), failures are only reported
// and nothing is scheduled: the run ends with Notepad.
TEST(RunRestartTest, NoRebootListNoFallback) {
  MachineImage image("no-list");
  buildLocked(image, lockedMachine("[[fault.file]]\npath = '" + std::string(kRebootList) +
                                   "'\ncode = 5\nattributes = true\n"));
  RunResult r = image.run({std::string(kScript)});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            reportHeader() + "\r\n========== Script ==========\r\n" +
                "\r\nDeleting \"C:\\WINDOWS\\system32\\wbemupd.dll\" -> Failed [32]\r\n" + std::string(kScanSections) +
                std::string(kFooter));
  EXPECT_EQ(image.journal(), confirmLine(6) + backupsLine() + firstRunFileLines(false) + system32BackupLines() +
                                 manifestLine(false) + manifestLine(false) + notepadLine());
  EXPECT_EQ(runOnceValue(image), std::nullopt);
}

// A reboot pass that Windows starts from a RunOnce value planted by hand: the
// value goes, the report is appended to and finished.
TEST(RunRestartTest, BootRunsAPlantedRebootPass) {
  MachineImage image("planted");
  RunMachine m;
  m.registry = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
               "\"QuorelFix_Reboot\"=\"\\\"C:\\\\Documents and Settings\\\\Owner\\\\Desktop\\\\QuorelFix.exe\\\" "
               "\\\"C:\\\\Documents and Settings\\\\Owner\\\\Desktop\\\\QuorelFix Backups\\\\reboot.txt\\\" "
               "/reboot\"\r\n\r\n";
  build(image, m);
  std::string earlier =
      toUtf16le(reportHeader() + std::string(kScanSections) + "\r\n\r\n========== Reboot ==========\r\n");
  image.file(kReport, earlier);
  image.file(kRebootList, "\xFF\xFE");
  ASSERT_TRUE(runOnceValue(image).has_value());
  RunResult booted = image.boot();
  EXPECT_EQ(booted.exitStatus, 0) << booted.err;
  EXPECT_EQ(image.read(kReport), earlier + toUtf16le(std::string(kFooter)));
  EXPECT_EQ(runOnceValue(image), std::nullopt);
  EXPECT_NE(image.journal().find(notepadLine()), std::string::npos) << image.journal();
}

}  // namespace
