// FindFirstFileW / FindNextFileW / FindClose on the emulated drives: Windows'
// wildcard rules, the order of the entries, the records and the errors.
#include <algorithm>
#include <string>
#include <vector>

#include "emulated_files_fixture.h"

namespace qftest {
namespace {

using win::DWORD;

class FindFiles : public EmulatedFiles {
 protected:
  // The names a search returns, in order; the last error when it fails.
  std::vector<std::string> list(std::string_view query, DWORD* error = nullptr) {
    std::vector<std::string> names;
    win::WIN32_FIND_DATAW data{};
    win::HANDLE h = win::FindFirstFileW(w(query).c_str(), &data);
    if (h == win::INVALID_HANDLE_VALUE) {
      if (error) *error = win::GetLastError();
      return names;
    }
    do {
      names.push_back(emu::toUtf8(data.cFileName));
    } while (win::FindNextFileW(h, &data));
    EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES);
    EXPECT_TRUE(win::FindClose(h));
    return names;
  }
};

// The folder of Wine's test_FindFirstFile_wildcards, as NTFS lists it ("."
// and ".." first, then names upper-cased and compared code unit by code unit).
const std::vector<std::string> kWineNames = {" .a", "..a", "..a.a", ".a", ".a..a", ".a.a", ".aaa",
                                             "a", "a..a", "a.a", "a.a.a", "aa", "aaa", "aaaa"};

struct WildcardRow {
  const char* pattern;
  std::vector<std::string> listed;       // what the emulated machine lists, in order
  std::vector<std::string> shortNameHits;  // Windows lists these too, through their 8.3 names
};

std::vector<std::string> all() {
  std::vector<std::string> v{".", ".."};
  v.insert(v.end(), kWineNames.begin(), kWineNames.end());
  return v;
}

TEST_F(FindFiles, WildcardsMatchAsWindowsDoes) {
  for (const auto& name : kWineNames) image.file("C:\\w\\" + name, "");
  const std::vector<std::string> noExt = {".", "..", "a", "aa", "aaa", "aaaa"};
  const std::vector<std::string> dotted = {".", "..", "..a", "..a.a", ".a", ".a..a", ".a.a", ".aaa"};
  const WildcardRow rows[] = {
      {"*", all(), {}},
      {"**", all(), {}},
      {"*.*", all(), {}},                     // "*.*" is "*": names without a dot too
      {"*.*.*", all(), {}},
      {"*.*.", all(), {}},
      {"**.", all(), {}},
      {"*. ", all(), {}},                     // trailing blanks are ignored
      {"*.", noExt, {".a", "..a", ".aaa"}},   // a trailing dot: names without extension
      {"*..", noExt, {".a", "..a", ".aaa"}},
      {"* .", noExt, {".a", "..a", ".aaa"}},
      {".*", dotted, {}},
      {".*.*", dotted, {}},
      {"*..*", {".", "..", "..a", "..a.a", ".a..a", "a..a"}, {}},
      {"*.a", {" .a", "..a", "..a.a", ".a", ".a..a", ".a.a", "a..a", "a.a", "a.a.a"}, {}},
      {"aa.*", {"aa"}, {}},
      {"aa*.", {"aa", "aaa", "aaaa"}, {".aaa"}},
      {"*aa*", {".aaa", "aa", "aaa", "aaaa"}, {"a.a.a"}},
      {"aa*.*", {"aa", "aaa", "aaaa"}, {".aaa", "a.a.a"}},
      {"?", {".", "..", "a"}, {}},            // "?" is one character, or none at the end
      {"?.", {".", "..", "a"}, {}},
      {"??.", {".", "..", "a", "aa"}, {}},
      {"???.", {".", "..", "a", "aa", "aaa"}, {}},
      {"aa? ", {"aa", "aaa"}, {}},
      {"AA?", {"aa", "aaa"}, {}},             // matching ignores case
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("pattern \"") + row.pattern + "\"");
    const auto listed = list(std::string("C:\\w\\") + row.pattern);
    EXPECT_EQ(listed, row.listed);
    // Known difference: the emulated drives have no 8.3 short names.
    for (const auto& hit : row.shortNameHits)
      EXPECT_EQ(std::count(listed.begin(), listed.end(), hit), 0) << hit;
  }
}

TEST_F(FindFiles, EntriesComeInNtfsOrderWithStoredCase) {
  for (const char* name : {"b", "A", "_x", "Z", "a1", "[y", "`q", "Readme.TXT"}) image.file(std::string("C:\\d\\") + name, "");
  image.folder("C:\\d\\Sub");
  // "_", "[" and the back-quote sort after the letters (upper-cased code units).
  EXPECT_EQ(list("C:\\d\\*"),
            (std::vector<std::string>{".", "..", "A", "a1", "b", "Readme.TXT", "Sub", "Z", "[y", "_x", "`q"}));
  EXPECT_EQ(list("c:\\D\\*.txt"), (std::vector<std::string>{"Readme.TXT"}));
  EXPECT_EQ(list("C:\\d\\readme.txt"), (std::vector<std::string>{"Readme.TXT"}));  // no wildcard: the item itself
}

