// Files: directory search with the program's patterns, attributes and times,
// folder creation and MoveFileW.
#include <algorithm>

#include "contract/contract.h"
#include "platform/scoped.h"

namespace contract {
namespace {

using win::BOOL;
using win::DWORD;

// Names of a search, sorted case-insensitively (the order is checked
// separately), or the error of FindFirstFileW as {"error N"}.
std::vector<std::u16string> search(const std::u16string& query, bool sorted = true) {
  win::WIN32_FIND_DATAW data{};
  win::ScopedFind find(win::FindFirstFileW(query.c_str(), &data));
  if (!find) return {u"error " + [] {
                       std::string n = std::to_string(win::GetLastError());
                       return std::u16string(n.begin(), n.end());
                     }()};
  std::vector<std::u16string> names;
  do names.emplace_back(data.cFileName);
  while (win::FindNextFileW(find.get(), &data));
  if (win::GetLastError() != win::ERROR_NO_MORE_FILES) names.emplace_back(u"end with an error other than 18");
  auto upper = [](std::u16string s) {
    for (auto& c : s)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
  };
  if (sorted) std::sort(names.begin(), names.end(), [&](const auto& a, const auto& b) { return upper(a) < upper(b); });
  return names;
}

using Names = std::vector<std::u16string>;

TEST_F(SeamContract, FindFirstFileWithTheProgramsPatterns) {
  for (const char16_t* name : {u"freddy12.exe", u"FREDDY34.EXE", u"freddy1.exe", u"freddy123.exe", u"mstre2.exe",
                               u"mstre21.exe", u"mstre212.exe", u"010112010146.x", u"010112010146abc.dxt",
                               u"010112010146.dat", u"9g2abcdefgh3dfgjf23", u"9g2abc3dfgjf23", u"noext", u"a.b.c"})
    makeFile(path(name), "x");
  makeFolder(path(u"sub"));

  struct Row {
    const char16_t* pattern;
    Names names;  // sorted; "." and ".." where Windows lists them
    std::vector<Known<Names>> known = {};
  };
  const Row rows[] = {
      // "*" and "*.*" list everything, names without a dot included.
      {u"*", {u".", u"..", u"010112010146.dat", u"010112010146.x", u"010112010146abc.dxt", u"9g2abc3dfgjf23",
              u"9g2abcdefgh3dfgjf23", u"a.b.c", u"freddy1.exe", u"freddy12.exe", u"freddy123.exe", u"FREDDY34.EXE",
              u"mstre2.exe", u"mstre21.exe", u"mstre212.exe", u"noext", u"sub"}},
      {u"*.*", {u".", u"..", u"010112010146.dat", u"010112010146.x", u"010112010146abc.dxt", u"9g2abc3dfgjf23",
                u"9g2abcdefgh3dfgjf23", u"a.b.c", u"freddy1.exe", u"freddy12.exe", u"freddy123.exe",
                u"FREDDY34.EXE", u"mstre2.exe", u"mstre21.exe", u"mstre212.exe", u"noext", u"sub"}},
      // "?" matches one character, or none before a dot: freddy1.exe matches
      // "freddy??.exe"; matching ignores case.
      {u"freddy??.exe", {u"freddy1.exe", u"freddy12.exe", u"FREDDY34.EXE"},
       {{Backend::Wine, {u"freddy12.exe", u"FREDDY34.EXE"}, "Wine's '?' never matches zero characters before a dot"}}},
      {u"mstre2?.exe", {u"mstre2.exe", u"mstre21.exe"},
       {{Backend::Wine, {u"mstre21.exe"}, "Wine's '?' never matches zero characters before a dot"}}},
      {u"010112010146*.*x*", {u"010112010146.x", u"010112010146abc.dxt"}},
      {u"9g2????????3dfgjf23", {u"9g2abcdefgh3dfgjf23"}},
      {u"FREDDY12.EXE", {u"freddy12.exe"}},
      // A trailing dot: names without an extension.
      {u"*.", {u".", u"..", u"9g2abc3dfgjf23", u"9g2abcdefgh3dfgjf23", u"noext", u"sub"},
       {{Backend::Wine, search(path(u"*")), "Wine ignores a trailing dot and lists every name"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.pattern));
    EXPECT_TRUE(meets(search(path(row.pattern)), row.names, row.known));
  }
}

TEST_F(SeamContract, FindFirstFileOrderAndErrors) {
  for (const char16_t* name : {u"b", u"_x", u"A", u"c"}) makeFile(path(name), "x");
  // In an ordinary folder "." and ".." come first; NTFS lists the rest by
  // upper-cased name.
  EXPECT_TRUE(meets(search(path(u"*"), false), Names{u".", u"..", u"A", u"b", u"c", u"_x"},
                    {{Backend::Wine, search(path(u"*"), false),
                      "Wine lists in the host file system's order (not checked)"}}));
  // A folder path ending in a backslash: the doubled backslash before the
  // star is accepted.
  EXPECT_TRUE(meets(search(folder_ + u"\\\\*"), Names{u".", u"..", u"A", u"b", u"c", u"_x"}));
  // Errors: a missing file 2, a missing folder on the way 3, a file used as a
  // folder 267 (current Windows), no match 2.
  EXPECT_TRUE(meets(search(path(u"missing")), Names{u"error 2"}));
  EXPECT_TRUE(meets(search(path(u"missing\\*.*")), Names{u"error 3"}));
  EXPECT_TRUE(meets(search(path(u"b\\*")), Names{u"error 267"},
                    {{Backend::Wine, Names{u"error 123"}, "Wine answers ERROR_INVALID_NAME for a file used as a folder"}}));
  EXPECT_TRUE(meets(search(path(u"nomatch*.exe")), Names{u"error 2"}));
  // A failed search leaves the record untouched.
  win::WIN32_FIND_DATAW data{};
  data.dwFileAttributes = 0x5EED;
  win::ScopedFind find(win::FindFirstFileW(path(u"missing").c_str(), &data));
  EXPECT_FALSE(find.valid());
  EXPECT_TRUE(meets<DWORD>(data.dwFileAttributes, 0x5EED));
}

TEST_F(SeamContract, AttributesAndTimes) {
  makeFile(path(u"file.txt"), "12345");
  makeFolder(path(u"folder"));

  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(meets<BOOL>(win::GetFileAttributesExW(path(u"FILE.TXT").c_str(), win::GetFileExInfoStandard, &data),
                          win::TRUE));
  EXPECT_TRUE(meets<DWORD>(data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY, 0));
  EXPECT_TRUE(meets<DWORD>(data.nFileSizeLow, 5));
  EXPECT_TRUE(meets<bool>(data.ftCreationTime.dwHighDateTime != 0 && data.ftLastWriteTime.dwHighDateTime != 0, true));
  EXPECT_TRUE(meets<BOOL>(win::GetFileAttributesExW(path(u"folder").c_str(), win::GetFileExInfoStandard, &data),
                          win::TRUE));
  EXPECT_TRUE(meets<DWORD>(data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY, win::FILE_ATTRIBUTE_DIRECTORY));
  // Both separators are accepted.
  EXPECT_TRUE(meets<DWORD>(win::GetFileAttributesW((folder_ + u"/folder").c_str()) & win::FILE_ATTRIBUTE_DIRECTORY,
                           win::FILE_ATTRIBUTE_DIRECTORY));

  // A missing last component 2, a missing folder on the way 3; the record is
  // left untouched.
  struct Row {
    const char16_t* relative;
    DWORD error;
  };
  for (const Row& row : {Row{u"missing", 2}, Row{u"missing\\file.txt", 3}}) {
    SCOPED_TRACE(narrow(row.relative));
    data.dwFileAttributes = 0x5EED;
    win::SetLastError(0);
    EXPECT_TRUE(meets<BOOL>(win::GetFileAttributesExW(path(row.relative).c_str(), win::GetFileExInfoStandard, &data),
                            win::FALSE));
    EXPECT_TRUE(meets(win::GetLastError(), row.error));
    EXPECT_TRUE(meets<DWORD>(data.dwFileAttributes, 0x5EED));
    EXPECT_TRUE(meets(win::GetFileAttributesW(path(row.relative).c_str()), win::INVALID_FILE_ATTRIBUTES));
  }
}

TEST_F(SeamContract, FileTimeToSystemTime) {
  struct Row {
    std::uint64_t fileTime;
    BOOL result;
    win::SYSTEMTIME time;
  };
  const Row rows[] = {
      // 2010-07-03 14:05:09.123 UTC, a Saturday.
      {129226395091230000ull, win::TRUE, {2010, 7, 6, 3, 14, 5, 9, 123}},
      // The first instant: 1601-01-01, a Monday.
      {0, win::TRUE, {1601, 1, 1, 1, 0, 0, 0, 0}},
      // 2000-02-29 23:59:59.999, a Tuesday.
      {125963423999990000ull, win::TRUE, {2000, 2, 2, 29, 23, 59, 59, 999}},
      // Beyond what the conversion takes (the sign bit set): FALSE, nothing written.
      {0x8000000000000000ull, win::FALSE, {0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED}},
  };
  for (const Row& row : rows) {
    win::FILETIME ft{static_cast<DWORD>(row.fileTime), static_cast<DWORD>(row.fileTime >> 32)};
    win::SYSTEMTIME st{0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED, 0x5EED};
    EXPECT_TRUE(meets(win::FileTimeToSystemTime(&ft, &st), row.result));
    auto text = [](const win::SYSTEMTIME& t) {
      char buffer[80];
      std::snprintf(buffer, sizeof buffer, "%u-%u-%u (day %u) %u:%u:%u.%u", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek,
                    t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
      return std::string(buffer);
    };
    EXPECT_TRUE(meets(text(st), text(row.time)));
  }
}

TEST_F(SeamContract, CreateDirectoryAndMoveFile) {
  EXPECT_TRUE(meets<BOOL>(win::CreateDirectoryW(path(u"new").c_str(), nullptr), win::TRUE));
  win::SetLastError(0);
  EXPECT_TRUE(meets<BOOL>(win::CreateDirectoryW(path(u"NEW").c_str(), nullptr), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(meets<BOOL>(win::CreateDirectoryW(path(u"missing\\new").c_str(), nullptr), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_PATH_NOT_FOUND));
  // SHCreateDirectoryExW makes every missing folder on the way; an existing
  // folder answers 183.
  EXPECT_TRUE(meets(win::SHCreateDirectoryExW(nullptr, path(u"a\\b\\c").c_str(), nullptr), 0));
  EXPECT_TRUE(meets(exists(path(u"a\\b\\c")), true));
  EXPECT_TRUE(meets(win::SHCreateDirectoryExW(nullptr, path(u"a\\b").c_str(), nullptr),
                    static_cast<int>(win::ERROR_ALREADY_EXISTS)));

  makeFile(path(u"one.txt"), "1");
  makeFile(path(u"two.txt"), "2");
  EXPECT_TRUE(meets<BOOL>(win::MoveFileW(path(u"one.txt").c_str(), path(u"new\\one.txt").c_str()), win::TRUE));
  EXPECT_TRUE(meets(readFile(path(u"new\\one.txt")), std::string("1")));
  win::SetLastError(0);
  EXPECT_TRUE(meets<BOOL>(win::MoveFileW(path(u"two.txt").c_str(), path(u"new\\one.txt").c_str()), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(meets<BOOL>(win::MoveFileW(path(u"missing.txt").c_str(), path(u"new\\x.txt").c_str()), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_FILE_NOT_FOUND));
}

// CreateFileW with DELETE access and the sharing a move needs: whether the
// item could be moved now. A file this program holds open through the runtime
// (which shares reading and writing, not deletion) is a sharing violation.
TEST_F(SeamContract, CreateFileWOpensAnItemForDeletion) {
  makeFile(path(u"free.txt"), "free");
  makeFile(path(u"held.txt"), "held");
  makeFolder(path(u"folder"));
  win::ScopedFile held(win::_wfopen(path(u"held.txt").c_str(), u"ab"));
  ASSERT_TRUE(held);
  constexpr DWORD kAllSharing = win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE;
  struct Row {
    const char16_t* name;
    DWORD flags;
    DWORD error;  // 0: it opens
  };
  const Row rows[] = {
      {u"free.txt", 0, 0},
      {u"held.txt", 0, win::ERROR_SHARING_VIOLATION},
      {u"missing.txt", 0, win::ERROR_FILE_NOT_FOUND},
      {u"nowhere\\missing.txt", 0, win::ERROR_PATH_NOT_FOUND},
      {u"folder", 0, win::ERROR_ACCESS_DENIED},
      {u"folder", win::FILE_FLAG_BACKUP_SEMANTICS, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.name));
    win::SetLastError(0);
    win::HANDLE h = win::CreateFileW(path(row.name).c_str(), win::DELETE, kAllSharing, nullptr, win::OPEN_EXISTING,
                                     row.flags, nullptr);
    const DWORD error = h == win::INVALID_HANDLE_VALUE ? win::GetLastError() : 0;
    if (h != win::INVALID_HANDLE_VALUE) {
      EXPECT_TRUE(meets<BOOL>(win::CloseHandle(h), win::TRUE));
    }
    EXPECT_TRUE(meets(error, row.error));
  }
}

}  // namespace
}  // namespace contract
