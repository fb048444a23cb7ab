// Booting an image with the machine tool, and the command-line splitting it
// starts RunOnce commands with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine_fixture.h"
#include "platform/emulated/kernel/command_line.h"
#include "platform/win32.h"

namespace {

struct SplitCase {
  const char16_t* line;
  std::vector<std::u16string> args;
};

TEST(CommandLine, SplitsAsTheWindowsRuntime) {
  const SplitCase cases[] = {
      // The reboot pass's own command line.
      {u"\"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.exe\" \"C:\\Documents and Settings\\Owner\\Desktop\\"
       u"QuorelFix Backups\\reboot.txt\" /reboot",
       {u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.exe",
        u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt", u"/reboot"}},
      {u"prog a b", {u"prog", u"a", u"b"}},
      {u"prog  \t a\t\tb  ", {u"prog", u"a", u"b"}},                        // runs of blanks and tabs
      {u"prog", {u"prog"}},
      {u"", {u""}},
      {u"C:\\dir\\prog.exe C:\\x\\", {u"C:\\dir\\prog.exe", u"C:\\x\\"}},  // backslashes before no quote
      {u"\"C:\\a b\\\" x", {u"C:\\a b\\", u"x"}},                           // argument 0: up to the next quote
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},                               // 2n backslashes: n, quote opens
      {u"p a\\\"b", {u"p", u"a\"b"}},                                       // 2n+1: n and a literal quote
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
      {u"p \"a\"\"b\"", {u"p", u"a\"b"}},                                   // "" inside quotes: one quote
      {u"p \"\"", {u"p", u""}},                                             // an empty quoted argument
      {u"p \"a b", {u"p", u"a b"}},                                         // an open quote runs to the end
      {u"p a\"b c\"d", {u"p", u"ab cd"}},                                   // quotes inside an argument
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(emu::toUtf8(c.line));
    EXPECT_EQ(emu::splitCommandLine(c.line), c.args);
    EXPECT_EQ(emu::commandLineProgram(c.line), c.args[0]);
  }
}

TEST(Boot, RemovesDeletedServicesAndKeepsEndedProcessesEnded) {
  qftest::MachineImage image("boot");
  image.config(R"([[service]]
name = "Gone"
state = "running"
marked_for_deletion = true
[[service]]
name = "Kept"
state = "stopped"
[[process]]
pid = 2740
path = 'C:\firefox.exe'
)");
  const auto result = image.boot();
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(image.journal(), "boot\n");
  emu::useImage(image.root());
  const toml::array* services = emu::config()["service"].as_array();
  ASSERT_NE(services, nullptr);
  ASSERT_EQ(services->size(), 1u);
  EXPECT_EQ((*services)[0].as_table()->at("name").value_or<std::string>(""), "Kept");
  EXPECT_EQ(emu::config()["process"].as_array()->size(), 1u);
}

TEST(Boot, FreesFilesHeldOnlyUntilTheRestart) {
  qftest::MachineImage image("boot-faults");
  image.config(R"([[fault.file]]
path = 'C:\WINDOWS\system32\drivers\held.sys'
code = 32
until_boot = true
[[fault.file]]
path = 'C:\WINDOWS\system32\denied.dll'
code = 5
)");
  const auto result = image.boot();
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  emu::useImage(image.root());
  const toml::array* faults = emu::config()["fault"]["file"].as_array();
  ASSERT_NE(faults, nullptr);
  ASSERT_EQ(faults->size(), 1u);  // the held file is free, the denied one still refuses
  EXPECT_EQ((*faults)[0].as_table()->at("path").value_or<std::string>(""), "C:\\WINDOWS\\system32\\denied.dll");
}

TEST(Boot, RefusesAFolderThatIsNoImage) {
  qftest::MachineImage image("not-an-image");
  const auto result = image.boot();
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_NE(result.err.find("is not a machine image"), std::string::npos) << result.err;
  EXPECT_FALSE(image.exists("C:\\journal.txt"));
  EXPECT_FALSE(std::filesystem::exists(image.root() / "journal.txt"));
}

TEST(Boot, RunsAndDeletesRunOnceEntriesInOrder) {
  qftest::MachineImage image("runonce");
  image.config("[environment]\nSystemRoot = 'C:\\WINDOWS'\n");
  image.registry(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
      "\"Other\"=\"C:\\\\tools\\\\cleanup.exe /quiet\"\r\n"
      "\"QuorelFix_Reboot\"=\"\\\"C:\\\\Desktop\\\\QuorelFix.exe\\\" \\\"C:\\\\Desktop\\\\QuorelFix Backups\\\\reboot.txt\\\" "
      "/reboot\"\r\n\r\n");
  {
    // Known gap while the emulated registry is a placeholder: nothing to boot.
    emu::useImage(image.root());
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                           win::KEY_READ, &key) != win::ERROR_SUCCESS)
      GTEST_SKIP() << "the emulated registry has not landed yet";
    win::RegCloseKey(key);
  }
  const auto result = image.boot();
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  const std::string journal = image.journal();
  EXPECT_EQ(journal.rfind("boot\n"
                          "RunOnce name=\"Other\" command=\"C:\\\\tools\\\\cleanup.exe /quiet\"\n"
                          "RunOnce name=\"QuorelFix_Reboot\" command=\"\\\"C:\\\\Desktop\\\\QuorelFix.exe\\\" "
                          "\\\"C:\\\\Desktop\\\\QuorelFix Backups\\\\reboot.txt\\\" /reboot\"\n",
                          0),
            0u)
      << journal;
  // Both values are gone; a second boot runs nothing.
  emu::useImage(image.root());
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                               win::KEY_READ, &key),
            win::ERROR_SUCCESS);
  char16_t name[64];
  win::DWORD nameSize = 64;
  EXPECT_EQ(win::RegEnumValueW(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), win::ERROR_NO_MORE_ITEMS);
  win::RegCloseKey(key);
}

}  // namespace
