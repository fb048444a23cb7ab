// The whole reboot cycle: an item locked during the run goes to the reboot
// list, the RunOnce value is stored and Windows restarted with the report
// unfinished; booting the image runs the reboot pass, which finishes the
// removal, appends its lines under the Reboot banner and opens the report.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "script_machine.h"

namespace {

using qftest::MachineImage;
using qftest::toUtf16le;
using namespace scriptscen;

constexpr const char* kLocked = "C:\\WINDOWS\\system32\\wbemupd.dll";
constexpr const char* kLockedFault = R"(
[[fault.file]]
path = 'C:\WINDOWS\system32\wbemupd.dll'
code = 32
attributes = true
)";
constexpr const char16_t* kRunOnce = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The RunOnce value as the machine holds it now, or none.
std::optional<std::u16string> runOnceValue(const MachineImage& image) {
  emu::useImage(image.root());
  win::ScopedKey key;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kRunOnce, 0, win::KEY_READ, key.receive()) != win::ERROR_SUCCESS)
    return std::nullopt;
  char16_t data[1024] = {};
  win::DWORD type = 0;
  win::DWORD size = sizeof data - sizeof(char16_t);
  if (win::RegQueryValueExW(key.get(), u"QuorelFix_Reboot", nullptr, &type, reinterpret_cast<win::BYTE*>(data),
                            &size) != win::ERROR_SUCCESS || type != win::REG_SZ)
    return std::nullopt;
  return std::u16string(data);
}

// On XP SP3 and on Vista and later: the report, the reboot list and the
// journal are the same on both.
class RebootCycle : public ::testing::TestWithParam<std::string_view> {
 protected:
  // The interactive run: one item moved, one locked.
  void runWithLockedItem() {
    prepare(image, kLockedFault, GetParam());
    image.file(kLocked, "fio");
    image.file("C:\\a.txt", "A");
    image.file("C:\\script.txt", std::string("\xFF\xFE", 2) + toUtf16le(std::string("C:\\a.txt\r\n") + kLocked + "\r\n"));
    auto result = image.run({"C:\\script.txt"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
  }

  MachineImage image{"reboot"};
  const std::string firstLines = std::string(kHeader) + kScriptBanner +
                                 "\r\nDeleting \"C:\\a.txt\" -> Success!"
                                 "\r\nDeleting \"" + kLocked + "\" -> Failed [32] -> Delete on reboot"
                                 "\r\n" + kScanBanner;
  const std::string rebootList = std::string("\xFF\xFE", 2) + toUtf16le(std::string(kLocked) + "\r\n");
};

INSTANTIATE_TEST_SUITE_P(Windows, RebootCycle, ::testing::ValuesIn(qftest::kWindowsVersions),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(RebootCycle, LockedItemIsFinishedAfterTheRestart) {
  runWithLockedItem();

  // The run: scheduled, registered, restarted, report left unfinished.
  const std::string before = image.read(kReport);
  const std::string text = qftest::fromUtf16le(before);
  EXPECT_EQ(text.substr(0, firstLines.size()), firstLines);
  ASSERT_GE(text.size(), std::string_view(kRebootBanner).size());
  EXPECT_EQ(text.substr(text.size() - std::string_view(kRebootBanner).size()), kRebootBanner);
  EXPECT_EQ(image.read(kRebootList), rebootList);
  EXPECT_TRUE(image.exists(kLocked));
  const auto command = runOnceValue(image);
  ASSERT_TRUE(command.has_value());
  const std::u16string tail = u"\" \"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt\" /reboot";
  EXPECT_EQ(command->front(), u'"');
  ASSERT_GE(command->size(), tail.size());
  EXPECT_EQ(command->substr(command->size() - tail.size()), tail);
  const std::string journal = image.journal();
  EXPECT_NE(journal.find("MessageBoxW text=\"QuorelFix needs to restart your system. If your computer does not "
                         "restart automatically, please manually restart it by clicking 'Start' and selecting "
                         "'Restart' in the Shutdown menu.\" caption=\"QuorelFix - Restart Required\" style=0x40"),
            std::string::npos)
      << journal;
  EXPECT_NE(journal.find("ExitWindowsEx flags=0x12 reason=0"), std::string::npos) << journal;
  EXPECT_EQ(journal.find("notepad.exe"), std::string::npos) << journal;

  // The restart frees the lock: the machine's configuration without the fault.
  image.config(machineConfig({}, GetParam()));
  auto booted = image.boot();
  ASSERT_EQ(booted.exitStatus, 0) << booted.err;

  // The reboot pass appends to the same report and finishes it.
  EXPECT_EQ(image.read(kReport),
            before + toUtf16le(std::string("\r\nDeleting \"") + kLocked + "\" -> Success!" + kFooter));
  EXPECT_FALSE(image.exists(kLocked));
  EXPECT_EQ(image.read(backup("C\\WINDOWS\\system32\\wbemupd.dll")), "fio");
  // The reboot list is neither truncated nor deleted; the RunOnce value is gone.
  EXPECT_EQ(image.read(kRebootList), rebootList);
  EXPECT_FALSE(runOnceValue(image).has_value());
  const std::string afterBoot = image.journal().substr(journal.size());
  EXPECT_NE(afterBoot.find("RunOnce name=\"QuorelFix_Reboot\""), std::string::npos) << afterBoot;
  EXPECT_NE(afterBoot.find("CreateProcessW application=\"C:\\\\WINDOWS\\\\system32\\\\notepad.exe\" command=\""
                           "C:\\\\WINDOWS\\\\system32\\\\notepad.exe \\\"C:\\\\Documents and Settings\\\\Owner\\\\"
                           "Desktop\\\\QuorelFix.txt\\\"\""),
            std::string::npos)
      << afterBoot;
  EXPECT_EQ(afterBoot.find("ExitWindowsEx"), std::string::npos) << afterBoot;

  // The pass runs once: another boot changes nothing.
  const std::string finished = image.read(kReport);
  image.boot();
  EXPECT_EQ(image.read(kReport), finished);
}

// A second failure in the reboot pass is reported only: nothing is scheduled
// again, and the report is finished and opened.
TEST_P(RebootCycle, StillLockedAfterTheRestartIsOnlyReported) {
  runWithLockedItem();
  const std::string before = image.read(kReport);
  auto booted = image.boot();  // the fault stays
  ASSERT_EQ(booted.exitStatus, 0) << booted.err;
  EXPECT_EQ(image.read(kReport),
            before + toUtf16le(std::string("\r\nDeleting \"") + kLocked + "\" -> Failed [32]" + kFooter));
  EXPECT_TRUE(image.exists(kLocked));
  EXPECT_EQ(image.read(kRebootList), rebootList);
  EXPECT_FALSE(runOnceValue(image).has_value());
  const std::string journal = image.journal();
  EXPECT_EQ(journal.find("ExitWindowsEx"), journal.rfind("ExitWindowsEx"));  // only the first run's
}

}  // namespace
