// Rotation of the previous report into the backup folder under the UTC time
// of its last write, and the old-reports section that lists what is there.
#include <gtest/gtest.h>

#include <string>

#include "support/run_machine.h"

namespace {

using namespace qftest;

const std::string kRotated = std::string(kBackups) + R"(\QuorelFix[09.05.07_03-07-2010].txt)";
const std::string kEarlier = std::string(kBackups) + R"(\QuorelFix[18.42.13_02-07-2010].txt)";

std::string reportWithOldLogs(const std::string& names) {
  return reportHeader() + std::string(kScanSections) + "\r\n\r\n---------- Old Logs ----------" + names +
         std::string(kFooter);
}

// A backup folder as earlier runs leave it: a rotated report, the reboot
// list, a quarantine folder, and a few names that are no reports.
void earlierBackups(MachineImage& image) {
  image.file(kEarlier, toUtf16le("report of 2 July"));
  image.file(std::string(kBackups) + R"(\reboot.txt)", "\xFF\xFE");
  image.file(std::string(kBackups) + R"(\quick.txt)", "lower-case q: not listed");
  image.file(std::string(kBackups) + R"(\Quorel notes.txt)", "upper-case Q: listed");
  image.folder(std::string(kBackups) + R"(\C\WINDOWS)");
  image.folder(std::string(kBackups) + R"(\Quarantined)");  // a folder: not listed
}

// First run: no backup folder yet. The report on the desktop is kept all the
// same (the folder is made for it), and there is no old-reports section, as
// there were no old reports when the run began.
TEST(RunRotationTest, FirstRunKeepsTheDesktopReport) {
  MachineImage image("first");
  build(image, {});
  image.file(kReport, toUtf16le("a report of some other tool"));
  setLastWriteUtc(image, kReport, 2010, 7, 3, 9, 5, 7);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(image.read(kReport), toUtf16le(reportHeader() + std::string(kScanSections) + std::string(kFooter)));
  EXPECT_EQ(image.read(kRotated), toUtf16le("a report of some other tool"));
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE"));
}

TEST(RunRotationTest, PreviousReportMovesUnderItsUtcWriteTime) {
  MachineImage image("rotate");
  build(image, {});
  earlierBackups(image);
  image.file(kReport, toUtf16le("report of 3 July"));
  setLastWriteUtc(image, kReport, 2010, 7, 3, 9, 5, 7);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(image.read(kRotated), toUtf16le("report of 3 July"));
  EXPECT_EQ(image.read(kEarlier), toUtf16le("report of 2 July"));
  // Names in the folder's enumeration order (NTFS: upper-cased, sorted).
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            reportWithOldLogs("\r\nQuorel notes.txt\r\nQuorelFix[09.05.07_03-07-2010].txt"
                              "\r\nQuorelFix[18.42.13_02-07-2010].txt"));
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE"));  // the old list is recreated
}

TEST(RunRotationTest, BackupFolderWithoutADesktopReport) {
  MachineImage image("no-previous");
  build(image, {});
  earlierBackups(image);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            reportWithOldLogs("\r\nQuorel notes.txt\r\nQuorelFix[18.42.13_02-07-2010].txt"));
  EXPECT_FALSE(image.exists(kRotated));
}

// A rotated report of the same name is already there: the move fails, and
// the previous report is kept as a copy under the next free name of its
// series before the new report takes its place. Both are listed.
TEST(RunRotationTest, RotatedNameAlreadyTaken) {
  MachineImage image("taken");
  build(image, {});
  image.file(kRotated, toUtf16le("rotated earlier"));
  image.file(kReport, toUtf16le("report of 3 July"));
  setLastWriteUtc(image, kReport, 2010, 7, 3, 9, 5, 7);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(image.read(kRotated), toUtf16le("rotated earlier"));
  EXPECT_EQ(image.read(std::string(kBackups) + R"(\QuorelFix[09.05.07_03-07-2010] (2).txt)"),
            toUtf16le("report of 3 July"));
  EXPECT_EQ(fromUtf16le(image.read(kReport)),
            reportWithOldLogs("\r\nQuorelFix[09.05.07_03-07-2010] (2).txt\r\nQuorelFix[09.05.07_03-07-2010].txt"));
}

}  // namespace
