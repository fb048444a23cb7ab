// Choosing the image: without one the machine stops before changing anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "platform/emulated/machine/machine.h"
#include "platform/win32.h"

namespace {

class ImageChoice : public ::testing::Test {
 protected:
  // Each death test runs in a fresh process, which has not loaded an image yet.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ImageChoice, NoImageVariableStopsWithStatus2) {
  EXPECT_EXIT(
      {
        unsetenv("QUORELFIX_IMAGE");
        win::SYSTEMTIME t;
        win::GetLocalTime(&t);
      },
      ::testing::ExitedWithCode(2), "QUORELFIX_IMAGE is not set");
}

TEST_F(ImageChoice, AFolderThatIsNoImageStopsWithStatus2) {
  qftest::MachineImage empty("no-config");  // a folder without machine.toml
  const std::string root = empty.root().string();
  EXPECT_EXIT(
      {
        setenv("QUORELFIX_IMAGE", root.c_str(), 1);
        win::MessageBoxW(nullptr, u"x", u"y", win::MB_OK);
      },
      ::testing::ExitedWithCode(2), "is not a machine image");
  EXPECT_FALSE(std::filesystem::exists(empty.root() / "journal.txt"));  // nothing changed
}

TEST_F(ImageChoice, ABrokenConfigurationStopsWithStatus2) {
  qftest::MachineImage broken("broken");
  broken.config("[clock\nlocal = 1");
  const std::string root = broken.root().string();
  EXPECT_EXIT(
      {
        setenv("QUORELFIX_IMAGE", root.c_str(), 1);
        win::SYSTEMTIME t;
        win::GetLocalTime(&t);
      },
      ::testing::ExitedWithCode(2), "machine.toml:1");
}

// [windows] version: XP SP3 unless the image says otherwise.
TEST(Image, TheWindowsVersion) {
  struct Case {
    const char* toml;
    emu::WindowsVersion version;
  } const cases[] = {
      {"", emu::WindowsVersion::Xp},                                     // no [windows]: XP SP3
      {"[windows]\n", emu::WindowsVersion::Xp},                          // no version
      {"[windows]\nversion = \"xp\"\n", emu::WindowsVersion::Xp},
      {"[windows]\nversion = \"vista\"\n", emu::WindowsVersion::Vista},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.toml);
    qftest::Machine m("version", c.toml);
    EXPECT_EQ(emu::windowsVersion(), c.version);
  }
}

// qfmachine new and the bundled image state XP SP3.
TEST(Image, NewAndBundledImagesAreXpSp3) {
  qftest::MachineImage parent("new");
  const std::filesystem::path made = parent.root() / "made";
  const std::string command = std::string("'") + QF_MACHINE_TOOL_PATH + "' new '" + made.string() + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  // The bundled image's configuration in an image of the test's own, which
  // the machine may write to.
  qftest::MachineImage bundled("bundled");
  bundled.config(qftest::slurp(std::filesystem::path(QF_SOURCE_DIR) / "images" / "xp-demo" / "machine.toml"));
  for (const std::filesystem::path& root : {made, bundled.root()}) {
    SCOPED_TRACE(root.string());
    EXPECT_NE(qftest::slurp(root / "machine.toml").find("[windows]\nversion = \"xp\"\n"), std::string::npos);
    emu::useImage(root);
    EXPECT_EQ(emu::windowsVersion(), emu::WindowsVersion::Xp);
  }
}

// Anything but the two names stops the machine before anything is changed.
TEST_F(ImageChoice, ABadWindowsVersionStopsWithStatus2) {
  struct Bad {
    const char* toml;
    const char* message;
  } const bad[] = {
      {"[windows]\nversion = \"win7\"\n", "version must be \"xp\" \\(Windows XP SP3\\) or \"vista\".* not 'win7'"},
      {"[windows]\nversion = \"XP\"\n", "version must be .* not 'XP'"},  // the names as written
      {"[windows]\nversion = 6\n", "version must be .* not 6"},
      {"windows = \"xp\"\n", "windows must be a table"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.toml);
    qftest::MachineImage image("bad-version");
    image.config(b.toml);
    const std::string root = image.root().string();
    EXPECT_EXIT(
        {
          setenv("QUORELFIX_IMAGE", root.c_str(), 1);
          win::MessageBoxW(nullptr, u"x", u"y", win::MB_OK);
        },
        ::testing::ExitedWithCode(2), b.message);
    EXPECT_FALSE(std::filesystem::exists(image.root() / "journal.txt"));  // nothing changed
  }
}

