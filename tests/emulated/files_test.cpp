// Attribute queries, folder creation and plain moves on the emulated drives.
#include <fcntl.h>

#include <fstream>
#include <string>

#include "emulated_files_fixture.h"

namespace qftest {
namespace {

using win::DWORD;

class Files : public EmulatedFiles {
 protected:
  void SetUp() override {
    EmulatedFiles::SetUp();
    image.file("C:\\dir\\f.txt", "hello");
    image.folder("C:\\dir\\sub");
  }

  void setHostWriteTime(std::string_view windowsPath, std::time_t seconds) {
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, image.host(windowsPath).c_str(), times, 0), 0);
  }
};

TEST_F(Files, AttributesOfPaths) {
  struct Row {
    const char* path;
    DWORD attributes;  // INVALID_FILE_ATTRIBUTES: fails with `error`
    DWORD error;
  } rows[] = {
      {"C:\\dir", win::FILE_ATTRIBUTE_DIRECTORY, 0},
      {"C:\\dir\\", win::FILE_ATTRIBUTE_DIRECTORY, 0},            // a folder may end in a backslash
      {"C:\\", win::FILE_ATTRIBUTE_DIRECTORY, 0},
      {"C:\\dir\\f.txt", win::FILE_ATTRIBUTE_ARCHIVE, 0},
      {"c:\\DIR\\F.TXT", win::FILE_ATTRIBUTE_ARCHIVE, 0},         // names ignore case
      {"C:/dir/f.txt", win::FILE_ATTRIBUTE_ARCHIVE, 0},           // both separators
      {"C:\\dir\\sub\\..\\f.txt", win::FILE_ATTRIBUTE_ARCHIVE, 0},
      {"C:\\dir\\missing", win::INVALID_FILE_ATTRIBUTES, win::ERROR_FILE_NOT_FOUND},
      {"C:\\missing\\f.txt", win::INVALID_FILE_ATTRIBUTES, win::ERROR_PATH_NOT_FOUND},
      {"C:\\dir\\f.txt\\x", win::INVALID_FILE_ATTRIBUTES, win::ERROR_PATH_NOT_FOUND},  // a file on the way
      {"C:\\dir\\f.txt\\", win::INVALID_FILE_ATTRIBUTES, win::ERROR_INVALID_NAME},     // a file as a folder
      {"C:\\dir\\*.txt", win::INVALID_FILE_ATTRIBUTES, win::ERROR_INVALID_NAME},
      {"Q:\\x", win::INVALID_FILE_ATTRIBUTES, win::ERROR_PATH_NOT_FOUND},              // no such drive
      {"dir\\f.txt", win::INVALID_FILE_ATTRIBUTES, win::ERROR_PATH_NOT_FOUND},         // relative
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    win::SetLastError(0);
    EXPECT_EQ(win::GetFileAttributesW(w(row.path).c_str()), row.attributes);
    EXPECT_EQ(win::GetLastError(), row.error);
  }
}

