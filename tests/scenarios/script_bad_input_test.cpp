// Removal scripts holding bad input. Whatever a script says, every file of
// the machine ends either where it was or at its own mirrored place in the
// backup folder, byte for byte; the backup folder never moves into itself; a
// path a restart cannot fix schedules no restart; and each line gets its
// outcome in the report.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "script_machine.h"

namespace {

using qftest::MachineImage;
using qftest::toUtf16le;
using namespace scriptscen;
namespace fs = std::filesystem;

// The machine's files before the run, by Windows path (below C:\), with their
// bytes; the report and the reboot list, which the run writes, left out.
std::map<std::string, std::string> driveFiles(const MachineImage& image) {
  std::map<std::string, std::string> files;
  const fs::path drive = image.root() / "drive_c";
  for (const auto& entry : fs::recursive_directory_iterator(drive)) {
    if (!entry.is_regular_file()) continue;
    std::string windows = "C:\\" + fs::relative(entry.path(), drive).string();
    for (char& c : windows) c = c == '/' ? '\\' : c;
    if (windows == kReport || windows == kRebootList) continue;
    files[windows] = qftest::slurp(entry.path());
  }
  return files;
}

// Every file of `before` is in place, or moved to <backup>\C\<rest of its
// path>, with its bytes; and no file appeared anywhere else but the run's own.
void expectNothingLostOrMisplaced(const MachineImage& image, const std::map<std::string, std::string>& before) {
  std::map<std::string, std::string> after = driveFiles(image);
  for (const auto& [path, bytes] : before) {
    const std::string mirrored = backup("C" + path.substr(2));
    if (image.exists(path)) {
      EXPECT_EQ(image.read(path), bytes) << path;
      after.erase(path);
    } else if (image.exists(mirrored)) {
      EXPECT_EQ(image.read(mirrored), bytes) << path << " moved to " << mirrored;
      after.erase(mirrored);
    } else {
      ADD_FAILURE() << path << " is neither in place nor at " << mirrored;
    }
  }
  for (const auto& [path, bytes] : after) {
    // The run's own: the previous report, rotated, and the undo records.
    const bool ownFile = path.rfind(backup("QuorelFix["), 0) == 0 || path == backup("manifest.txt") ||
                         path == backup("undo.reg");
    EXPECT_TRUE(ownFile) << "a file appeared at " << path;
  }
}

// The machine every case runs on: two files to remove, a note on the
// desktop, and an item an earlier run put into the backup folder.
void badInputMachine(MachineImage& image) {
  prepare(image);
  image.file("C:\\a\\b.txt", "bee");
  image.file("C:\\a\\c.txt", "see");
  image.file("C:\\d\\x.txt", "ex");
  image.file(std::string(kDesktop) + "\\note.txt", "note");
  image.file(backup("C\\old\\kept.txt"), "kept");
}

struct LineCase {
  std::string line;
  std::string outcome;  // what the report says after "\" -> "
};

// The base machine is Windows XP, whose shell answers a missing source with
// 1026 (Vista and later: 2).
const std::string kMissing = "Failed [1026]";

// One 8-bit script, one line each, run in this order.
const std::vector<LineCase> kLineCases = {
    // Paths the backup folder cannot mirror: no drive letter, or its root.
    {"..", "Failed [1026]"},
    {"a\\b.txt", "Failed [1026]"},                          // relative
    {"\\\\server\\share\\x", "Failed [1026]"},              // UNC
    {"\\\\?\\C:\\a\\b.txt", "Failed [1026]"},               // Win32 file namespace
    {"\\\\.\\C:", "Failed [1026]"},                         // device namespace
    {"CON", "Failed [1026]"},                               // a device by its name alone
    {"C:a\\b.txt", "Failed [1026]"},                        // relative to the drive's current folder
    {"C:\\", "Failed [1026]"},                              // the root itself
    {"C:\\..\\..\\a\\b.txt", "Failed [1026]"},              // climbs out of C's folder
    {"C:\\a\\.. .\\..\\b.txt", "Failed [1026]"},            // dots and blanks taken as ".."
    // The program's own items: the backup folder, what it holds (the reboot
    // list, earlier removals), the folders above it, and the report.
    {std::string(kBackup), "Failed [1026]"},
    {backup("C\\old"), "Failed [1026]"},
    {std::string(kRebootList), "Failed [1026]"},
    {std::string(kDesktop), "Failed [1026]"},
    {"C:\\Documents and Settings", "Failed [1026]"},
    {std::string(kReport), "Failed [1026]"},
    // ... written otherwise: another case, other separators, "." and a
    // trailing dot or blank (which Windows drops), climbing back into it.
    {"c:\\documents and settings\\owner\\desktop\\quorelfix backups", "Failed [1026]"},
    {"C:/Documents and Settings/Owner/Desktop/QuorelFix Backups/C/old", "Failed [1026]"},
    {std::string(kDesktop) + "\\.\\QuorelFix Backups\\C\\old", "Failed [1026]"},
    {std::string(kDesktop) + "\\QuorelFix Backups.\\C\\old", "Failed [1026]"},
    {std::string(kDesktop) + "\\QuorelFix Backups \\C\\old", "Failed [1026]"},
    {std::string(kDesktop) + "\\QuorelFix.txt.", "Failed [1026]"},
    {"C:\\a\\..\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups", "Failed [1026]"},
    // Names that are not there on this machine: devices as file names, an
    // 8.3 short name (the emulated drives have none), another drive.
    {"C:\\NUL", kMissing},
    {"C:\\COM1", kMissing},
    {"C:\\PROGRA~1", kMissing},
    {"D:\\a\\b.txt", kMissing},
    // Paths that resolve to an item of the machine: moved to their mirror.
    {"C:/a/b.txt", "Success!"},
    {"C:\\a\\..\\a\\c.txt", "Success!"},
    {"C:\\d\\", "Success!"},  // the folder itself, into its own mirror (not "d (2)")
    {std::string(kBackup) + "\\..\\note.txt", "Success!"},
};

TEST(ScriptBadInput, EveryLineKeepsItsItemOrMirrorsIt) {
  MachineImage image("bad-lines");
  badInputMachine(image);
  std::string script;
  std::string expected;
  for (const LineCase& c : kLineCases) {
    script += c.line + "\n";
    expected += "\r\nDeleting \"" + c.line + "\" -> " + c.outcome;
  }
  image.file("C:\\script.txt", script);
  const auto before = driveFiles(image);

  image.run({"C:\\script.txt"});
  EXPECT_EQ(scriptSection(report(image)), expected + "\r\n");
  expectNothingLostOrMisplaced(image, before);
  EXPECT_EQ(image.read(backup("C\\old\\kept.txt")), "kept");
  // Nothing a restart could finish: the list stays empty, no restart.
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE", 2));
  EXPECT_EQ(image.journal().find("ExitWindowsEx"), std::string::npos);
}

struct ScriptBytesCase {
  const char* name;
  std::string bytes;
  std::string section;  // the script section of the report
};

std::string garbage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

// Script files that are not well-formed text in either encoding.
std::vector<ScriptBytesCase> scriptBytesCases() {
  const std::string mark("\xFF\xFE", 2);
  return {
      // A mark and nothing else: no line.
      {"lone_mark", mark, "\r\n"},
      // A last odd byte is no code unit and is dropped with the line's end.
      {"odd_length_utf16", mark + toUtf16le("C:\\a\\b.txt") + "\x41", "\r\nDeleting \"C:\\a\\b.txt\" -> Success!\r\n"},
      // A zero unit ends a line's text; the rest of the line is dropped.
      {"zero_in_utf16", mark + toUtf16le("C:\\a\\b.txt") + std::string("\0\0", 2) + toUtf16le("\\x\r\n"),
       "\r\nDeleting \"C:\\a\\b.txt\" -> Success!\r\n"},
      {"zero_in_8bit", std::string("C:\\a\\c.txt\0junk\n", 16), "\r\nDeleting \"C:\\a\\c.txt\" -> Success!\r\n"},
      // A line of a megabyte: its mirror is too long for Windows, so it
      // fails with a code no restart is asked for.
      {"megabyte_line", "C:\\" + std::string(1 << 20, 'a') + "\n",
       "\r\nDeleting \"C:\\" + std::string(1 << 20, 'a') + "\" -> Failed [206]\r\n"},
  };
}

class ScriptBytes : public ::testing::TestWithParam<ScriptBytesCase> {};

TEST_P(ScriptBytes, ReadAsFarAsItIsText) {
  MachineImage image(GetParam().name);
  badInputMachine(image);
  image.file("C:\\script.txt", GetParam().bytes);
  const auto before = driveFiles(image);
  image.run({"C:\\script.txt"});
  EXPECT_EQ(scriptSection(report(image)), GetParam().section);
  expectNothingLostOrMisplaced(image, before);
  EXPECT_EQ(image.journal().find("ExitWindowsEx"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptBytes, ::testing::ValuesIn(scriptBytesCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Random bytes, read as 8-bit text (and as UTF-16 with a mark in front): the
// run finishes its report, and every file is in place or mirrored.
TEST(ScriptBadInput, BinaryGarbage) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    MachineImage image("garbage");
    badInputMachine(image);
    std::string bytes = garbage(64 * 1024, seed);
    if (seed % 2 == 0) bytes = std::string("\xFF\xFE", 2) + bytes;
    image.file("C:\\script.txt", bytes);
    const auto before = driveFiles(image);
    const qftest::RunResult run = image.run({"C:\\script.txt"});
    EXPECT_EQ(run.exitStatus, 0);
    const std::string raw = image.read(kReport);
    EXPECT_EQ(raw.size() % 2, 0u) << "the report is whole UTF-16LE code units";
    const std::string text = report(image);
    ASSERT_GE(text.size(), std::string_view(kFooter).size());
    EXPECT_EQ(text.substr(text.size() - std::string_view(kFooter).size()), kFooter);
    expectNothingLostOrMisplaced(image, before);
  }
}

// A hundred thousand lines: each is run and reported, in order.
TEST(ScriptBadInput, HundredThousandLines) {
  MachineImage image("many-lines");
  badInputMachine(image);
  constexpr int kLines = 100000;
  std::string script;
  for (int i = 0; i < kLines; ++i) script += "C:\\missing\\" + std::to_string(i) + ".txt\n";
  script += "C:\\a\\b.txt\n";
  image.file("C:\\script.txt", script);
  image.run({"C:\\script.txt"});
  const std::string section = scriptSection(report(image));
  std::size_t failed = 0;
  const std::string missing = "-> " + kMissing;
  for (std::size_t at = section.find(missing); at != std::string::npos; at = section.find(missing, at + 1)) ++failed;
  EXPECT_EQ(failed, static_cast<std::size_t>(kLines));
  EXPECT_NE(section.find("\r\nDeleting \"C:\\missing\\99999.txt\" " + missing +
                         "\r\nDeleting \"C:\\a\\b.txt\" -> Success!\r\n"),
            std::string::npos);
}

}  // namespace
