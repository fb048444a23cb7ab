// The fake Java plug-in: every branch from the delay-load value through the
// class registration to the DLL, and what each leaves in the report, the
// registry and the file system.
#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <tuple>

#include "support/base_machine.h"
#include "support/machine_image.h"
#include "sweep_image.h"

namespace {

using sweeps::expectScanSection;
using sweeps::quarantined;

constexpr char CLSID[] = "{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}";
const std::string DLL = R"(C:\Program Files\Common Files\Java\JavaPlug-in.dll)";
const std::string DELAY_LOAD =
    R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad])";

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// regedit escapes backslashes in string data.
std::string regText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string delayLoadValue(std::string_view name = "JavaPlug-in", std::string_view data = CLSID) {
  return DELAY_LOAD + "\n\"" + std::string(name) + "\"=\"" + std::string(data) + "\"\n\n";
}
// The class registration, under HKLM or HKCU Software\Classes; a server key
// with the DLL path as its default value when one is given.
std::string classKey(std::string_view dll, std::string_view root = "HKEY_LOCAL_MACHINE") {
  std::string key = "[" + std::string(root) + R"(\Software\Classes\CLSID\)" + CLSID + "]\n@=\"Java Plug-in\"\n\n";
  key += "[" + std::string(root) + R"(\Software\Classes\CLSID\)" + CLSID + "\\InProcServer32]\n";
  if (!dll.empty()) key += "@=\"" + regText(dll) + "\"\n\"ThreadingModel\"=\"Apartment\"\n";
  key += "\n[" + std::string(root) + R"(\Software\Classes\CLSID\)" + CLSID + "\\Implemented Categories]\n\n";
  return key;
}

std::string fileLine(std::string_view dll, std::string_view outcome) {
  return "\r\nDeleting file: \"" + std::string(dll) + "\" -> " + std::string(outcome);
}
std::string keyLine(std::string_view outcome = "Success!") {
  return "\r\nRemoving registry key: \"HKCR\\CLSID\\" + std::string(CLSID) + "\" -> " + std::string(outcome);
}
// One backslash between the key path and the value name.
std::string valueLine(std::string_view name = "JavaPlug-in", std::string_view outcome = "Success!") {
  return "\r\nRemoving registry item: "
         R"("HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad\)" +
         std::string(name) + "\" -> " + std::string(outcome);
}

