// SHFileOperationW's moves on the emulated drives, with the flags the
// quarantine uses: FOF_SILENT | FOF_RENAMEONCOLLISION | FOF_NOCONFIRMATION |
// FOF_NOCONFIRMMKDIR | FOF_NOERRORUI (0x61C).
#include <filesystem>
#include <string>

#include "emulated_files_fixture.h"

namespace qftest {
namespace {

constexpr win::FILEOP_FLAGS kQuarantineFlags = win::FOF_SILENT | win::FOF_RENAMEONCOLLISION |
                                               win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR |
                                               win::FOF_NOERRORUI;
static_assert(kQuarantineFlags == 0x61C);

class ShellMove : public EmulatedFiles {
 protected:
  // Moves with double-zero-terminated lists; `from` and `to` may hold several
  // items separated by '|'.
  // `aborted` receives fAnyOperationsAborted; without it the flag must be FALSE.
  int move(std::string_view from, std::string_view to, win::FILEOP_FLAGS flags = kQuarantineFlags,
           win::UINT func = win::FO_MOVE, win::BOOL* aborted = nullptr) {
    std::u16string f = list(from);
    std::u16string t = list(to);
    win::SHFILEOPSTRUCTW op{};
    op.wFunc = func;
    op.pFrom = f.c_str();
    op.pTo = t.c_str();
    op.fFlags = flags;
    op.fAnyOperationsAborted = 7;
    const int result = win::SHFileOperationW(&op);
    if (aborted) {
      *aborted = op.fAnyOperationsAborted;
    } else {
      EXPECT_EQ(op.fAnyOperationsAborted, win::FALSE);
    }
    return result;
  }

