// The folder indexes behind the emulated drives' lookups: the same answers
// whether a folder has been listed or not, and no stale answer after the
// program changes a drive through the seam or a new run starts.
#include <string>
#include <vector>

#include "emulated_files_fixture.h"
#include "platform/scoped.h"

namespace qftest {
namespace {

using win::DWORD;

class FolderIndexes : public EmulatedFiles {
 protected:
  void SetUp() override {
    EmulatedFiles::SetUp();
    image.file("C:\\Mixed\\Case.TXT", "x");
    image.folder("C:\\Mixed\\Sub");
    image.file("C:\\Mixed\\Sub\\inner.dat", "y");
    image.file("C:\\Accents\\Caf\u00e9.TXT", "z");
  }

  // GetFileAttributesW's answer: the attributes, or the last error (as
  // 0x8000'0000 | error) when it fails.
  DWORD attributes(std::string_view path) {
    const DWORD a = win::GetFileAttributesW(w(path).c_str());
    return a == win::INVALID_FILE_ATTRIBUTES ? (0x80000000u | win::GetLastError()) : a;
  }

  // The names a search returns, in order (none when it fails).
  std::vector<std::string> list(std::string_view query) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAW data{};
    win::ScopedFind h(win::FindFirstFileW(w(query).c_str(), &data));
    if (!h) return names;
    do {
      names.push_back(emu::toUtf8(data.cFileName));
    } while (win::FindNextFileW(h.get(), &data));
    return names;
  }

  bool opens(std::string_view path) {
    win::ScopedFile f(win::_wfopen(w(path).c_str(), u"rb"));
    return static_cast<bool>(f);
  }

  void create(std::string_view path) {
    win::ScopedFile f(win::_wfopen(w(path).c_str(), u"wb"));
    ASSERT_TRUE(f) << path;
  }
};

constexpr DWORD kFile = win::FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kFolder = win::FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kNoFile = 0x80000000u | win::ERROR_FILE_NOT_FOUND;
constexpr DWORD kNoPath = 0x80000000u | win::ERROR_PATH_NOT_FOUND;

TEST_F(FolderIndexes, EveryCaseAnswersAlikeListedOrNot) {
  struct Row {
    const char* path;
    DWORD expected;
  } rows[] = {
      {"C:\\Mixed\\Case.TXT", kFile},             // as written on the host
      {"C:\\MIXED\\case.txt", kFile},             // both names in another case
      {"c:\\mixed\\SUB\\INNER.DAT", kFile},
      {"C:\\mixed\\sub", kFolder},
      {"C:\\Mixed\\Case.TXT.bak", kNoFile},       // a longer name is another name
      {"C:\\Mixed\\Cas", kNoFile},
      {"C:\\mixed\\missing.txt", kNoFile},
      {"C:\\Mixed\\Missing\\x", kNoPath},         // a missing folder on the way
      {"C:\\MIXED\\MISSING\\x", kNoPath},
      {"C:\\mixed\\case.txt\\x", kNoPath},        // a file on the way
      {"C:\\Mixed\\Sub\\..\\CASE.txt", kFile},
      {"C:\\Accents\\Caf\u00e9.TXT", kFile},       // a name beyond ASCII, as written
      {"C:\\ACCENTS\\CAF\u00e9.txt", kFile},       // and in another case
      {"C:\\Accents\\Cafe.TXT", kNoFile},           // the accent makes it another name
  };
  // Once on a machine whose folders were never listed, once after every
  // folder on the way has been, and once more after a reload.
  for (int pass = 0; pass < 3; ++pass) {
    if (pass == 1) {
      EXPECT_EQ(list("C:\\*").size(), 2u);
      EXPECT_EQ(list("C:\\MIXED\\*").size(), 4u);  // ".", "..", Case.TXT, Sub
      EXPECT_EQ(list("C:\\Accents\\*").size(), 3u);
      EXPECT_EQ(list("C:\\Mixed\\Sub\\*").size(), 3u);
    }
    if (pass == 2) emu::useImage(image.root());
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(row.path) + " pass " + std::to_string(pass));
      EXPECT_EQ(attributes(row.path), row.expected);
    }
  }
}

