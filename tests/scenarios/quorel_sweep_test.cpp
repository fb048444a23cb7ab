// The extension sweep, run end to end: its three phases, the "(none)" line,
// infected and orphaned registrations, and locked folders with and without
// the reboot list. The scan section of the report is compared byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "quorel_image.h"

namespace {

using namespace quorel_scn;

const std::string PF = std::string(FF_EXT);                                 // ends in a backslash
const std::string P1 = std::string(PROFILES) + R"(a1b2c3d4.default\extensions\)";
const std::string P2 = std::string(PROFILES) + R"(e5f6g7h8.work\extensions\)";
const std::string REG = "[" + std::string(REG_KEY) + "]\n";

TEST(QuorelSweep, NothingToSweepWritesNothing) {
  qftest::MachineImage image("nothing");
  setUp(image);
  const auto result = image.run();
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  expectBytes(scanSection(image), "");
}

TEST(QuorelSweep, EmptyProgramWideFolderWritesNoNoneLine) {
  qftest::MachineImage image("empty-pf");
  setUp(image);
  image.folder(PF);
  image.folder(P1);  // one profile, its extensions folder empty
  ASSERT_EQ(image.run().exitStatus, 0);
  expectBytes(scanSection(image), "\r\n(none)");
}

// All three phases in one run. The registration of {pf-infected} points at a
// folder that phase 1 moves away, so phase 3 finds it orphaned.
TEST(QuorelSweep, AllThreePhases) {
  qftest::MachineImage image("phases");
  infected(image, PF + "{pf-infected}");
  clean(image, PF + "{pf-clean}");
  infected(image, P1 + "{p1-infected}");
  image.file(P1 + R"({p1-adware}\install.rdf)", ADWARE_RDF);
  clean(image, P1 + "{p1-clean}");
  image.folder(P2);  // the second profile has no extensions
  infected(image, R"(C:\Documents and Settings\Owner\Local Settings\Ext\{reg-infected})");
  clean(image, R"(C:\Ext\{reg-clean})");
  const std::string registry =
      REG +
      // Registered with an environment variable and a trailing backslash.
      R"("{reg-infected}"="%USERPROFILE%\\Local Settings\\Ext\\{reg-infected}\\")" "\n"
      R"("{pf-infected}"="C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-infected}")" "\n"
      R"("{reg-clean}"="C:\\Ext\\{reg-clean}")" "\n"
      // An orphan shows its data as stored, the variable unexpanded.
      R"("{orphan}"="%ProgramFiles%\\Gone\\{orphan}")" "\n"
      R"("{count}"=dword:00000002)" "\n";
  const std::string times =
      "[[file_time]]\npath = 'C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-clean}'\n"
      "created = 2010-06-01T08:00:00Z\n"
      "[[file_time]]\npath = '" + P1 + "{p1-clean}'\ncreated = 2010-06-01T08:01:00Z\n"
      "[[file_time]]\npath = 'C:\\Ext\\{reg-clean}'\ncreated = 2010-06-01T08:02:00Z\n";
  setUp(image, times, registry);

  const auto result = image.run();
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  expectBytes(scanSection(image),
              "\r\nDeleting \"C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-infected}\" -> Success!"
              "\r\nDeleting \"" + P1 + "{p1-adware}\" -> Success!"
              "\r\nDeleting \"" + P1 + "{p1-infected}\" -> Success!"
              "\r\n(none)"
              "\r\nDeleting HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions\\\\{reg-infected} -> Success!"
              "\r\nDeleting C:\\Documents and Settings\\Owner\\Local Settings\\Ext\\{reg-infected} -> Success!"
              "\r\nRemoving Orphan:\r\n\"{pf-infected}\"=\"C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-infected}\" -> Success!"
              "\r\nRemoving Orphan:\r\n\"{orphan}\"=\"%ProgramFiles%\\Gone\\{orphan}\" -> Success!");

  // Flagged folders are in quarantine, clean ones and the clean
  // registration stay.
  for (const std::string& gone : {PF + "{pf-infected}", P1 + "{p1-infected}", P1 + "{p1-adware}",
                                  std::string(R"(C:\Documents and Settings\Owner\Local Settings\Ext\{reg-infected})")}) {
    EXPECT_FALSE(image.exists(gone)) << gone;
    EXPECT_TRUE(image.exists(quarantined(gone) + R"(\chrome)") || image.exists(quarantined(gone) + R"(\install.rdf)"))
        << quarantined(gone);
  }
  EXPECT_TRUE(image.exists(PF + "{pf-clean}"));
  EXPECT_TRUE(image.exists(P1 + "{p1-clean}"));
  EXPECT_TRUE(image.exists(R"(C:\Ext\{reg-clean})"));

  // The values of flagged and orphaned registrations are deleted.
  const std::string registryAfter = image.registryText();
  for (const char* deleted : {"\"{reg-infected}\"=-", "\"{pf-infected}\"=-", "\"{orphan}\"=-"})
    EXPECT_NE(registryAfter.find(deleted), std::string::npos) << deleted;
  EXPECT_EQ(registryAfter.find("\"{reg-clean}\"=-"), std::string::npos);