// The machine writes back only what it changed: keys it does not model, a
// state name it does not know and entries it cannot read stay as written.
TEST(Image, SavedStateKeepsWhatTheMachineDoesNotModel) {
  qftest::Machine m("unmodelled", R"([[process]]
pid = 7
path = 'C:\a.exe'
window = "Untitled"
[[service]]
name = "A"
state = "running"
description = "kept"
[[service]]
name = "B"
state = "sleeping"
[message_boxes]
answers = ["idyes", 7]
note = "kept"
)");
  const win::SC_HANDLE scm = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
  const win::SC_HANDLE a = win::OpenServiceW(scm, u"A", win::DELETE);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(win::DeleteService(a));
  EXPECT_EQ(win::MessageBoxW(nullptr, u"text", u"caption", win::MB_YESNO), win::IDYES);
  const toml::table saved = m.saved();
  EXPECT_EQ(saved["process"][0]["window"].value_or<std::string>(""), "Untitled");
  EXPECT_EQ(saved["service"][0]["description"].value_or<std::string>(""), "kept");
  EXPECT_TRUE(saved["service"][0]["marked_for_deletion"].value_or(false));
  EXPECT_EQ(saved["service"][1]["state"].value_or<std::string>(""), "sleeping");  // runs, as written
  EXPECT_FALSE(saved["service"][1]["marked_for_deletion"]);
  ASSERT_NE(saved["message_boxes"]["answers"].as_array(), nullptr);
  EXPECT_EQ(saved["message_boxes"]["answers"].as_array()->size(), 1u);
  EXPECT_EQ(saved["message_boxes"]["answers"][0].value_or(0), 7);
  EXPECT_EQ(saved["message_boxes"]["note"].value_or<std::string>(""), "kept");
  win::CloseServiceHandle(a);
  win::CloseServiceHandle(scm);
}

// Choosing an image (the same one again, here) starts the machine afresh:
// no handle of any kind, no search and no unsaved state outlives it.
TEST(Image, ChoosingAnImageDropsEveryHandleAndSearch) {
  qftest::Machine m("fresh", "[[process]]\npid = 7\npath = 'C:\\a.exe'\n[[service]]\nname = \"A\"\n");
  m.image.file("C:\\a.txt", "x");
  win::WIN32_FIND_DATAW found;
  const win::HANDLE search = win::FindFirstFileW(u"C:\\*", &found);
  ASSERT_NE(search, win::INVALID_HANDLE_VALUE);
  const win::SC_HANDLE scm = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
  ASSERT_NE(scm, nullptr);
  const win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE, 7);
  ASSERT_NE(process, nullptr);
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_CURRENT_USER, u"Software\\T", 0, nullptr, 0, win::KEY_ALL_ACCESS, nullptr,
                                 &key, nullptr),
            win::ERROR_SUCCESS);

  emu::useImage(m.image.root());
  struct Stale {
    const char* call;
    bool ok;
  } const stale[] = {
      {"FindNextFileW", win::FindNextFileW(search, &found) != win::FALSE},
      {"FindClose", win::FindClose(search) != win::FALSE},
      {"CloseServiceHandle", win::CloseServiceHandle(scm) != win::FALSE},
      {"TerminateProcess", win::TerminateProcess(process, 0) != win::FALSE},
      {"RegCloseKey", win::RegCloseKey(key) == win::ERROR_SUCCESS},
  };
  for (const auto& s : stale) EXPECT_FALSE(s.ok) << s.call;
  EXPECT_EQ(m.image.journal(), "");  // the process handle was no longer valid
}

TEST(Image, SavedStateReadsBackAsTheSameMachine) {
  qftest::Machine m("save", "[clock]\nlocal = 2010-07-03T14:05:09\n[[process]]\npid = 7\npath = 'C:\\a.exe'\n");
  emu::saveConfig();
  emu::useImage(m.image.root());
  EXPECT_EQ(emu::config()["process"][0]["pid"].value_or(0), 7);
  EXPECT_EQ(emu::config()["process"][0]["path"].value_or<std::string>(""), "C:\\a.exe");
  EXPECT_TRUE(emu::config()["clock"]["local"].is_date_time());
}

// Entries are written back to the elements they were read from: each save
// starts from machine.toml as read, so a second save after an entry went
// keeps pointing at the right ones.
TEST(Image, SavesAfterEntriesWentKeepTheOthers) {
  qftest::Machine m("save-twice",
                    "[[process]]\npid = 7\n[[process]]\npid = 8\nopenable = false\n[[process]]\npid = 9\n"
                    "[[service]]\nname = 'A'\n[[service]]\nname = 'B'\n");
  std::vector<emu::Process>& processes = emu::machine().saved.processes;
  processes.erase(processes.begin());
  ASSERT_EQ(emu::saveConfig(), 0u);
  std::vector<emu::Service>& services = emu::machine().saved.services;
  services.erase(services.begin());
  services[0].state = win::SERVICE_STOPPED;
  processes.pop_back();
  ASSERT_EQ(emu::saveConfig(), 0u);
  emu::useImage(m.image.root());
  const toml::array* left = emu::config()["process"].as_array();
  ASSERT_NE(left, nullptr);
  ASSERT_EQ(left->size(), 1u);
  EXPECT_EQ(emu::config()["process"][0]["pid"].value_or(0), 8);
  EXPECT_FALSE(emu::config()["process"][0]["openable"].value_or(true));  // a key kept as the image has it
  ASSERT_EQ(emu::machine().saved.services.size(), 1u);
  EXPECT_EQ(emu::machine().saved.services[0].name, u"B");
  EXPECT_EQ(emu::machine().saved.services[0].state, win::SERVICE_STOPPED);
}

}  // namespace
