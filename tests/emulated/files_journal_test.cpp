// The journal lines of the file calls: every change they make on a drive is
// journalled once it is made, and a call that changes nothing journals
// nothing.
#include <cstdio>
#include <functional>
#include <string>

#include "emulated_files_fixture.h"

namespace qftest {
namespace {

constexpr win::FILEOP_FLAGS kQuarantineFlags = win::FOF_SILENT | win::FOF_RENAMEONCOLLISION |
                                               win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR |
                                               win::FOF_NOERRORUI;

class FilesJournal : public EmulatedFiles {
 protected:
  void SetUp() override {
    EmulatedFiles::SetUp();
    image.file("C:\\bad.exe", "x");
    image.file("C:\\Tools\\a.txt", "a");
    image.file("C:\\Into\\Tools\\b.txt", "b");
    image.file("C:\\Into\\bad.exe", "old");
  }

  // SHFileOperationW moving one item; its result.
  static int shellMove(const std::u16string& from, const std::u16string& to, win::FILEOP_FLAGS flags) {
    const std::u16string f = from + u'\0';
    const std::u16string t = to + u'\0';
    win::SHFILEOPSTRUCTW op{};
    op.wFunc = win::FO_MOVE;
    op.pFrom = f.c_str();
    op.pTo = t.c_str();
    op.fFlags = flags;
    return win::SHFileOperationW(&op);
  }
};

// Whether the runtime opened a stream; closes it.
bool opened(std::FILE* stream) { return stream && win::fclose(stream) == 0; }

struct Row {
  const char* name;
  std::function<bool()> call;  // whether the call succeeded
  bool succeeds;
  const char* journal;
};

TEST_F(FilesJournal, EachChangeOnADriveIsOneLine) {
  const Row rows[] = {
      {"a folder made", [] { return win::CreateDirectoryW(u"C:\\New", nullptr) != 0; }, true,
       "CreateDirectoryW folder=\"C:\\\\New\"\n"},
      // Nothing made: the folder is there.
      {"a folder that exists", [] { return win::CreateDirectoryW(u"C:\\tools", nullptr) != 0; }, false, ""},
      {"a file moved, named as the call names it", [] { return win::MoveFileW(u"C:\\BAD.exe", u"C:\\good.exe") != 0; },
       true, "MoveFileW from=\"C:\\\\BAD.exe\" to=\"C:\\\\good.exe\"\n"},
      {"a move onto an existing item", [] { return win::MoveFileW(u"C:\\bad.exe", u"C:\\Tools\\a.txt") != 0; }, false,
       ""},
      // Each missing folder, outermost first.
      {"folders made by the shell", [] { return win::SHCreateDirectoryExW(nullptr, u"C:\\Tools\\x\\y", nullptr) == 0; },
       true, "SHCreateDirectoryExW folder=\"C:\\\\Tools\\\\x\"\nSHCreateDirectoryExW folder=\"C:\\\\Tools\\\\x\\\\y\"\n"},
      {"a shell move making its destination folder",
       [] { return shellMove(u"C:\\bad.exe", u"C:\\Q\\C\\bad.exe", kQuarantineFlags) == 0; }, true,
       "SHFileOperationW folder=\"C:\\\\Q\"\nSHFileOperationW folder=\"C:\\\\Q\\\\C\"\n"
       "SHFileOperationW from=\"C:\\\\bad.exe\" to=\"C:\\\\Q\\\\C\\\\bad.exe\"\n"},
      // Without FOF_RENAMEONCOLLISION the existing file gives way.
      {"a shell move replacing a file",
       [] { return shellMove(u"C:\\bad.exe", u"C:\\Into\\bad.exe", kQuarantineFlags & ~win::FOF_RENAMEONCOLLISION) == 0; },
       true, "SHFileOperationW from=\"C:\\\\bad.exe\" to=\"C:\\\\Into\\\\bad.exe\" target=replaced\n"},
      // An existing folder as the destination receives the item.
      {"a shell move merging folders",
       [] { return shellMove(u"C:\\Tools", u"C:\\Into", kQuarantineFlags & ~win::FOF_RENAMEONCOLLISION) == 0; },
       true, "SHFileOperationW from=\"C:\\\\Tools\" to=\"C:\\\\Into\\\\Tools\" target=merged\n"},
      // Opened to be written: created, or written again.
      {"a file created by the runtime", [] { return opened(win::_wfopen(u"C:\\new.txt", u"w")); }, true,
       "_wfopen file=\"C:\\\\new.txt\" mode=\"w\" created=1\n"},
      {"a file appended to", [] { return opened(win::fopen("C:\\TOOLS\\a.txt", "a+b")); }, true,
       "fopen file=\"C:\\\\TOOLS\\\\a.txt\" mode=\"a+b\"\n"},
      {"a file read", [] { return opened(win::_wfopen(u"C:\\bad.exe", u"rb")); }, true, ""},
      {"a shell move of nothing", [] { return shellMove(u"C:\\none.exe", u"C:\\Q\\none.exe", kQuarantineFlags) == 0; },
       false, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(image.root() / "journal.txt");
    EXPECT_EQ(row.call(), row.succeeds);
    EXPECT_EQ(image.journal(), row.journal);
    SetUp();  // a fresh image for the next row
  }
}

// A move the faults of machine.toml refuse changes nothing and journals nothing.
TEST_F(FilesJournal, RefusedMoveJournalsNothing) {
  useConfig("[[fault.file]]\npath = 'C:\\Tools\\a.txt'\ncode = 32\n");
  EXPECT_FALSE(win::MoveFileW(u"C:\\Tools", u"C:\\Moved"));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SHARING_VIOLATION);
  EXPECT_EQ(shellMove(u"C:\\Tools", u"C:\\Q\\Tools", kQuarantineFlags), 32);
  EXPECT_EQ(image.journal(), "");
}

}  // namespace
}  // namespace qftest