  // The inventory, later in the same run, lists only what is left.
  expectBytes(inventorySection(image),
              "\r\nC:\\Program Files\\Mozilla Firefox\\extensions\\"
              "\r\n{pf-clean} [08:00 01/06/2010]"
              "\r\n\r\n" + P1 +
              "\r\n{p1-clean} [08:01 01/06/2010]"
              "\r\n\r\n" + P2 +
              "\r\n(none)"
              "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions]"
              "\r\n\"{reg-clean}\"=\"C:\\Ext\\{reg-clean}\" [08:02 01/06/2010]");
}

// A registration whose value cannot be read any more, or holds no path, names
// no folder: it is neither tested nor treated as an orphan.
TEST(QuorelSweep, EmptyRegisteredValueIsLeftAlone) {
  qftest::MachineImage image("empty-value");
  // Were the empty path resolved against the current folder, these would look infected.
  infected(image, R"(C:\Documents and Settings\Owner\Desktop)");
  image.file(R"(C:\chrome\content\overlay.xul)", INFECTED_OVERLAY);
  setUp(image, {}, REG + R"("{empty}"="")" "\n" R"("{no-terminator}"=hex(1):)" "\n");
  ASSERT_EQ(image.run().exitStatus, 0);
  expectBytes(scanSection(image), "");
  EXPECT_TRUE(image.exists(R"(C:\chrome\content\overlay.xul)"));
}

// A registered folder that cannot be examined (access denied) is not an orphan.
TEST(QuorelSweep, UnreadableRegisteredFolderIsNoOrphan) {
  qftest::MachineImage image("denied");
  image.folder(R"(C:\Secret\{denied})");
  setUp(image,
        "[[fault.file]]\npath = 'C:\\Secret\\{denied}'\ncode = 5\nattributes = false\n",
        REG + R"("{denied}"="C:\\Secret\\{denied}")" "\n");
  ASSERT_EQ(image.run().exitStatus, 0);
  expectBytes(scanSection(image), "");
  EXPECT_NE(image.registryText().find("\"{denied}\"="), std::string::npos);
}

// Folders held open by a running program: a DLL inside is locked, so the
// folder cannot be moved. With the reboot list the paths are scheduled; the
// registered one without its trailing backslash.
TEST(QuorelSweep, LockedFoldersGoToTheRebootList) {
  qftest::MachineImage image("locked");
  infected(image, PF + "{pf-locked}");
  image.file(PF + R"({pf-locked}\components\hook.dll)", "MZ");
  infected(image, R"(C:\Ext\{reg-locked})");
  image.file(R"(C:\Ext\{reg-locked}\components\hook.dll)", "MZ");
  setUp(image,
        "[[fault.file]]\npath = 'C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-locked}\\components\\hook.dll'\n"
        "code = 32\n"
        "[[fault.file]]\npath = 'C:\\Ext\\{reg-locked}\\components\\hook.dll'\ncode = 32\n",
        REG + R"("{reg-locked}"="C:\\Ext\\{reg-locked}\\")" "\n");
  ASSERT_EQ(image.run().exitStatus, 0);
  expectBytes(scanSection(image),
              "\r\nDeleting \"C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-locked}\" -> Failed [32] -> Delete on reboot"
              "\r\nDeleting HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions\\\\{reg-locked} -> Success!"
              "\r\nDeleting C:\\Ext\\{reg-locked} -> Failed [32] -> Delete on reboot");
  EXPECT_EQ(qftest::fromUtf16le(image.read(REBOOT_LIST)),
            "\xEF\xBB\xBF"
            "C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-locked}\r\n"
            "C:\\Ext\\{reg-locked}\r\n");
  EXPECT_TRUE(image.exists(PF + "{pf-locked}"));
}

// Without the reboot list (it cannot be created: the backup folder's place
// is taken by a file) a locked folder is only reported.
TEST(QuorelSweep, LockedFolderWithoutTheRebootList) {
  qftest::MachineImage image("locked-no-list");
  infected(image, PF + "{pf-locked}");
  image.file(PF + R"({pf-locked}\components\hook.dll)", "MZ");
  image.file(BACKUPS, "a file where the backup folder would be");
  setUp(image,
        "[[fault.file]]\npath = 'C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-locked}\\components\\hook.dll'\n"
        "code = 32\n");
  ASSERT_EQ(image.run().exitStatus, 0);
  const std::string scan = qftest::fromUtf16le(scanSection(image));
  EXPECT_EQ(scan.rfind("\r\nDeleting \"C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-locked}\" -> Failed [", 0), 0u)
      << scan;
  EXPECT_EQ(scan.find("Delete on reboot"), std::string::npos) << scan;
  EXPECT_TRUE(image.exists(PF + "{pf-locked}"));
}

}  // namespace
