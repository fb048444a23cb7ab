// Choosing the image: without one the machine stops before changing anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "machine_fixture.h"
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

TEST(Image, SavedStateReadsBackAsTheSameMachine) {
  qftest::Machine m("save", "[clock]\nlocal = 2010-07-03T14:05:09\n[[process]]\npid = 7\npath = 'C:\\a.exe'\n");
  emu::saveConfig();
  emu::useImage(m.image.root());
  EXPECT_EQ(emu::config()["process"][0]["pid"].value_or(0), 7);
  EXPECT_EQ(emu::config()["process"][0]["path"].value_or<std::string>(""), "C:\\a.exe");
  EXPECT_TRUE(emu::config()["clock"]["local"].is_date_time());
}

}  // namespace
