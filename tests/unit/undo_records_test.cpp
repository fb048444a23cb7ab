// The undo records: the records the removal primitives append to undo.reg
// and manifest.txt (byte for byte), and removals that go ahead without a
// record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/scoped.h"
#include "restore/restore_records.h"
#include "support/base_machine.h"
#include "support/machine_image.h"
#include "system/remover.h"
#include "system/undo_records.h"

namespace {

using qftest::MachineImage;

// ---------------------------------------------------------------- records of the primitives

class UndoRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    image.config(std::string(qftest::kBaseMachineToml) + R"(
[[fault.registry]]
key = 'HKEY_LOCAL_MACHINE\SOFTWARE\Test\Locked\Sub'
access = 0x10000
code = 5

[[fault.registry]]
key = 'HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoRead'
access = 0x0001
code = 5

[[fault.file]]
path = 'C:\a\locked.dll'
code = 32
attributes = true
)");
    image.registry(R"(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Desktop"="C:\\Documents and Settings\\Owner\\Desktop"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test]
"MixedCase"=hex(2):41,00,00,00
"Server"="85.255.112.1"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoRead]
"v"="unseen"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Locked]

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Locked\Sub]
"v"=dword:00000001

[HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{x}]
@="machine's copy"

[HKEY_CURRENT_USER\Software\Classes\CLSID\{x}]
@="user's copy"

[HKEY_CURRENT_USER\Software\Classes\CLSID\{x}\Inner]
"b"=hex:01
)");
    image.folder(backups);
    emu::useImage(image.root());
  }

  std::string undoText() const { return qftest::fromUtf16le(image.read(backups + "\\undo.reg")); }
  std::string manifestText() const { return qftest::fromUtf16le(image.read(backups + "\\manifest.txt")); }

  // A registry record as appended: blank line, text, check, result.
  static std::string record(const std::u16string& text, int result) {
    return "\r\n" + emu::toUtf8(text) + "; check " + emu::toUtf8(recordCheck(text)) + "\r\n; result " +
           std::to_string(result) + "\r\n";
  }
  // A move and where it landed, with the fingerprint of what landed.
  static std::string landed(const std::u16string& original, const std::u16string& landing,
                            const std::u16string& content) {
    return "move\t" + emu::toUtf8(original) + "\r\nlanded\t" + emu::toUtf8(landing) + "\t" + emu::toUtf8(content) +
           "\t" + emu::toUtf8(recordCheck(original + u"\t" + landing + u"\t" + content)) + "\r\n";
  }

  MachineImage image{"undo"};
  const std::string backups = std::string(qftest::kBackups);
};

TEST_F(UndoRecords, RegistryChangesAreRecordedBeforeTheyHappen) {
  startUndoRun(u"2010-07-03 14:05:09");
  // The stored name, type and bytes; nothing for what is not there.
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"Software\\Test", u"mixedcase"), 0);
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"Software\\Test", u"missing"), 2);
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"Software\\Missing", u"x"), 2);
  const REG_DEF server{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Server"};
  EXPECT_EQ(setRegSZValue(&server, u""), 0);
  // Through HKEY_CLASSES_ROOT the user's copy goes first, and is recorded where it lives.
  EXPECT_EQ(deleteRegDef(win::HKEY_CLASSES_ROOT, u"clsid\\{X}", nullptr), 0);
  // A tree whose deletion is refused keeps its record, closed by the code.
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\Locked", nullptr), 5);
  RegNode node{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\Locked\\Sub", u"v", nullptr};
  EXPECT_EQ(deleteReg(node), 5);  // its open is refused: nothing recorded
  // A value that cannot be read goes all the same; its record says so.
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\NoRead", u"v"), 0);

  const std::string expected =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; run 2010-07-03 14:05:09\r\n" +
      record(u"; deleted value\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"MixedCase\"=hex(2):41,00,00,00\r\n", 0) +
      record(u"; blanked value\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n\"Server\"=\"85.255.112.1\"\r\n", 0) +
      record(u"; deleted key\r\n[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{x}]\r\n@=\"user's copy\"\r\n\r\n"
             u"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{x}\\Inner]\r\n\"b\"=hex:01\r\n",
             0) +
      record(u"; deleted key\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Locked]\r\n\r\n"
             u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Locked\\Sub]\r\n\"v\"=dword:00000001\r\n",
             5) +
      "\r\n; not read [5] HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\NoRead\\\\v\r\n; result 0\r\n";
  EXPECT_EQ(undoText(), expected);
}

TEST_F(UndoRecords, MovesAreRecordedWithWhereTheyLanded) {
  image.file("C:\\a\\b.txt", "now");
  image.file("C:\\a\\c.txt", "c");
  image.file(backups + "\\C\\a\\b.txt", "earlier");
  image.file(backups + "\\C\\a\\b (2).txt", "earlier too");
  EXPECT_EQ(deleteFile(u"C:\\a\\c.txt"), 0);
  EXPECT_EQ(deleteFile(u"C:\\a\\b.txt"), 0);
  image.file("C:\\a\\locked.dll", "in use");
  EXPECT_EQ(deleteFile(u"C:\\a\\locked.dll"), 32);
  EXPECT_EQ(deleteFile(u"C:"), 1026);  // refused before the move: no record
  const std::u16string mirror = u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\C\\a\\";
  // The fingerprints are the MD5 digests of "c" and "now".
  EXPECT_EQ(manifestText(), "\xEF\xBB\xBF" + landed(u"C:\\a\\c.txt", mirror + u"c.txt", u"4A8A08F09D37B73795649038408B5F33") +
                                // The shell renamed it beside the two earlier ones.
                                landed(u"C:\\a\\b.txt", mirror + u"b (3).txt", u"97BC592B27A9ADA2D9A4BB418ED0EBED") +
                                "move\tC:\\a\\locked.dll\r\nfailed\t32\r\n");
  EXPECT_EQ(image.read(backups + "\\C\\a\\b (3).txt"), "now");
}

TEST_F(UndoRecords, WithoutABackupFolderTheChangesStillHappen) {
  std::filesystem::remove_all(image.host(backups));
  image.file("C:\\a\\c.txt", "c");
  EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Server"), 0);
  // The move makes the folders it needs; the manifest follows from then on.
  EXPECT_EQ(deleteFile(u"C:\\a\\c.txt"), 0);
  EXPECT_FALSE(image.exists(backups + "\\undo.reg"));
  EXPECT_TRUE(image.exists(backups + "\\C\\a\\c.txt"));
  EXPECT_TRUE(image.exists(backups + "\\manifest.txt"));
}

}  // namespace
