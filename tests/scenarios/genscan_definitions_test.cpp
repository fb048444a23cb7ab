// The table phases of the definition sweep: Run values, program folders and
// file rules, each item's line, and what stays on the machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sweep_image.h"
#include "support/machine_image.h"

namespace {

using sweeps::expectScanSection;
using sweeps::quarantined;

std::string deletingFile(std::string_view path) {
  return "\r\nDeleting file: \"" + std::string(path) + "\" -> Success!";
}
std::string deletingFolder(std::string_view path) {
  return "\r\nDeleting folder: \"" + std::string(path) + "\" -> Success!";
}

// ---------------------------------------------------------------- Run values

const std::string HKLM_RUN = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run])";
const std::string HKCU_RUN = R"([HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run])";
std::string runLine(std::string_view root, std::string_view value, std::string_view outcome = "Success!") {
  return "\r\nRemoving registry item: \"" + std::string(root) + R"(\Software\Microsoft\Windows\CurrentVersion\Run\\)" +
         std::string(value) + "\" -> " + std::string(outcome);
}

// All five values of both roots, in table order; a harmless value stays.
TEST(GenScanRunValues, BothRootsInTableOrder) {
  qftest::MachineImage image("run-values");
  sweeps::setUp(image, "",
                HKCU_RUN + "\n\"dll32\"=\"C:\\\\WINDOWS\\\\system32\\\\dll32.exe\"\n\"ctfmon.exe\"=\"ctfmon.exe\"\n\n" +
                    HKLM_RUN +
                    "\n\"pp\"=\"pp01.exe\"\n\"SYSMSTRAY\"=\"x\"\n\"sysftray2\"=\"x\"\n\"sysldtray\"=\"x\"\n"
                    "\"SoundMan\"=\"SOUNDMAN.EXE\"\n");
  image.run();
  expectScanSection(image, runLine("HKLM", "sysldtray") + runLine("HKLM", "sysftray2") +
                               runLine("HKLM", "sysmstray") + runLine("HKLM", "pp") + runLine("HKCU", "dll32"));
  // A second run finds none of them; the harmless values were left alone.
  image.config(sweeps::BASE_CONFIG);  // fresh answers; the registry keeps its changes
  image.run();
  expectScanSection(image, "");
  const std::string reg = image.registryText();
  EXPECT_EQ(reg.find("[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]"), std::string::npos);
  EXPECT_EQ(reg.find("\"SoundMan\"=-"), std::string::npos);
  EXPECT_EQ(reg.find("\"ctfmon.exe\"=-"), std::string::npos);
}

// A missing value, or a missing Run key, leaves no line.
TEST(GenScanRunValues, MissingValuesLeaveNoLine) {
  qftest::MachineImage image("run-missing");
  sweeps::setUp(image, "",
                R"([-HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run])"
                "\n\n" +
                    HKLM_RUN + "\n\"pp\"=\"pp01.exe\"\n\"sysldtray2\"=\"x\"\n");
  image.run();
  expectScanSection(image, runLine("HKLM", "pp"));
}

// A key that refuses the deletion: the open fails before the value is looked
// for, so every row of that key shows the code, present or not.
TEST(GenScanRunValues, RefusedDeletion) {
  qftest::MachineImage image("run-refused");
  sweeps::setUp(image,
                "[[fault.registry]]\nkey = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run'\n"
                "access = 0x10000\ncode = 5\n",
                HKLM_RUN + "\n\"pp\"=\"pp01.exe\"\n\n" + HKCU_RUN + "\n\"dll32\"=\"dll32.exe\"\n");
  image.run();
  expectScanSection(image, runLine("HKLM", "sysldtray", "Failed [5]") + runLine("HKLM", "sysftray2", "Failed [5]") +
                               runLine("HKLM", "sysmstray", "Failed [5]") + runLine("HKLM", "pp", "Failed [5]") +
                               runLine("HKCU", "dll32"));
}

// ---------------------------------------------------------------- folders and files

// A folder rule takes the whole folder; a file of that name is no folder, and
// a folder named like a file rule is no file.
TEST(GenScanFolders, FoldersOnlyForFolderRulesFilesOnlyForFileRules) {
  qftest::MachineImage image("folders");
  sweeps::setUp(image);
  image.file(R"(C:\Program Files\ddnsfilter\ddnsfilter.exe)", "MZ");
  image.file(R"(C:\Program Files\ddnsfilter\data\list.txt)", "x");
  image.file(R"(C:\Program Files\webserver)", "not a folder");
  image.file(R"(C:\WINDOWS\system32\drivers\xwoarh.sys\inside.txt)", "a folder named like a driver");
  image.run();
  expectScanSection(image, deletingFolder(R"(C:\Program Files\ddnsfilter)"));
  EXPECT_FALSE(image.exists(R"(C:\Program Files\ddnsfilter)"));
  EXPECT_EQ(image.read(quarantined(R"(C:\Program Files\ddnsfilter\data\list.txt)")), "x");
  EXPECT_TRUE(image.exists(R"(C:\Program Files\webserver)"));
  EXPECT_TRUE(image.exists(R"(C:\WINDOWS\system32\drivers\xwoarh.sys\inside.txt)"));
}

