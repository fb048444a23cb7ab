// What each script line can come to: moved, missing, locked with and without
// the reboot list, refused paths; a collision in the backup folder and a
// folder moved whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "script_machine.h"

namespace {

using qftest::MachineImage;
using qftest::toUtf16le;
using namespace scriptscen;
namespace fs = std::filesystem;

constexpr const char* kLockedFault = R"(
[[fault.file]]
path = 'C:\locked.dll'
code = 32
attributes = true
)";

constexpr const char* kEveryOutcome =
    "C:\\a\\b.txt\n"
    "C:\\missing.txt\n"
    "C:\\locked.dll\n"
    "C:\\..\\..\\WINDOWS\n"
    "C:\n";

void everyOutcomeMachine(MachineImage& image, std::string_view version) {
  prepare(image, kLockedFault, version);
  image.file("C:\\a\\b.txt", "bee");
  image.file("C:\\locked.dll", "lock");
  image.file("C:\\WINDOWS\\system32\\k.dll", "k");
  image.file("C:\\script.txt", kEveryOutcome);
}

// The missing item's code is the shell's: 2 from Vista on, 1026 on XP; on
// both it is not scheduled. The rest of the section is the same on both.
class EveryOutcome : public ::testing::TestWithParam<std::string_view> {
 protected:
  std::string missingLine() const {
    return GetParam() == "xp" ? "\r\nDeleting \"C:\\missing.txt\" -> Failed [1026]"
                              : "\r\nDeleting \"C:\\missing.txt\" -> Failed [2]";
  }
};

INSTANTIATE_TEST_SUITE_P(ScriptOutcomes, EveryOutcome, ::testing::ValuesIn(qftest::kWindowsVersions),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(EveryOutcome, WithTheRebootList) {
  MachineImage image("outcomes");
  everyOutcomeMachine(image, GetParam());
  image.run({"C:\\script.txt"});
  EXPECT_EQ(scriptSection(report(image)),
            "\r\nDeleting \"C:\\a\\b.txt\" -> Success!" + missingLine() +
            "\r\nDeleting \"C:\\locked.dll\" -> Failed [32] -> Delete on reboot"
            "\r\nDeleting \"C:\\..\\..\\WINDOWS\" -> Failed [1026]"
            "\r\nDeleting \"C:\" -> Failed [1026]"
            "\r\n");
  // Only the locked item is scheduled.
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE", 2) + toUtf16le("C:\\locked.dll\r\n"));
  EXPECT_EQ(image.read(backup("C\\a\\b.txt")), "bee");
  EXPECT_TRUE(image.exists("C:\\locked.dll"));
  EXPECT_TRUE(image.exists("C:\\WINDOWS\\system32\\k.dll"));
  EXPECT_FALSE(image.exists(std::string(kDesktop) + "\\WINDOWS"));
}

// A reboot list that cannot be opened (a folder holds its name) leaves
// failures unscheduled, and the run finishes without a restart.
TEST_P(EveryOutcome, WithoutTheRebootList) {
  MachineImage image("no-list");
  everyOutcomeMachine(image, GetParam());
  image.folder(kRebootList);
  image.run({"C:\\script.txt"});
  const std::string text = report(image);
  EXPECT_EQ(scriptSection(text),
            "\r\nDeleting \"C:\\a\\b.txt\" -> Success!" + missingLine() +
            "\r\nDeleting \"C:\\locked.dll\" -> Failed [32]"
            "\r\nDeleting \"C:\\..\\..\\WINDOWS\" -> Failed [1026]"
            "\r\nDeleting \"C:\" -> Failed [1026]"
            "\r\n");
  EXPECT_EQ(text.find(kRebootBanner), std::string::npos);
  ASSERT_GE(text.size(), std::string_view(kFooter).size());
  EXPECT_EQ(text.substr(text.size() - std::string_view(kFooter).size()), kFooter);
  EXPECT_EQ(image.journal().find("ExitWindowsEx"), std::string::npos);
}

// An item already in the backup folder from an earlier removal stays; the
// item moved now is renamed by the shell.
TEST(ScriptOutcomes, CollisionKeepsBothItems) {
  MachineImage image("collision");
  prepare(image);
  image.file(backup("C\\a\\b.txt"), "earlier");
  image.file("C:\\a\\b.txt", "now");
  image.file("C:\\script.txt", "C:\\a\\b.txt\n");
  image.run({"C:\\script.txt"});
  EXPECT_EQ(scriptSection(report(image)), "\r\nDeleting \"C:\\a\\b.txt\" -> Success!\r\n");
  EXPECT_FALSE(image.exists("C:\\a\\b.txt"));
  EXPECT_EQ(image.read(backup("C\\a\\b.txt")), "earlier");
  std::multiset<std::string> contents;
  for (const auto& entry : fs::directory_iterator(image.host(backup("C\\a"))))
    contents.insert(qftest::slurp(entry.path()));
  EXPECT_EQ(contents, (std::multiset<std::string>{"earlier", "now"}));
}

TEST(ScriptOutcomes, FolderMovesWithItsContent) {
  MachineImage image("folder");
  prepare(image);
  image.file("C:\\evil\\y.txt", "why");
  image.file("C:\\evil\\sub\\x.dll", "ex");
  image.folder("C:\\evil\\empty");
  image.file("C:\\script.txt", "C:\\evil\n");
  image.run({"C:\\script.txt"});
  EXPECT_EQ(scriptSection(report(image)), "\r\nDeleting \"C:\\evil\" -> Success!\r\n");
  EXPECT_FALSE(image.exists("C:\\evil"));
  EXPECT_EQ(image.read(backup("C\\evil\\y.txt")), "why");
  EXPECT_EQ(image.read(backup("C\\evil\\sub\\x.dll")), "ex");
  EXPECT_TRUE(fs::is_directory(image.host(backup("C\\evil\\empty"))));
}

}  // namespace
