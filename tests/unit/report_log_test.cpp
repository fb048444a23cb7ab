// The report log: the desktop folder, the report's path, its header, the
// writes and the footer, compared byte for byte.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "control/report_log.h"
#include "platform/emulated/machine/image.h"
#include "support/run_machine.h"
#include "system/places.h"
#include "system/report_sink.h"

namespace {

using qftest::fromUtf16le;
using qftest::MachineImage;
using qftest::RunMachine;
using qftest::toUtf16le;

class ReportLogTest : public ::testing::Test {
 protected:
  void use(const RunMachine& m) {
    qftest::build(image_, m);
    emu::useImage(image_.root());
  }
  void TearDown() override {
    reportLog().close();
  }
  std::string report() const { return image_.read(qftest::kReport); }
  MachineImage image_{"log"};
};

TEST_F(ReportLogTest, DesktopFolderIsExpandedAndRefusedWhenLongerThanMaxPath) {
  use({});
  EXPECT_EQ(getDesktopFolder(), u"C:\\Documents and Settings\\Owner\\Desktop");
  EXPECT_EQ(makeLogPath(), u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.txt");

  // 260 characters fit the report path; one more is refused, never cut.
  auto withDesktop = [&](std::size_t length) {
    RunMachine m;
    m.desktopValue = "C:\\\\" + std::string(length - 3, 'd');
    use(m);
  };
  withDesktop(260 - 14);
  EXPECT_EQ(makeLogPath()->size(), 260u);
  withDesktop(260 - 13);
  EXPECT_TRUE(getDesktopFolder().has_value());
  EXPECT_EQ(makeLogPath(), std::nullopt);
  withDesktop(260);
  EXPECT_EQ(getDesktopFolder()->size(), 260u);
  withDesktop(261);
  EXPECT_EQ(getDesktopFolder(), std::nullopt);

  RunMachine none;
  none.desktopValue.clear();
  use(none);
  EXPECT_EQ(getDesktopFolder(), std::nullopt);
  EXPECT_EQ(makeLogPath(), std::nullopt);
  EXPECT_EQ(createLog(1), 0);
  EXPECT_FALSE(reportLog().isOpen());
}

TEST_F(ReportLogTest, NewReportStartsWithItsHeaderAndNoByteOrderMark) {
  use({});
  image_.file(qftest::kReport, "old contents that are truncated");
  ASSERT_EQ(createLog(1), 1);
  // Every write is flushed: the file holds the header before anything closes it.
  EXPECT_EQ(report(), toUtf16le(qftest::reportHeader()));
  logit(u"\r\nline \u00e9\u4e2d");
  logiti(u"\r\nFailed [%d]", INT_MIN);
  logiti(u" [%d]", 0);
  EXPECT_EQ(fromUtf16le(report()),
            qftest::reportHeader() + "\r\nline \u00e9\u4e2d\r\nFailed [-2147483648] [0]");
}

TEST_F(ReportLogTest, HeaderWithoutFirefoxOrUserName) {
  RunMachine m;
  m.firefoxVersion = false;
  use(m);
  // No USERNAME in the environment: the text stays as written.
  std::string toml = qftest::machineToml(m);
  toml.erase(toml.find("USERNAME = \"Owner\"\n"), 19);
  image_.config(toml);
  emu::useImage(image_.root());
  ASSERT_EQ(createLog(1), 1);
  EXPECT_EQ(fromUtf16le(report()),
            "QuorelFix by quillfen (03.07.10.1)\r\nLog created at 14:05 on 03/07/2010 (%username%)\r\n"
            "Firefox version [Unable to determine]\r\n");
}

TEST_F(ReportLogTest, AppendingWritesNoHeaderAndFinishingOpensNotepad) {
  use({});
  std::string earlier = toUtf16le("earlier run\r\n========== Reboot ==========\r\n");
  image_.file(qftest::kReport, earlier);
  ASSERT_EQ(createLog(0), 1);
  logit(u"\r\nDeleting \"C:\\x\" -> Success!");
  finishLog();
  EXPECT_FALSE(reportLog().isOpen());
  EXPECT_EQ(report(), earlier + toUtf16le("\r\nDeleting \"C:\\x\" -> Success!\r\n\r\n-=E.O.F=-"));
  EXPECT_NE(image_.journal().find(
                R"(CreateProcessW application="C:\\WINDOWS\\system32\\notepad.exe" command="C:\\WINDOWS\\system32\\notepad.exe \"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.txt\"")"),
            std::string::npos)
      << image_.journal();
}

}  // namespace
