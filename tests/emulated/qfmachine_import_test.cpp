// qfmachine as a user meets it: --help, a regedit export imported into a
// fresh image (deletions included), what show then lists, and an export with
// a line that cannot be read, which changes nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "machine_fixture.h"
#include "platform/win32.h"
#include "registry_test_support.h"

namespace {
namespace fs = std::filesystem;

struct Ran {
  int status;
  std::string out;
  std::string err;
};

Ran qfmachine(const std::string& args, const fs::path& scratch) {
  const fs::path out = scratch / "out.txt";
  const fs::path err = scratch / "err.txt";
  const std::string command =
      std::string("'") + QF_MACHINE_TOOL_PATH + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
  const int rc = std::system(command.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, qftest::slurp(out), qftest::slurp(err)};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

TEST(Qfmachine, HelpIsUsageOnStandardOutput) {
  qftest::MachineImage scratch("help");
  const Ran help = qfmachine("--help", scratch.root());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: qfmachine boot <image>", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("qfmachine import <image> <file.reg>"), std::string::npos);
  EXPECT_EQ(help.err, "");
  const Ran wrong = qfmachine("frobnicate", scratch.root());
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.out, "");
  EXPECT_EQ(wrong.err, help.out);
}

TEST(Qfmachine, ImportMergesARegeditExportAsRegeditWould) {
  qftest::MachineImage scratch("import");
  const fs::path image = scratch.root() / "machine";
  ASSERT_EQ(qfmachine("new '" + image.string() + "'", scratch.root()).status, 0);
  const std::string before = qftest::slurp(image / "registry.reg");
  // As XP's regedit exports: UTF-16LE with its mark, CR LF.
  writeFile(scratch.root() / "infection.reg",
            regtest::utf16File("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
                               "\"bad\"=\"C:\\\\WINDOWS\\\\bad.exe /s\"\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\xwoarh]\r\n"
                               "\"Type\"=dword:00000001\r\n\"Start\"=dword:00000003\r\n"
                               "\"ImagePath\"=hex(2):73,00,79,00,73,00,00,00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
                               "\"Desktop\"=-\r\n\r\n"
                               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Mozilla]\r\n"));
  const Ran imported = qfmachine("import '" + image.string() + "' '" + (scratch.root() / "infection.reg").string() + "'",
                                 scratch.root());
  ASSERT_EQ(imported.status, 0) << imported.err;
  // The file keeps the machine's form: its own bytes first, the export's
  // lines appended in its encoding, no second header.
  const std::string after = qftest::slurp(image / "registry.reg");
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(after.find("Windows Registry Editor", 10), std::string::npos);

  emu::useImage(image);
  EXPECT_FALSE(regtest::exists(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Mozilla"));
  EXPECT_EQ(regtest::query(win::HKEY_CURRENT_USER,
                           u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", u"Desktop")
                .rc,
            win::ERROR_FILE_NOT_FOUND);
  const Ran shown = qfmachine("show '" + image.string() + "'", scratch.root());
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("  xwoarh                   stopped\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("RunOnce (run at the next boot):\n  bad = C:\\WINDOWS\\bad.exe /s\n"), std::string::npos)
      << shown.out;
}

TEST(Qfmachine, AnExportWithALineThatCannotBeReadImportsNothing) {
  qftest::MachineImage scratch("import-bad");
  const fs::path image = scratch.root() / "machine";
  ASSERT_EQ(qfmachine("new '" + image.string() + "'", scratch.root()).status, 0);
  const std::string before = qftest::slurp(image / "registry.reg");
  const fs::path file = scratch.root() / "bad.reg";
  writeFile(file, regtest::utf8File("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"ok\"=\"1\"\r\n\"pp\"=dword:zz\r\n"));
  const Ran imported = qfmachine("import '" + image.string() + "' '" + file.string() + "'", scratch.root());
  EXPECT_EQ(imported.status, 1);
  EXPECT_EQ(imported.err, "qfmachine: " + file.string() +
                              ":5: a dword needs 1 to 8 hexadecimal digits; nothing was imported.\n");
  EXPECT_EQ(qftest::slurp(image / "registry.reg"), before);
}

}  // namespace
