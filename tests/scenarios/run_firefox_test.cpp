// The Firefox prompt: Retry, Continue, Cancel and other answers, and the one
// termination that follows.
#include <gtest/gtest.h>

#include <string>

#include "support/run_machine.h"

namespace {

using namespace qftest;

const std::string kTerminate2740 = "TerminateProcess pid=2740 exit=0\n";

struct FirefoxRow {
  const char* name;
  std::string answers;
  std::string processes;
  std::string journal;  // what the run leaves in the journal
  bool reported;        // whether the run went on to write its report
};

TEST(RunFirefoxTest, AnswersToTheFirefoxPrompt) {
  const FirefoxRow rows[] = {
      {"Retry while Firefox still runs, then Continue",
       R"("IDYES", "IDTRYAGAIN", "IDCONTINUE")",
       firefoxProcess(2740),
       confirmLine(6) + firefoxLine(10) + firefoxLine(11) + kTerminate2740 + backupsLine() + firstRunFileLines() + notepadLine(),
       true},
      {"Cancel: nothing is written or moved",
       R"("IDYES", "IDCANCEL")",
       firefoxProcess(2740),
       confirmLine(6) + firefoxLine(2),
       false},
      {"another answer asks again",
       R"("IDYES", "IDOK", "IDABORT", "IDCONTINUE")",
       firefoxProcess(2740),
       confirmLine(6) + firefoxLine(1) + firefoxLine(3) + firefoxLine(11) + kTerminate2740 + backupsLine() + firstRunFileLines() + notepadLine(),
       true},
      // Only the one process the lookup returns, the last listed, ends.
      {"two Firefox processes",
       R"("IDYES", "IDCONTINUE")",
       firefoxProcess(2740) + firefoxProcess(3100, R"(C:\Program Files\Mozilla Firefox 3.5\FIREFOX.EXE)"),
       confirmLine(6) + firefoxLine(11) + "TerminateProcess pid=3100 exit=0\n" + backupsLine() + firstRunFileLines() + notepadLine(),
       true},
      // The executable's name decides, not its folder; a name that merely
      // contains "firefox.exe" is not Firefox.
      {"not Firefox",
       R"("IDYES")",
       firefoxProcess(2740, R"(C:\Tools\firefox.exe.old)") + firefoxProcess(2750, R"(C:\Tools\notfirefox.exe)"),
       confirmLine(6) + backupsLine() + firstRunFileLines() + notepadLine(),
       true},
  };
  for (const auto& row : rows) {
    MachineImage image("firefox");
    RunMachine m;
    m.answers = row.answers;
    m.processes = row.processes;
    build(image, m);
    RunResult r = image.run();
    EXPECT_EQ(r.exitStatus, 0) << row.name;
    EXPECT_EQ(image.journal(), row.journal) << row.name;
    EXPECT_EQ(image.exists(kReport), row.reported) << row.name;
    EXPECT_EQ(image.exists(kBackups), row.reported) << row.name;
    EXPECT_EQ(r.out, row.reported ? std::string(kConsole) : std::string()) << row.name;
  }
}

// A Firefox that does not end when terminated: the run waits its second and
// goes on.
TEST(RunFirefoxTest, FirefoxThatDoesNotEnd) {
  MachineImage image("stubborn");
  RunMachine m;
  m.answers = R"("IDYES", "IDCONTINUE")";
  m.processes = "\n[[process]]\npid = 2740\npath = 'C:\\Program Files\\Mozilla Firefox\\firefox.exe'\n"
                "openable = true\nends_when_terminated = false\n";
  build(image, m);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(image.read(kReport),
            toUtf16le(reportHeader() + std::string(kScanSections) + std::string(kFooter)));
}

}  // namespace