  static std::u16string list(std::string_view items) {
    std::u16string out = w(items);
    for (auto& c : out)
      if (c == u'|') c = 0;
    out.push_back(0);  // with the string's own terminator: two
    return out;
  }
};

TEST_F(ShellMove, MovesAFileAndMakesTheMissingFolders) {
  image.file("C:\\WINDOWS\\system32\\x.dll", "bad");
  EXPECT_EQ(move("C:\\WINDOWS\\system32\\x.dll", "C:\\Backups\\C\\WINDOWS\\system32\\x.dll"), 0);
  EXPECT_FALSE(image.exists("C:\\WINDOWS\\system32\\x.dll"));
  EXPECT_EQ(image.read("C:\\Backups\\C\\WINDOWS\\system32\\x.dll"), "bad");
}

TEST_F(ShellMove, MovesAFolderWithItsContent) {
  image.file("C:\\Program Files\\Bad\\bin\\a.exe", "a");
  image.file("C:\\Program Files\\Bad\\b.dat", "b");
  image.folder("C:\\Program Files\\Bad\\empty");
  EXPECT_EQ(move("C:\\program files\\bad", "D:\\Q\\C\\Program Files\\Bad"), 0x402);  // no drive D:
  EXPECT_EQ(move("C:\\program files\\bad", "C:\\Q\\C\\Program Files\\Bad"), 0);
  EXPECT_FALSE(image.exists("C:\\Program Files\\Bad"));
  EXPECT_EQ(image.read("C:\\Q\\C\\Program Files\\Bad\\bin\\a.exe"), "a");
  EXPECT_EQ(image.read("C:\\Q\\C\\Program Files\\Bad\\b.dat"), "b");
  EXPECT_TRUE(image.exists("C:\\Q\\C\\Program Files\\Bad\\empty"));
}

TEST_F(ShellMove, CollisionsRenameTheMovedItem) {
  image.file("C:\\dest\\b.txt", "old");
  image.file("C:\\dest\\name", "old");
  image.file("C:\\dest\\dir\\kept.txt", "old");
  struct Row {
    const char* source;       // made with content "new", then moved
    const char* destination;
    const char* landedAt;
  } rows[] = {
      {"C:\\src\\b.txt", "C:\\dest\\b.txt", "C:\\dest\\b (2).txt"},
      {"C:\\src\\b.txt", "C:\\dest\\B.TXT", "C:\\dest\\B (3).TXT"},  // the destination's name as written
      {"C:\\src\\name", "C:\\dest\\name", "C:\\dest\\name (2)"},     // no extension
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.landedAt);
    image.file(row.source, "new");
    EXPECT_EQ(move(row.source, row.destination), 0);
    EXPECT_EQ(image.read(row.landedAt), "new");
    EXPECT_FALSE(image.exists(row.source));
  }
  EXPECT_EQ(image.read("C:\\dest\\b.txt"), "old");
  EXPECT_EQ(image.read("C:\\dest\\name"), "old");
  // A folder meeting a folder of its name is renamed too: both stay whole.
  image.file("C:\\src\\dir\\new.txt", "new");
  EXPECT_EQ(move("C:\\src\\dir", "C:\\dest\\dir"), 0);
  EXPECT_EQ(image.read("C:\\dest\\dir\\kept.txt"), "old");
  EXPECT_FALSE(image.exists("C:\\dest\\dir\\new.txt"));
  EXPECT_EQ(image.read("C:\\dest\\dir (2)\\new.txt"), "new");
}

TEST_F(ShellMove, WithoutRenameOnCollision) {
  const win::FILEOP_FLAGS flags = win::FOF_SILENT | win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR;
  image.file("C:\\a.txt", "new");
  image.file("C:\\dest\\a.txt", "old");
  image.file("C:\\b.txt", "b");
  image.folder("C:\\box");
  EXPECT_EQ(move("C:\\a.txt", "C:\\dest\\a.txt", flags), 0);  // replaced
  EXPECT_EQ(image.read("C:\\dest\\a.txt"), "new");
  EXPECT_EQ(move("C:\\b.txt", "C:\\box", flags), 0);          // an existing folder receives the item
  EXPECT_EQ(image.read("C:\\box\\b.txt"), "b");
}

TEST_F(ShellMove, ListsOfItems) {
  image.file("C:\\one.txt", "1");
  image.file("C:\\two.txt", "2");
  image.file("C:\\three.log", "3");
  EXPECT_EQ(move("C:\\one.txt|C:\\two.txt", "C:\\box"), 0);  // several sources: into the folder
  EXPECT_EQ(image.read("C:\\box\\one.txt"), "1");
  EXPECT_EQ(image.read("C:\\box\\two.txt"), "2");
  EXPECT_EQ(move("C:\\*.log", "C:\\logs"), 0);                // a wildcard source
  EXPECT_EQ(image.read("C:\\logs\\three.log"), "3");
}

TEST_F(ShellMove, FailuresMoveNothing) {
  const std::string faults =
      "[[fault.file]]\npath = 'C:\\app\\locked.dll'\ncode = 32\n"
      "[[fault.file]]\npath = 'C:\\denied.exe'\ncode = 5\nattributes = false\n";
  image.file("C:\\app\\locked.dll", "L");
  image.file("C:\\app\\free.txt", "F");
  image.file("C:\\denied.exe", "D");
  image.file("C:\\plain.txt", "P");
  struct Row {
    const char* from;
    const char* to;
    int xp;     // XP SP3's answer
    int vista;  // Vista's and later
  } rows[] = {
      {"C:\\missing.txt", "C:\\q\\missing.txt", 0x402, 2},  // missing source
      {"C:\\nodir\\x.txt", "C:\\q\\x.txt", 0x402, 2},
      {"plain.txt", "C:\\q\\plain.txt", 0x402, 0x402},        // not an absolute drive-letter path
      {"C:\\plain.txt", "q\\plain.txt", 0x402, 0x402},
      {"C:\\pl|ain.txt", "C:\\q\\x.txt", 0x402, 0x402},     // characters Windows forbids in names
      {"C:\\plain.txt", "C:\\q\\a<b.txt", 0x402, 0x402},
      {"C:\\plain.txt", "C:\\q\\a:b.txt", 0x402, 0x402},
      {"C:\\plain.txt", "C:\\q\\a*.txt", 0x402, 0x402},     // no wildcards in a destination
      {"C:\\plain.txt\x01", "C:\\q\\x.txt", 0x402, 0x402},
      {"C:\\plain.txt", "C:\\plain.txt\\x\\y.txt", 0x402, 0x402},  // a file where a folder must be
      {"C:\\app\\locked.dll", "C:\\q\\locked.dll", 32, 32},  // the injected code
      {"C:\\app", "C:\\q\\app", 32, 32},                       // a folder holding a locked file
      {"C:\\denied.exe", "C:\\q\\denied.exe", 5, 5},
      // A folder into itself: XP reports success and leaves it where it is.
      {"C:\\app", "C:\\app\\sub\\app", 0, 0x76},
      {"C:\\plain.txt|C:\\missing.txt", "C:\\q", 0x402, 2},  // one bad item stops the whole list
  };
  for (const char* version : {"xp", "vista"}) {
    useConfig(std::string("[windows]\nversion = \"") + version + "\"\n" + faults);
    for (const auto& row : rows) {
      SCOPED_TRACE(testing::Message() << version << " " << row.from);
      EXPECT_EQ(move(row.from, row.to), version == std::string("xp") ? row.xp : row.vista);
    }
    EXPECT_FALSE(image.exists("C:\\q"));
    EXPECT_FALSE(image.exists("C:\\app\\sub"));
    EXPECT_EQ(image.read("C:\\app\\locked.dll"), "L");
    EXPECT_EQ(image.read("C:\\app\\free.txt"), "F");
    EXPECT_EQ(image.read("C:\\denied.exe"), "D");
    EXPECT_EQ(image.read("C:\\plain.txt"), "P");
    // Only moves are emulated.
    EXPECT_NE(move("C:\\plain.txt", "", kQuarantineFlags, win::FO_DELETE), 0);
    EXPECT_EQ(image.read("C:\\plain.txt"), "P");
  }
}

// A destination folder that is missing: FOF_NOCONFIRMMKDIR makes it on every
// release; without the flag XP cancels the move (ERROR_CANCELLED, the
// operation marked aborted) and later releases make it all the same.
TEST_F(ShellMove, MissingDestinationFolders) {
  const win::FILEOP_FLAGS asking = kQuarantineFlags & ~win::FOF_NOCONFIRMMKDIR;
  struct Row {
    const char* version;
    win::FILEOP_FLAGS flags;
    int result;
    win::BOOL aborted;
  } const rows[] = {
      {"xp", kQuarantineFlags, 0, win::FALSE},
      {"xp", asking, 1223, win::TRUE},
      {"vista", kQuarantineFlags, 0, win::FALSE},
      {"vista", asking, 0, win::FALSE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.version << " flags " << row.flags);
    useConfig(std::string("[windows]\nversion = \"") + row.version + "\"\n");
    image.file("C:\\src\\x.dll", "x");
    win::BOOL aborted = 7;
    EXPECT_EQ(move("C:\\src\\x.dll", "C:\\q\\C\\src\\x.dll", row.flags, win::FO_MOVE, &aborted), row.result);
    EXPECT_EQ(aborted, row.aborted);
    EXPECT_EQ(image.exists("C:\\q\\C\\src\\x.dll"), row.result == 0);
    EXPECT_EQ(image.exists("C:\\src\\x.dll"), row.result != 0);
    EXPECT_EQ(image.exists("C:\\q"), row.result == 0);  // a cancelled move makes no folder either
    std::filesystem::remove_all(image.host("C:\\q"));
  }
}

TEST_F(ShellMove, FilesThisProcessHoldsOpenStayUntilClosed) {
  // The runtime opens without FILE_SHARE_DELETE: the file cannot be moved,
  // replaced or renamed while the stream is open, nor its folder moved.
  image.file("C:\\app\\report.txt", "R");
  image.file("C:\\q\\old.txt", "O");
  image.file("C:\\other.txt", "X");
  std::FILE* held = win::_wfopen(u"C:\\APP\\Report.txt", u"ab");  // found in any case
  ASSERT_NE(held, nullptr);
  struct Row {
    const char* from;
    const char* to;
    win::FILEOP_FLAGS flags;
    int result;
  } rows[] = {
      {"C:\\app\\report.txt", "C:\\q\\report.txt", kQuarantineFlags, 32},  // ERROR_SHARING_VIOLATION
      {"C:\\app", "C:\\q\\app", kQuarantineFlags, 5},                      // its folder: ERROR_ACCESS_DENIED
      {"C:\\other.txt", "C:\\app\\report.txt", win::FOF_NOCONFIRMATION | win::FOF_SILENT, 32},  // replacing it
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.from);
    EXPECT_EQ(move(row.from, row.to, row.flags), row.result);
  }
  win::SetLastError(0);
  EXPECT_EQ(win::MoveFileW(u"C:\\app\\report.txt", u"C:\\q\\renamed.txt"), win::FALSE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(image.read("C:\\other.txt"), "X");

  // Once closed, the same move goes through.
  ASSERT_EQ(win::fclose(held), 0);
  EXPECT_EQ(move("C:\\app\\report.txt", "C:\\q\\report.txt"), 0);
  EXPECT_EQ(image.read("C:\\q\\report.txt"), "R");
}

}  // namespace
}  // namespace qftest