struct Case {
  const char* name;
  std::string registry;
  std::string dllOnDisk;  // the file made, if any
  std::string toml;
  std::string section;
  std::optional<std::string> sectionOnXp = {};  // where XP's section differs
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Every case on XP SP3 and on a later release.
class JavaPlugin : public ::testing::TestWithParam<std::tuple<Case, std::string_view>> {};

TEST_P(JavaPlugin, ScanSection) {
  const auto& [c, version] = GetParam();
  qftest::MachineImage image(c.name);
  sweeps::setUp(image, c.toml, c.registry, version);
  if (!c.dllOnDisk.empty()) image.file(c.dllOnDisk, "MZ fake plug-in");
  image.run();
  const std::string& section = version == "xp" && c.sectionOnXp ? *c.sectionOnXp : c.section;
  expectScanSection(image, section);
  // The class key is deleted (as a whole tree) exactly when its line says so.
  const bool removed = section.find(keyLine()) != std::string::npos;
  const std::string reg = lower(image.registryText());
  const std::string tail = lower(std::string(R"(\software\classes\clsid\)") + CLSID + "]");
  const bool deleted = reg.find("[-hkey_local_machine" + tail) != std::string::npos ||
                       reg.find("[-hkey_current_user" + tail) != std::string::npos;
  EXPECT_EQ(deleted, removed) << image.registryText();
}

INSTANTIATE_TEST_SUITE_P(
    Heuristics, JavaPlugin,
    ::testing::Combine(::testing::Values(
        // No value of that name: nothing.
        Case{"NoValue", delayLoadValue("JavaPlugin") + classKey(DLL), DLL, "", ""},
        // The name in another letter case is the same name.
        Case{"NameInLowerCase", delayLoadValue("javaplug-in") + classKey(DLL), DLL, "",
             fileLine(DLL, "Success!") + keyLine() + valueLine("javaplug-in")},
        // The value leads to no class registration.
        Case{"NoServerKey", delayLoadValue(), "", "", ""},
        // A server key without a default value.
        Case{"NoDefaultValue", delayLoadValue() + classKey(""), DLL, "", ""},
        // A DLL anywhere else, or under another name, is the real thing.
        Case{"OtherFolder", delayLoadValue() + classKey(R"(C:\Program Files\Java\jre6\bin\JavaPlug-in.dll)"),
             R"(C:\Program Files\Java\jre6\bin\JavaPlug-in.dll)", "", ""},
        Case{"OtherName", delayLoadValue() + classKey(R"(C:\Program Files\Common Files\Java\JavaPlugin.dll)"),
             R"(C:\Program Files\Common Files\Java\JavaPlugin.dll)", "", ""},
        Case{"LongerPath", delayLoadValue() + classKey(R"(C:\Program Files\Common Files\Java\JavaPlug-in.dll.bak)"),
             "", "", ""},
        // Any drive, any letter case after it.
        Case{"OtherDriveAndCase", delayLoadValue() + classKey(R"(D:\PROGRAM FILES\common files\JAVA\javaplug-in.DLL)"),
             R"(D:\PROGRAM FILES\common files\JAVA\javaplug-in.DLL)", "",
             fileLine(R"(D:\PROGRAM FILES\common files\JAVA\javaplug-in.DLL)", "Success!") + keyLine() +
                 valueLine()},
        // The whole class key goes, with its subkeys, and the value.
        Case{"Removed", delayLoadValue() + classKey(DLL), DLL, "", fileLine(DLL, "Success!") + keyLine() + valueLine()},
        // The registration under the user's classes counts as well.
        Case{"UserClasses", delayLoadValue() + classKey(DLL, "HKEY_CURRENT_USER"), DLL, "",
             fileLine(DLL, "Success!") + keyLine() + valueLine()},
        // The DLL is gone already: "Not found", and the registration still goes.
        // XP's shell answers 1026 for the missing file: "Failed [1026]", with
        // nothing scheduled for the reboot pass.
        Case{"DllMissing", delayLoadValue() + classKey(DLL), "", "",
             fileLine(DLL, "Not found") + keyLine() + valueLine(),
             fileLine(DLL, "Failed [1026]") + keyLine() + valueLine()},
        // A locked DLL goes on the reboot list; the registration goes now.
        Case{"DllLocked", delayLoadValue() + classKey(DLL), DLL,
             "[[fault.file]]\npath = '" + DLL + "'\ncode = 32\nattributes = true\n",
             fileLine(DLL, "Failed [32] -> Delete on reboot") + keyLine() + valueLine()},
        // A value of another type is never listed.
        Case{"BinaryValue",
             DELAY_LOAD + "\n\"JavaPlug-in\"=hex:7b,00,36,00,46,00,7d,00,00,00\n\n" + classKey(DLL), DLL, "", ""},
        // A refused value deletion shows its code; the key line comes first.
        Case{"ValueDeletionRefused", delayLoadValue() + classKey(DLL), DLL,
             "[[fault.registry]]\n"
             "key = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad'\n"
             "access = 0x10000\ncode = 5\n",
             fileLine(DLL, "Success!") + keyLine() + valueLine("JavaPlug-in", "Failed [5]")},
        // The delay-load key refuses the rights the check asks for: nothing.
        Case{"DelayLoadKeyRefused", delayLoadValue() + classKey(DLL), DLL,
             "[[fault.registry]]\n"
             "key = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad'\n"
             "access = 0x0002\ncode = 5\n",
             ""}),
                       ::testing::ValuesIn(qftest::kWindowsVersions)),
    [](const ::testing::TestParamInfo<JavaPlugin::ParamType>& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::string(std::get<1>(info.param));
    });

// A DLL that a restart would not let the program move either is reported but
// never scheduled: not a missing one, whose code is XP's 1026 ("Failed
// [1026]") or 2 from Vista on ("Not found"), nor one whose place in the
// backup folder would be longer than Windows allows (206). Nothing goes on
// the reboot list and the machine is not restarted, on either release.
class JavaPluginNoReboot : public ::testing::TestWithParam<std::string_view> {};

TEST_P(JavaPluginNoReboot, MissingDll) {
  const std::string_view version = GetParam();
  qftest::MachineImage image("missing");
  sweeps::setUp(image, "", delayLoadValue() + classKey(DLL), version);
  image.run();
  expectScanSection(image, fileLine(DLL, version == "xp" ? "Failed [1026]" : "Not found") + keyLine() + valueLine());
  EXPECT_EQ(image.read(sweeps::REBOOT_LIST), "\xFF\xFE");
  EXPECT_EQ(sweeps::journalCount(image, "ExitWindowsEx"), 0) << image.journal();
}

TEST_P(JavaPluginNoReboot, DestinationTooLong) {
  // <desktop>\QuorelFix Backups\C\Program Files\...\JavaPlug-in.dll is 269
  // characters with this 200-character desktop; the report still fits.
  const std::string desktop = std::string(qftest::kDesktop) + "\\" + std::string(160, 'd');
  ASSERT_EQ(desktop.size(), 200u);
  qftest::MachineImage image("too-long");
  sweeps::setUp(image, "", delayLoadValue() + classKey(DLL) +
                               "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                               "Folders]\n\"Desktop\"=\"" + regText(desktop) + "\"\n",
                GetParam());
  image.folder(desktop);
  image.file(DLL, "MZ fake plug-in");
  image.run();
  const std::string report = qftest::fromUtf16le(image.read(desktop + "\\QuorelFix.txt"));
  const std::string lines = fileLine(DLL, "Failed [206]") + keyLine() + valueLine();
  EXPECT_NE(report.find("========== QuorelScan ==========\r\n" + lines + "\r\n\r\n========== QuorelLog"),
            std::string::npos)
      << report;
  EXPECT_EQ(image.read(desktop + "\\QuorelFix Backups\\reboot.txt"), "\xFF\xFE");
  EXPECT_EQ(sweeps::journalCount(image, "ExitWindowsEx"), 0) << image.journal();
  EXPECT_EQ(image.read(DLL), "MZ fake plug-in");
}

INSTANTIATE_TEST_SUITE_P(Heuristics, JavaPluginNoReboot, ::testing::ValuesIn(qftest::kWindowsVersions),
                         [](const auto& info) { return std::string(info.param); });

// The file moves into the backup folder; the reboot list receives the locked one.
TEST(HeuristicsJavaPlugin, FileOutcomes) {
  {
    qftest::MachineImage image("moved");
    sweeps::setUp(image, "", delayLoadValue() + classKey(DLL));
    image.file(DLL, "MZ fake plug-in");
    image.run();
    EXPECT_FALSE(image.exists(DLL));
    EXPECT_EQ(image.read(quarantined(DLL)), "MZ fake plug-in");
  }
  {
    qftest::MachineImage image("locked");
    sweeps::setUp(image, "[[fault.file]]\npath = '" + DLL + "'\ncode = 32\nattributes = true\n",
                  delayLoadValue() + classKey(DLL));
    image.file(DLL, "MZ fake plug-in");
    image.run();
    EXPECT_TRUE(image.exists(DLL));
    EXPECT_EQ(image.read(sweeps::REBOOT_LIST), "\xFF\xFE" + qftest::toUtf16le(DLL + "\r\n"));
  }
}

}  // namespace
