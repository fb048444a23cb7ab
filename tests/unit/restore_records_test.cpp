// QuorelRestore's reading of the record files: every state a record can be
// in, runs of the same time stamp paired in order, and the files' own damage.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "restore/restore_records.h"
#include "support/base_machine.h"
#include "support/machine_image.h"

namespace {

using qftest::MachineImage;

const std::u16string kBackup = u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups";

std::string utf16File(const std::u16string& text) {
  return std::string("\xFF\xFE", 2) + qftest::toUtf16le(emu::toUtf8(text));
}

std::u16string landed(const std::u16string& original, const std::u16string& landing,
                      const std::u16string& check = {}) {
  return u"move\t" + original + u"\r\nlanded\t" + landing + u"\t" +
         (check.empty() ? recordCheck(original + u"\t" + landing) : check) + u"\r\n";
}

// A registry record: its text, its check (the right one unless given), its result.
std::u16string record(const std::u16string& text, const std::u16string& result = u"; result 0\r\n",
                      const std::u16string& check = {}) {
  return u"\r\n" + text + u"; check " + (check.empty() ? recordCheck(text) : check) + u"\r\n" + result;
}

const char* stateName(RecordState state) {
  switch (state) {
    case RECORD_COMPLETE: return "complete";
    case RECORD_INCOMPLETE: return "incomplete";
    case RECORD_DAMAGED: return "damaged";
    case RECORD_NOT_READ: return "not read";
  }
  return "?";
}

// One line per run and per item: "run <stamp>", "  <state> <place>".
std::string outline(const std::vector<RestoreRun>& runs) {
  std::string out;
  for (const auto& run : runs) {
    out += "run " + emu::toUtf8(run.stamp) + "\n";
    for (const auto& item : run.items) out += std::string("  ") + stateName(item.state) + " " + emu::toUtf8(item.place) + "\n";
  }
  return out;
}

class RestoreRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    image.config(qftest::kBaseMachineToml);
    image.registry("");
    image.folder(std::string(qftest::kBackups));
    emu::useImage(image.root());
  }
  void write(const char* name, const std::string& bytes) {
    image.file(std::string(qftest::kBackups) + "\\" + name, bytes);
  }
  std::vector<RestoreRun> read() {
    return readRecords(kBackup, manifest, undo);
  }

  MachineImage image{"records"};
  RecordFileState manifest = RECORDS_READ;
  RecordFileState undo = RECORDS_READ;
};

TEST_F(RestoreRecords, EveryStateARecordCanBeIn) {
  const std::u16string m = kBackup + u"\\C\\";
  write("manifest.txt",
        utf16File(u"run\tR\r\n" +
                  landed(u"C:\\a.txt", m + u"a.txt") +                        // complete
                  u"move\tC:\\b.txt\r\nfailed\t32\r\n" +                      // never moved: not listed
                  landed(u"C:\\c.txt", m + u"c (2).txt") +                    // renamed by the shell
                  landed(u"C:\\d.txt", m + u"d.txt", u"0123") +               // its check does not match
                  landed(u"C:\\e\\f.txt", m + u"e") +                         // lands outside its mirror
                  landed(u"C:\\e\\f.txt", u"C:\\Windows\\f.txt") +            // outside the backup folder
                  u"mXve\tC:\\g.txt\r\n" +                                    // a damaged line
                  u"move\tC:\\h.txt\r\n" +                                    // the run ended before its outcome
                  u"run\tR\r\n" +
                  landed(u"C:\\i.txt", m + u"i.txt") +
                  u"move\tC:\\j.txt\r\nlanded\t" + m + u"j.txt\t" + recordCheck(u"C:\\j.txt\t" + m + u"j.txt")));
  const std::u16string run = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run]\r\n";
  write("undo.reg",
        utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n; run R\r\n" +
                  record(u"; deleted value\r\n[" + run + u"\"a\"=\"x\"\r\n") +
                  record(u"; blanked value\r\n[" + run + u"\"b\"=\"x\"\r\n", u"; result 5\r\n") +
                  record(u"; deleted key\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n@=hex:01,\\\r\n  02\r\n\r\n"
                         u"[HKEY_CURRENT_USER\\Software\\K\\Sub]\r\n") +
                  record(u"; deleted value\r\n[" + run + u"\"c\"=\"x\"\r\n", u"; result 0\r\n", u"0000") +
                  record(u"; deleted key\r\n[HKEY_CURRENT_USER\\Software\\K]\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n") +
                  record(u"; deleted value\r\n[" + run + u"\"d\"=\"x\"\r\n\"e\"=\"y\"\r\n") +
                  record(u"; deleted value\r\n[" + run + u"\"f\"=\"x\r\n") +
                  record(u"; deleted value\r\n[" + run + u"\"g\"=\"x\"\r\n", u"") +
                  u"\r\n; not read [5] HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\h\r\n; result 0\r\n" +
                  u"\r\n; run R\r\n" + record(u"; deleted value\r\n[" + run + u"@=dword:00000001\r\n")));

  EXPECT_EQ(outline(read()),
            "run R\n"
            "  complete C:\\a.txt\n"
            "  complete C:\\c.txt\n"
            "  damaged C:\\d.txt\n"
            "  damaged C:\\e\\f.txt\n"
            "  damaged C:\\e\\f.txt\n"
            "  damaged mXve\tC:\\g.txt\n"
            "  incomplete C:\\h.txt\n"
            "  complete HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\a\n"
            "  complete HKEY_CURRENT_USER\\Software\\K\n"
            "  damaged HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\c\n"   // its check does not match
            "  damaged HKEY_CURRENT_USER\\Software\\K\n"           // a key outside the tree
            "  damaged HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\d\n"   // two values in a value record
            "  damaged HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\n"        // a value line that cannot be read
            "  incomplete HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\g\n"  // no result before the next record
            "  not read HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\h\n"
            // The second run of the same stamp in each file, paired.
            "run R\n"
            "  complete C:\\i.txt\n"
            "  incomplete C:\\j.txt\n"  // its last line has no line end: cut short
            "  complete HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\\@\n");
  EXPECT_EQ(manifest, RECORDS_READ);
  EXPECT_EQ(undo, RECORDS_READ);
}