TEST_F(Files, AttributeRecordTimesAndSize) {
  // The creation time comes from machine.toml where it gives one (an offset
  // date-time is taken to UTC), the last-write and last-access times from the host.
  useConfig(
      "[[file_time]]\npath = 'c:\\DIR\\f.txt'\ncreated = 2010-07-03T16:05:00+02:00\n"
      "[[file_time]]\npath = 'C:\\dir\\sub'\ncreated = 2009-01-02T03:04:05Z\n");
  setHostWriteTime("C:\\dir\\f.txt", 1230865445);  // 2009-01-02 03:04:05 UTC
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(win::GetFileAttributesExW(u"C:\\dir\\f.txt", win::GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(fileTime(data.ftCreationTime), 129226395000000000ULL);  // 2010-07-03 14:05:00 UTC
  EXPECT_EQ(fileTime(data.ftLastWriteTime), 128753390450000000ULL);
  EXPECT_EQ(fileTime(data.ftLastAccessTime), 128753390450000000ULL);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);

  ASSERT_TRUE(win::GetFileAttributesExW(u"C:\\dir\\sub\\", win::GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(fileTime(data.ftCreationTime), 128753390450000000ULL);
  EXPECT_EQ(data.nFileSizeLow, 0u);

  // Without an entry: the host's birth time, else its last-write time. A
  // host time after the machine's clock (a file added today) reads as the
  // clock's time.
  image.file("C:\\new.txt", "");
  ASSERT_TRUE(win::GetFileAttributesExW(u"C:\\new.txt", win::GetFileExInfoStandard, &data));
  EXPECT_EQ(fileTime(data.ftCreationTime), kClockFileTime);
  EXPECT_EQ(fileTime(data.ftLastWriteTime), kClockFileTime);
  EXPECT_EQ(fileTime(data.ftLastAccessTime), kClockFileTime);
}

TEST_F(Files, FailedAttributeRecordWritesNothing) {
  useConfig("[[fault.file]]\npath = 'C:\\dir\\sub'\ncode = 5\nattributes = false\n"
            "[[fault.file]]\npath = 'C:\\dir\\f.txt'\ncode = 32\n");
  struct Row {
    const char16_t* path;
    win::GET_FILEEX_INFO_LEVELS level;
    DWORD error;
  } rows[] = {
      {u"C:\\dir\\missing", win::GetFileExInfoStandard, win::ERROR_FILE_NOT_FOUND},
      {u"C:\\missing\\x", win::GetFileExInfoStandard, win::ERROR_PATH_NOT_FOUND},
      {u"C:\\dir\\sub", win::GetFileExInfoStandard, 5},                          // denied, attributes too
      {u"C:\\dir\\f.txt", win::GetFileExMaxInfoLevel, win::ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(emu::toUtf8(row.path));
    auto data = sentinel<win::WIN32_FILE_ATTRIBUTE_DATA>();
    EXPECT_FALSE(win::GetFileAttributesExW(row.path, row.level, &data));
    EXPECT_EQ(win::GetLastError(), row.error);
    EXPECT_TRUE(untouched(data));
  }
  EXPECT_EQ(win::GetFileAttributesW(u"C:\\dir\\sub"), win::INVALID_FILE_ATTRIBUTES);
  // A locked file still answers attribute queries.
  EXPECT_EQ(win::GetFileAttributesW(u"C:\\dir\\f.txt"), win::FILE_ATTRIBUTE_ARCHIVE);
}

TEST_F(Files, CreateDirectory) {
  struct Row {
    const char* path;
    bool ok;
    DWORD error;
  } rows[] = {
      {"C:\\dir\\New", true, 0},
      {"C:\\DIR\\new", false, win::ERROR_ALREADY_EXISTS},     // just made, other case
      {"C:\\dir\\f.txt", false, win::ERROR_ALREADY_EXISTS},   // a file of that name
      {"C:\\missing\\x", false, win::ERROR_PATH_NOT_FOUND},   // the parent must exist
      {"C:\\dir\\a?b", false, win::ERROR_INVALID_NAME},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    win::SetLastError(0);
    EXPECT_EQ(win::CreateDirectoryW(w(row.path).c_str(), nullptr), row.ok ? win::TRUE : win::FALSE);
    if (!row.ok) {
      EXPECT_EQ(win::GetLastError(), row.error);
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(image.root() / "drive_c" / "dir" / "New"));
  EXPECT_FALSE(image.exists("C:\\missing"));
}

TEST_F(Files, SHCreateDirectoryEx) {
  struct Row {
    const char* path;
    int result;
  } rows[] = {
      {"C:\\dir\\a\\b\\c", win::ERROR_SUCCESS},                  // every missing folder is made
      {"C:\\dir\\A\\B\\C", static_cast<int>(win::ERROR_ALREADY_EXISTS)},
      {"C:\\dir", static_cast<int>(win::ERROR_ALREADY_EXISTS)},
      {"C:\\dir\\f.txt", static_cast<int>(win::ERROR_FILE_EXISTS)},         // a file in the way
      {"C:\\dir\\f.txt\\x", static_cast<int>(win::ERROR_PATH_NOT_FOUND)},   // a file on the way
      {"dir\\x", static_cast<int>(win::ERROR_BAD_PATHNAME)},                // relative
      {"Q:\\x", static_cast<int>(win::ERROR_PATH_NOT_FOUND)},               // no such drive
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(win::SHCreateDirectoryExW(nullptr, w(row.path).c_str(), nullptr), row.result);
  }
  EXPECT_TRUE(std::filesystem::is_directory(image.root() / "drive_c" / "dir" / "a" / "b" / "c"));
}

TEST_F(Files, MoveFile) {
  useConfig("[[fault.file]]\npath = 'C:\\dir\\sub\\locked.dll'\ncode = 32\n");
  image.file("C:\\dir\\sub\\locked.dll", "");
  EXPECT_TRUE(win::MoveFileW(u"C:\\dir\\F.TXT", u"C:\\dir\\sub\\g.txt"));
  EXPECT_EQ(image.read("C:\\dir\\sub\\g.txt"), "hello");
  EXPECT_FALSE(image.exists("C:\\dir\\f.txt"));
  struct Row {
    const char16_t* from;
    const char16_t* to;
    DWORD error;
  } rows[] = {
      {u"C:\\dir\\f.txt", u"C:\\dir\\h.txt", win::ERROR_FILE_NOT_FOUND},         // moved away already
      {u"C:\\dir\\sub\\g.txt", u"C:\\dir\\sub\\locked.dll", win::ERROR_ALREADY_EXISTS},
      {u"C:\\dir\\sub\\g.txt", u"C:\\nowhere\\g.txt", win::ERROR_PATH_NOT_FOUND},
      {u"C:\\dir\\sub", u"C:\\moved", 32},                                        // holds a locked file
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(emu::toUtf8(row.from));
    EXPECT_FALSE(win::MoveFileW(row.from, row.to));
    EXPECT_EQ(win::GetLastError(), row.error);
  }
  EXPECT_TRUE(image.exists("C:\\dir\\sub\\g.txt"));
  EXPECT_TRUE(image.exists("C:\\dir\\sub\\locked.dll"));
}

}  // namespace
}  // namespace qftest
