// The run's modes, chosen from the command line, and the refusals and
// failures that stop a run before it changes anything.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_machine.h"

namespace {

using namespace qftest;

std::string report(const MachineImage& image) { return image.exists(kReport) ? image.read(kReport) : "<none>"; }

// A full interactive run on a clean machine, without a script.
std::string cleanRunReport() { return reportHeader() + std::string(kScanSections) + std::string(kFooter); }

TEST(RunModesTest, NoArgumentRunsTheWholeSequence) {
  MachineImage image("plain");
  build(image, {});
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.out, kConsole);  // the eight texts, nothing between them
  EXPECT_EQ(report(image), toUtf16le(cleanRunReport()));
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE"));  // recreated with its mark only
  EXPECT_EQ(image.journal(), confirmLine(6) + backupsLine() + firstRunFileLines() + notepadLine());
}

// Runs that ignore extra arguments: three with a switch other than
// "/reboot", or more than three.
TEST(RunModesTest, OtherArgumentsRunWithoutAScript) {
  const std::vector<std::vector<std::string>> rows = {
      {R"(C:\script.txt)", "/rebooting"},
      {R"(C:\script.txt)", "/reboot", "extra"},
      {R"(C:\script.txt)", "reboot"},
  };
  for (const auto& args : rows) {
    MachineImage image("extra");
    build(image, {});
    image.file(R"(C:\script.txt)", R"(C:\WINDOWS\system32\notepad.exe)");
    RunResult r = image.run(args);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(report(image), toUtf16le(cleanRunReport())) << args.size();
    EXPECT_TRUE(image.exists(R"(C:\WINDOWS\system32\notepad.exe)"));  // the script was not run
  }
}