TEST_F(FindFiles, FolderPathForms) {
  image.file("C:\\dir\\f.txt", "");
  image.file("C:\\top.txt", "");
  const std::vector<std::string> dirListing = {".", "..", "f.txt"};
  EXPECT_EQ(list("C:\\dir\\*"), dirListing);
  EXPECT_EQ(list("C:\\dir\\\\*"), dirListing);   // a folder given with its backslash, then "\*"
  EXPECT_EQ(list("C:/dir/*"), dirListing);       // both separators
  EXPECT_EQ(list("C:\\x\\..\\dir\\.\\*"), dirListing);
  // A drive root lists neither "." nor "..".
  EXPECT_EQ(list("C:\\*"), (std::vector<std::string>{"dir", "top.txt"}));
}

TEST_F(FindFiles, FailuresSetTheErrorAndWriteNothing) {
  image.file("C:\\dir\\f.txt", "");
  struct Row {
    const char* query;
    DWORD error;
  } rows[] = {
      {"C:\\nonexist", win::ERROR_FILE_NOT_FOUND},           // nothing matches in an existing folder
      {"C:\\dir\\*.doc", win::ERROR_FILE_NOT_FOUND},
      {"C:\\nonexist\\bar.txt", win::ERROR_PATH_NOT_FOUND},  // a folder on the way is missing
      {"C:\\nonexist\\*.*", win::ERROR_PATH_NOT_FOUND},
      {"C:\\dir\\f.txt\\*", win::ERROR_DIRECTORY},           // a file searched as a folder
      {"C:\\dir\\", win::ERROR_FILE_NOT_FOUND},              // a folder path with nothing to look for
      {"C:\\", win::ERROR_FILE_NOT_FOUND},
      {"Q:\\*", win::ERROR_PATH_NOT_FOUND},                  // no such drive
      {"dir\\*", win::ERROR_PATH_NOT_FOUND},                 // relative: the process has no current folder
      {"C:\\d*r\\f.txt", win::ERROR_INVALID_NAME},           // wildcards only in the last name
      {"C:\\dir\\a|b", win::ERROR_INVALID_NAME},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.query);
    auto data = sentinel<win::WIN32_FIND_DATAW>();
    win::SetLastError(0);
    EXPECT_EQ(win::FindFirstFileW(w(row.query).c_str(), &data), win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), row.error);
    EXPECT_TRUE(untouched(data));
  }
}

TEST_F(FindFiles, EndOfListingAndHandles) {
  image.file("C:\\dir\\only.txt", "");
  win::WIN32_FIND_DATAW data{};
  win::HANDLE h = win::FindFirstFileW(u"C:\\dir\\*.txt", &data);
  ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
  auto after = sentinel<win::WIN32_FIND_DATAW>();
  EXPECT_FALSE(win::FindNextFileW(h, &after));
  EXPECT_EQ(win::GetLastError(), win::ERROR_NO_MORE_FILES);
  EXPECT_TRUE(untouched(after));
  EXPECT_TRUE(win::FindClose(h));
  // A closed or made-up handle is invalid.
  EXPECT_FALSE(win::FindClose(h));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  EXPECT_FALSE(win::FindNextFileW(h, &after));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  EXPECT_FALSE(win::FindClose(win::INVALID_HANDLE_VALUE));
}

TEST_F(FindFiles, RecordsCarryAttributesSizesAndTimes) {
  useConfig("[[file_time]]\npath = 'C:\\dir\\big.bin'\ncreated = 2010-07-03T14:05:00Z\n");
  image.file("C:\\dir\\big.bin", std::string(1234, 'x'));
  image.folder("C:\\dir\\sub");
  win::WIN32_FIND_DATAW data{};
  win::HANDLE h = win::FindFirstFileW(u"C:\\dir\\*", &data);
  ASSERT_NE(h, win::INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(data.cFileName), u".");
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(win::FindNextFileW(h, &data));
  EXPECT_EQ(std::u16string(data.cFileName), u"..");
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_TRUE(win::FindNextFileW(h, &data));
  EXPECT_EQ(std::u16string(data.cFileName), u"big.bin");
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(data.nFileSizeLow, 1234u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_EQ(fileTime(data.ftCreationTime), 129226395000000000ULL);
  EXPECT_EQ(fileTime(data.ftLastWriteTime), kClockFileTime);  // written today: the clock's time
  EXPECT_EQ(data.cAlternateFileName[0], u'\0');  // no short names
  ASSERT_TRUE(win::FindNextFileW(h, &data));
  EXPECT_EQ(std::u16string(data.cFileName), u"sub");
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.nFileSizeLow, 0u);
  EXPECT_TRUE(win::FindClose(h));
}

TEST_F(FindFiles, FaultedItems) {
  useConfig(
      "[[fault.file]]\npath = 'C:\\locked'\ncode = 32\n"
      "[[fault.file]]\npath = 'C:\\denied'\ncode = 5\nattributes = false\n");
  image.file("C:\\locked\\a.txt", "");
  image.file("C:\\denied\\b.txt", "");
  // A locked folder still lists; a denied one does not, though its parent
  // still lists it.
  EXPECT_EQ(list("C:\\locked\\*.txt"), (std::vector<std::string>{"a.txt"}));
  DWORD error = 0;
  EXPECT_TRUE(list("C:\\denied\\*", &error).empty());
  EXPECT_EQ(error, 5u);
  EXPECT_EQ(list("C:\\*"), (std::vector<std::string>{"denied", "locked"}));
}

}  // namespace
}  // namespace qftest