// A service record: its configuration's fields, then its key tree below the
// service's own key; read whole, or damaged, or left out when the deletion
// did not happen.
TEST_F(RestoreRecords, ServiceRecords) {
  ServiceConfig config;
  config.type = 1;
  config.start = 3;
  config.errorControl = 1;
  config.binaryPath = u"system32\\drivers\\x.sys";
  config.displayName = u"x";
  const std::u16string fields = serviceRecordLines(u"x", config);
  const std::u16string lastField = u"; service description none\r\n";
  const std::u16string withoutLast = fields.substr(0, fields.size() - lastField.size());
  const std::u16string key = u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\x]\r\n";
  const std::u16string sub = u"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\x\\Parameters]\r\n";
  write("undo.reg",
        utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n; run R\r\n" +
                  record(fields + key + u"\"Start\"=dword:00000003\r\n" + sub + u"\"p\"=\"1\"\r\n") +
                  record(fields) +                                     // no key: its configuration alone
                  record(fields + key, u"; result 1072\r\n") +         // the deletion refused: not listed
                  record(fields + u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\y]\r\n") +
                  record(withoutLast + key) +                          // a field missing
                  record(fields + key + lastField) +                   // a field after the key
                  record(u"; deleted service x\r\n" + fields.substr(fields.find(u"\r\n") + 2)) +
                  record(fields + key, u"")));                         // no result before the end
  const std::vector<RestoreRun> runs = read();
  EXPECT_EQ(outline(runs),
            "run R\n"
            "  complete x\n"
            "  complete x\n"
            "  damaged x\n"     // a key that is not the service's
            "  damaged x\n"
            "  damaged x\n"
            "  damaged x\n"     // the kind line's name unquoted
            "  incomplete x\n");
  ASSERT_EQ(runs.size(), 1u);
  const RestoreItem& item = runs[0].items[0];
  EXPECT_EQ(item.kind, ITEM_DELETED_SERVICE);
  EXPECT_TRUE(item.service == config);
  ASSERT_EQ(item.blocks.size(), 2u);
  EXPECT_EQ(item.blocks[0].subKey, u"SYSTEM\\CurrentControlSet\\Services\\x");
  EXPECT_EQ(item.blocks[1].subKey, u"SYSTEM\\CurrentControlSet\\Services\\x\\Parameters");
  EXPECT_EQ(item.blocks[1].values.size(), 1u);
  EXPECT_TRUE(runs[0].items[1].blocks.empty());
}

TEST_F(RestoreRecords, TheFilesThemselves) {
  struct Row {
    const char* what;
    const char* manifestBytes;  // nullptr: no file
    std::size_t manifestSize;
    const char* undoBytes;
    std::size_t undoSize;
    RecordFileState manifest;
    RecordFileState undo;
  };
  const Row rows[] = {
      {"neither", nullptr, 0, nullptr, 0, RECORDS_MISSING, RECORDS_MISSING},
      {"empty files", "", 0, "", 0, RECORDS_DAMAGED, RECORDS_DAMAGED},
      {"the mark alone", "\xFF\xFE", 2, "\xFF\xFE", 2, RECORDS_READ, RECORDS_DAMAGED},
      {"8-bit text", "run\tR\r\n", 7, "Windows Registry Editor Version 5.00\r\n", 38, RECORDS_DAMAGED, RECORDS_DAMAGED},
  };
  for (const auto& r : rows) {
    std::filesystem::remove(image.host(std::string(qftest::kBackups) + "\\manifest.txt"));
    std::filesystem::remove(image.host(std::string(qftest::kBackups) + "\\undo.reg"));
    if (r.manifestBytes) write("manifest.txt", std::string(r.manifestBytes, r.manifestSize));
    if (r.undoBytes) write("undo.reg", std::string(r.undoBytes, r.undoSize));
    EXPECT_EQ(outline(read()), "") << r.what;
    EXPECT_EQ(manifest, r.manifest) << r.what;
    EXPECT_EQ(undo, r.undo) << r.what;
  }
}

}  // namespace