// One argument is a removal script, run before the scan in its own section.
// A name that ends in the report's own file name is refused.
TEST(RunModesTest, OneArgumentIsAScript) {
  MachineImage image("script");
  build(image, {});
  RunResult r = image.run({R"(C:\Temp\xQuorelFix.txt)"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, kConsole);
  EXPECT_EQ(report(image), toUtf16le(reportHeader() + "\r\n========== Script ==========\r\n" +
                                     "\r\nIllegal script name.\r\n" + std::string(kScanSections) +
                                     std::string(kFooter)));
}

// "/reboot" alone is a script path like any other, not the reboot pass.
TEST(RunModesTest, RebootSwitchAloneIsAScriptPath) {
  MachineImage image("switch-alone");
  build(image, {});
  RunResult r = image.run({"/reboot"});
  EXPECT_EQ(r.exitStatus, 0);
  std::string text = fromUtf16le(report(image));
  EXPECT_EQ(text.rfind(reportHeader() + "\r\n========== Script ==========\r\n\r\nUnable to open script [", 0), 0u)
      << text;
  EXPECT_EQ(image.journal().rfind(confirmLine(6), 0), 0u);
}

// The reboot pass, in any letter case: appends to the report without a
// header or any question, finishes it and opens it.
TEST(RunModesTest, RebootSwitchInAnyCaseRunsTheRebootPass) {
  for (const char* flag : {"/reboot", "/REBOOT", "/ReBoot"}) {
    MachineImage image("reboot-pass");
    build(image, {});
    std::string earlier =
        toUtf16le(reportHeader() + std::string(kScanSections) + "\r\n\r\n========== Reboot ==========\r\n");
    image.file(kReport, earlier);
    image.file(kRebootList, "\xFF\xFE");
    RunResult r = image.run({std::string(kRebootList), flag});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(report(image), earlier + toUtf16le(std::string(kFooter))) << flag;
    EXPECT_EQ(image.journal(), openLine(kReport, "ab", false) + undoLine() + manifestLine(true) + notepadLine())
        << flag;
    EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE"));  // neither truncated nor removed
  }
}

// Refusals: the run stops at once, with its box, having changed nothing.
struct Refusal {
  const char* name;
  RunMachine machine;
  std::vector<std::string> args;
  std::string journal;
};

TEST(RunModesTest, RefusalsChangeNothing) {
  // Boxes with only OK take no answer from the image: dismissed, they say IDOK.
  RunMachine notAdmin;
  notAdmin.answers = "";
  notAdmin.token = "administrator = false\n";
  RunMachine denyOnly;  // a filtered token: Administrators only for deny checks
  denyOnly.token = "administrator = true\nadministrator_deny_only = true\n";
  denyOnly.answers = "";
  RunMachine no;
  no.answers = R"("IDNO")";
  no.processes = firefoxProcess(2740);
  RunMachine noDesktop;
  noDesktop.desktopValue.clear();
  noDesktop.answers = "";
  noDesktop.processes = firefoxProcess(2740);
  RunMachine longDesktop;  // 247 characters: the report path would take 261
  longDesktop.desktopValue = "C:\\\\" + std::string(244, 'd');
  longDesktop.answers = "";
  const std::string admin = errorLine("You must be an Administrator to use QuorelFix.");
  const std::string noLog = errorLine("Unable to create logfile.");
  const Refusal rows[] = {
      {"not an administrator", notAdmin, {}, admin},
      {"not an administrator, reboot pass", notAdmin, {std::string(kRebootList), "/reboot"}, admin},
      {"administrator for deny checks only", denyOnly, {}, admin},
      {"No at the confirmation", no, {}, confirmLine(7)},
      {"no desktop folder", noDesktop, {}, noLog},
      {"no desktop folder, reboot pass", noDesktop, {std::string(kRebootList), "/reboot"}, noLog},
      {"desktop folder too long for the report path", longDesktop, {}, noLog},
  };
  for (const auto& row : rows) {
    MachineImage image("refusal");
    build(image, row.machine);
    image.file(kReport, "previous report");
    std::string registry = image.registryText();
    RunResult r = image.run(row.args);
    EXPECT_EQ(r.exitStatus, 0) << row.name;
    EXPECT_EQ(r.out, "") << row.name;
    EXPECT_EQ(image.journal(), row.journal) << row.name;
    EXPECT_EQ(image.read(kReport), "previous report") << row.name;
    EXPECT_FALSE(image.exists(kBackups)) << row.name;
    EXPECT_EQ(image.registryText(), registry) << row.name;
    EXPECT_EQ(image.journal().find("TerminateProcess"), std::string::npos) << row.name;  // Firefox runs on
  }
}

// "/?" and "-?" print the usage text and do nothing else: no box (not even
// the administrator gate's), no report, no backup folder, no registry change.
TEST(RunModesTest, UsageSwitchPrintsTheUsageAndChangesNothing) {
  const std::string usage =
      "QuorelFix removes the Quorel infection and a family of related malware.\n"
      "\n"
      "  QuorelFix               check for and remove it; the report is QuorelFix.txt on the desktop\n"
      "  QuorelFix <script>      first move the files and folders the script lists, one path a line\n"
      "  QuorelFix /?            show this text\n"
      "\n"
      "Nothing is deleted outright: what is removed is kept in \"QuorelFix Backups\" on the\n"
      "desktop, and QuorelRestore puts it back.\n";
  RunMachine notAdmin;
  notAdmin.token = "administrator = false\n";
  notAdmin.answers = "";
  const struct {
    const char* name;
    RunMachine machine;
    std::vector<std::string> args;
  } rows[] = {
      {"/?", {}, {"/?"}},
      {"-?", {}, {"-?"}},
      {"/? before the reboot switch", {}, {"/?", "/reboot"}},
      {"/? as a user without the right", notAdmin, {"/?"}},
  };
  for (const auto& row : rows) {
    MachineImage image("usage");
    build(image, row.machine);
    image.file(kReport, "previous report");
    const std::string registry = image.registryText();
    RunResult r = image.run(row.args);
    EXPECT_EQ(r.exitStatus, 0) << row.name;
    EXPECT_EQ(r.out, usage) << row.name;
    EXPECT_EQ(image.journal(), "") << row.name;
    EXPECT_EQ(image.read(kReport), "previous report") << row.name;
    EXPECT_FALSE(image.exists(kBackups)) << row.name;
    EXPECT_EQ(image.registryText(), registry) << row.name;
  }
  // Only the switch itself: "/?x" is a script path like any other name.
  MachineImage image("not-usage");
  build(image, {});
  EXPECT_EQ(image.run({"/?x"}).out, kConsole);
}

// The new report cannot be created: the box, and nothing more. The previous
// report has already been rotated into the backup folder by then.
TEST(RunModesTest, ReportThatCannotBeCreated) {
  MachineImage image("no-report");
  RunMachine m;
  m.toml = "[[fault.file]]\npath = '" + std::string(kReport) + "'\ncode = 5\nattributes = true\n";
  build(image, m);
  image.folder(kBackups);
  RunResult r = image.run();
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(image.journal(), confirmLine(6) + errorLine("Unable to create logfile."));
  EXPECT_FALSE(image.exists(kRebootList));
}

// The reboot pass cannot open the report for appending: the same box, and
// the reboot list is not run.
TEST(RunModesTest, RebootPassWithoutItsReport) {
  MachineImage image("no-report-reboot");
  RunMachine m;
  m.toml = "[[fault.file]]\npath = '" + std::string(kReport) + "'\ncode = 32\nattributes = true\n";
  m.answers = "";
  build(image, m);
  image.file(kReport, toUtf16le("earlier"));
  image.file(kRebootList, "\xFF\xFE" + toUtf16le(R"(C:\WINDOWS\system32\notepad.exe)" "\r\n"));
  RunResult r = image.run({std::string(kRebootList), "/reboot"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(image.journal(), errorLine("Unable to create logfile."));
  EXPECT_EQ(image.read(kReport), toUtf16le("earlier"));
  EXPECT_TRUE(image.exists(R"(C:\WINDOWS\system32\notepad.exe)"));
}

}  // namespace