// Wildcard rules take every matching file, in the platform's order, and never
// look into subfolders.
TEST(GenScanFiles, WildcardsMatchSeveralFilesButNotInSubfolders) {
  qftest::MachineImage image("wildcards");
  sweeps::setUp(image);
  const std::vector<std::string> matching = {
      R"(C:\WINDOWS\freddy01.exe)", R"(C:\WINDOWS\freddy02.exe)", R"(C:\WINDOWS\FreddyXY.exe)",
      R"(C:\WINDOWS\mstre21.exe)",  R"(C:\WINDOWS\010112010146ab.exe)",
  };
  const std::vector<std::string> staying = {
      R"(C:\WINDOWS\freddy123.exe)",       // three characters where two are allowed
      R"(C:\WINDOWS\freddy01.dll)",        // another extension
      R"(C:\WINDOWS\010112010146ab.dll)",  // no x after the dot
      R"(C:\WINDOWS\system\bk23567.dat)",  // a subfolder of the base folder
      R"(C:\WINDOWS\system32\xwoarh.sys)", // the driver rule's name, one folder up
  };
  for (const auto& p : matching) image.file(p, "MZ");
  for (const auto& p : staying) image.file(p, "MZ");
  image.run();
  expectScanSection(image, deletingFile(R"(C:\WINDOWS\freddy01.exe)") + deletingFile(R"(C:\WINDOWS\freddy02.exe)") +
                               deletingFile(R"(C:\WINDOWS\FreddyXY.exe)") +
                               deletingFile(R"(C:\WINDOWS\mstre21.exe)") +
                               deletingFile(R"(C:\WINDOWS\010112010146ab.exe)"));
  for (const auto& p : matching) {
    EXPECT_FALSE(image.exists(p)) << p;
    EXPECT_TRUE(image.exists(quarantined(p))) << p;
  }
  for (const auto& p : staying) EXPECT_TRUE(image.exists(p)) << p;
}

// The unconditional rows each take their file, in table order.
TEST(GenScanFiles, UnconditionalRowsInTableOrder) {
  qftest::MachineImage image("unconditional");
  sweeps::setUp(image);
  const std::vector<std::string> files = {
      R"(C:\WINDOWS\system32\drivers\xwoarh.sys)", R"(C:\WINDOWS\bk23567.dat)",
      R"(C:\WINDOWS\fs1234.dat)",                  R"(C:\WINDOWS\mmsmark2.dat)",
      R"(C:\WINDOWS\ld01.exe)",                    R"(C:\WINDOWS\bolivar77.exe)",
      R"(C:\WINDOWS\pp02.exe)",                    R"(C:\WINDOWS\fdgg34353edfgdfdf)",
      R"(C:\WINDOWS\9g2abcdefgh3dfgjf23)",         R"(C:\WINDOWS\system32\fio32.dll)",
      R"(C:\WINDOWS\system32\drivers\fio32.sys)",  R"(C:\WINDOWS\system32\drivers\DnsFilter.sys)",
  };
  std::string expected;
  for (const auto& p : files) {
    image.file(p, "MZ");
    expected += deletingFile(p);
  }
  image.run();
  expectScanSection(image, expected);
}

// Row 12 keeps a dll32.exe whose fingerprint differs, and one that cannot be
// read. (No file with the listed fingerprint can be made; the matching branch
// is tested on the rule itself, in genscan_rules_test.)
TEST(GenScanFiles, FingerprintRuleKeepsOtherAndUnreadableFiles) {
  for (bool unreadable : {false, true}) {
    qftest::MachineImage image(unreadable ? "dll32-unreadable" : "dll32-other");
    sweeps::setUp(image, unreadable ? "[[fault.file]]\npath = 'C:\\WINDOWS\\system32\\dll32.exe'\ncode = 5\n"
                                      "attributes = true\n"
                                    : "");
    image.file(R"(C:\WINDOWS\system32\dll32.exe)", "MZ another program");
    image.run();
    expectScanSection(image, "");
    EXPECT_TRUE(image.exists(R"(C:\WINDOWS\system32\dll32.exe)"));
  }
}

// Row 16: the search plug-in that holds the rogue address goes; one without
// it, or one that cannot be opened, stays.
TEST(GenScanFiles, SignatureRule) {
  const std::string plugin = R"(C:\Program Files\Mozilla Firefox\searchplugins\search.xml)";
  struct Variant {
    const char* name;
    std::string content;
    std::string toml;
    bool removed;
  };
  const std::vector<Variant> variants = {
      {"with-prefix",
       "<SearchPlugin>\n<Url type=\"text/html\" template=\"http://search-now.test/?q={searchTerms}\"/>\n</SearchPlugin>",
       "", true},
      {"without-prefix",
       "<SearchPlugin>\n<Url type=\"text/html\" template=\"http://search-now.test?q={searchTerms}\"/>\n</SearchPlugin>",
       "", false},
      {"unreadable", "http://search-now.test/?q=",
       "[[fault.file]]\npath = '" + plugin + "'\ncode = 5\nattributes = true\n", false},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    qftest::MachineImage image(v.name);
    sweeps::setUp(image, v.toml);
    image.file(plugin, v.content);
    image.file(R"(C:\Program Files\Mozilla Firefox\searchplugins\google.xml)", "http://search-now.test/?");
    image.run();
    expectScanSection(image, v.removed ? deletingFile(plugin) : "");
    EXPECT_EQ(image.exists(plugin), !v.removed);
    EXPECT_TRUE(image.exists(R"(C:\Program Files\Mozilla Firefox\searchplugins\google.xml)"));
  }
}

}  // namespace