TEST_F(FolderIndexes, ChangesThroughTheSeamAreSeenAtOnce) {
  // Everything below is looked up once before it changes, so that the
  // folders involved are listed when the change happens.
  EXPECT_EQ(attributes("C:\\MIXED\\NEW.TXT"), kNoFile);
  EXPECT_EQ(list("C:\\mixed\\n*"), std::vector<std::string>{});

  // A file created by the runtime.
  create("C:\\Mixed\\New.txt");
  EXPECT_EQ(attributes("C:\\MIXED\\NEW.TXT"), kFile);
  EXPECT_TRUE(opens("c:\\mixed\\new.TXT"));
  EXPECT_EQ(list("C:\\mixed\\n*"), std::vector<std::string>{"New.txt"});

  // A plain move to another folder, then looked for under both names.
  EXPECT_EQ(list("C:\\mixed\\sub\\*").size(), 3u);
  ASSERT_TRUE(win::MoveFileW(u"C:\\MIXED\\NEW.TXT", u"C:\\mixed\\SUB\\Moved.txt"));
  EXPECT_EQ(attributes("C:\\Mixed\\New.txt"), kNoFile);
  EXPECT_FALSE(opens("C:\\mixed\\NEW.txt"));
  EXPECT_EQ(list("C:\\mixed\\n*"), std::vector<std::string>{});
  EXPECT_EQ(attributes("C:\\MIXED\\SUB\\MOVED.TXT"), kFile);
  EXPECT_EQ(list("C:\\Mixed\\Sub\\*"), (std::vector<std::string>{".", "..", "inner.dat", "Moved.txt"}));
  EXPECT_TRUE(image.exists("C:\\Mixed\\Sub\\Moved.txt"));

  // A folder made where a lookup had found nothing.
  EXPECT_EQ(attributes("C:\\MIXED\\MADE\\x"), kNoPath);
  ASSERT_TRUE(win::CreateDirectoryW(u"C:\\mixed\\Made", nullptr));
  EXPECT_EQ(attributes("C:\\MIXED\\MADE"), kFolder);
  EXPECT_EQ(attributes("C:\\MIXED\\MADE\\x"), kNoFile);
  EXPECT_TRUE(image.exists("C:\\Mixed\\Made"));

  // The shell's folder chain and move.
  EXPECT_EQ(attributes("C:\\TOP\\DEEP"), kNoPath);
  ASSERT_EQ(win::SHCreateDirectoryExW(nullptr, u"C:\\Top\\Deep", nullptr), 0);
  EXPECT_EQ(attributes("c:\\top\\deep"), kFolder);
  EXPECT_EQ(list("C:\\TOP\\DEEP\\*").size(), 2u);  // "." and ".."
  std::u16string from = u"C:\\MIXED\\Case.TXT";  // the moved file keeps the name as written
  from.push_back(u'\0');
  std::u16string to = u"C:\\TOP\\DEEP";
  to.push_back(u'\0');
  win::SHFILEOPSTRUCTW op{};
  op.wFunc = win::FO_MOVE;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR | win::FOF_SILENT | win::FOF_NOERRORUI;
  ASSERT_EQ(win::SHFileOperationW(&op), 0);
  EXPECT_EQ(attributes("C:\\Mixed\\Case.TXT"), kNoFile);
  EXPECT_EQ(attributes("C:\\top\\deep\\CASE.TXT"), kFile);
  EXPECT_EQ(list("C:\\Top\\Deep\\c*"), std::vector<std::string>{"Case.TXT"});
  EXPECT_EQ(list("C:\\Mixed\\*"), (std::vector<std::string>{".", "..", "Made", "Sub"}));
}

TEST_F(FolderIndexes, ANewRunSeesWhatWasPlantedOnDiskSinceTheLastOne) {
  // One run looks and finds nothing...
  EXPECT_EQ(attributes("C:\\MIXED\\PLANTED.TXT"), kNoFile);
  EXPECT_EQ(attributes("C:\\MIXED\\LATER\\x.txt"), kNoPath);
  EXPECT_EQ(list("C:\\Mixed\\p*"), std::vector<std::string>{});
  // ...the disk changes between runs (written in another case than the
  // next run asks for, and a folder gone)...
  image.file("C:\\Mixed\\Planted.txt", "p");
  image.file("C:\\Mixed\\Later\\X.TXT", "q");
  std::filesystem::remove_all(image.host("C:\\Mixed\\Sub"));
  // ...and the next run, starting on the image afresh, sees it all.
  emu::useImage(image.root());
  EXPECT_EQ(attributes("C:\\MIXED\\PLANTED.TXT"), kFile);
  EXPECT_EQ(attributes("C:\\mixed\\later\\x.txt"), kFile);
  EXPECT_EQ(attributes("C:\\mixed\\sub\\inner.dat"), kNoPath);
  EXPECT_EQ(list("C:\\Mixed\\p*"), std::vector<std::string>{"Planted.txt"});
  EXPECT_TRUE(opens("C:\\MIXED\\LATER\\X.txt"));
}

TEST_F(FolderIndexes, ChangesBesideTheSeamAreSeenToo) {
  // A test (or any other host process) changing the drive folders while the
  // machine runs: the host tells of it, and the next lookup knows.
  EXPECT_EQ(attributes("C:\\MIXED\\OTHER.TXT"), kNoFile);
  EXPECT_EQ(list("C:\\Mixed\\*").size(), 4u);
  EXPECT_EQ(attributes("C:\\MIXED\\SUB\\INNER.DAT"), kFile);
  image.file("C:\\Mixed\\Other.txt", "o");
  std::filesystem::rename(image.host("C:\\Mixed\\Sub"), image.host("C:\\Mixed\\Renamed"));
  EXPECT_EQ(attributes("C:\\MIXED\\OTHER.TXT"), kFile);
  EXPECT_EQ(attributes("C:\\MIXED\\SUB\\INNER.DAT"), kNoPath);
  EXPECT_EQ(attributes("C:\\mixed\\renamed\\INNER.DAT"), kFile);
  EXPECT_EQ(list("C:\\Mixed\\*"), (std::vector<std::string>{".", "..", "Case.TXT", "Other.txt", "Renamed"}));
  std::filesystem::remove(image.host("C:\\Mixed\\Other.txt"));
  EXPECT_FALSE(opens("C:\\MIXED\\OTHER.TXT"));
  EXPECT_EQ(attributes("C:\\mixed\\other.txt"), kNoFile);
}

TEST_F(FolderIndexes, AHostFolderHoldingTwoCasesOfANameAnswersWithTheExactOne) {
  // Windows cannot hold both names; a host folder can. The name written
  // exactly wins, as it did before any folder was listed.
  image.file("C:\\Two\\name.txt", "lower");
  image.file("C:\\Two\\NAME.txt", "upper");
  image.file("C:\\Two\\n\u00e9.txt", "lower");  // and beyond ASCII
  image.file("C:\\Two\\N\u00e9.txt", "upper");
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      EXPECT_EQ(list("C:\\Two\\*").size(), 6u);
    }
    for (const char* exact : {"C:\\Two\\name.txt", "C:\\Two\\NAME.txt", "C:\\Two\\n\u00e9.txt", "C:\\Two\\N\u00e9.txt"}) {
      win::ScopedFile f(win::_wfopen(w(exact).c_str(), u"rb"));
      ASSERT_TRUE(f) << exact;
      char c = 0;
      ASSERT_EQ(std::fread(&c, 1, 1, f.get()), 1u);
      EXPECT_EQ(c, exact[7] == 'n' ? 'l' : 'u') << exact << " pass " << pass;
    }
  }
}

}  // namespace
}  // namespace qftest
