// The runtime's opens by path (_wfopen, fopen) and fclose on the emulated
// drives: host streams, CreateFileW's errors, and the emulated clock as the
// last-write time of written files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulated_files_fixture.h"

namespace qftest {
namespace {

using win::DWORD;

class RuntimeFiles : public EmulatedFiles {
 protected:
  void SetUp() override {
    useConfig("[[fault.file]]\npath = 'C:\\dir\\locked.txt'\ncode = 32\n"
              "[[fault.file]]\npath = 'C:\\dir\\denied.txt'\ncode = 5\nattributes = false\n");
    image.file("C:\\dir\\f.txt", "hello");
    image.file("C:\\dir\\locked.txt", "L");
    image.file("C:\\dir\\denied.txt", "D");
  }

  static std::string readAll(std::FILE* f) {
    std::string out;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    return out;
  }
};

TEST_F(RuntimeFiles, FailedOpensSetTheLastError) {
  struct Row {
    const char16_t* path;
    const char16_t* mode;
    DWORD error;
  } rows[] = {
      {u"C:\\dir\\missing.txt", u"rb", win::ERROR_FILE_NOT_FOUND},
      {u"C:\\nodir\\f.txt", u"rb", win::ERROR_PATH_NOT_FOUND},
      {u"C:\\nodir\\f.txt", u"wb", win::ERROR_PATH_NOT_FOUND},  // writing makes no folders
      {u"C:\\dir", u"rb", win::ERROR_ACCESS_DENIED},             // a folder
      {u"C:\\dir", u"w", win::ERROR_ACCESS_DENIED},
      {u"C:\\dir\\locked.txt", u"rb", 32},                      // the injected code, any mode
      {u"C:\\dir\\locked.txt", u"ab", 32},
      {u"C:\\dir\\denied.txt", u"r", 5},
      {u"C:\\dir\\f.txt", u"x", win::ERROR_INVALID_PARAMETER},  // not a mode
      {u"C:\\dir\\a?.txt", u"w", win::ERROR_INVALID_NAME},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(emu::toUtf8(row.path) + " " + emu::toUtf8(row.mode));
    win::SetLastError(0);
    EXPECT_EQ(win::_wfopen(row.path, row.mode), nullptr);
    EXPECT_EQ(win::GetLastError(), row.error);
  }
  EXPECT_EQ(image.read("C:\\dir\\locked.txt"), "L");
  EXPECT_FALSE(image.exists("C:\\nodir"));
}

TEST_F(RuntimeFiles, OpensByWideAndEightBitPaths) {
  std::FILE* f = win::_wfopen(u"c:\\DIR\\F.TXT", u"rb");  // names ignore case
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(readAll(f), "hello");
  EXPECT_EQ(win::fclose(f), 0);

  // A new file keeps the case of its name as given, in the folder as stored.
  f = win::_wfopen(u"C:\\DIR\\New Report.TXT", u"wb");
  ASSERT_NE(f, nullptr);
  std::fputs("one\r\n", f);
  EXPECT_EQ(win::fclose(f), 0);
  f = win::_wfopen(u"C:\\dir\\new report.txt", u"ab");
  ASSERT_NE(f, nullptr);
  std::fputs("two\n", f);  // no text translation: the bytes as written
  EXPECT_EQ(win::fclose(f), 0);
  EXPECT_EQ(image.read("C:\\dir\\New Report.TXT"), "one\r\ntwo\n");

  // The 8-bit path: byte 0xE9 is the code unit U+00E9.
  f = win::fopen("C:\\dir\\caf\xE9.txt", "w+t");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(win::fclose(f), 0);
  EXPECT_TRUE(image.exists("C:\\dir\\caf\xC3\xA9.txt"));
  EXPECT_EQ(win::fopen("C:\\dir\\nothing", "rb"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
}

TEST_F(RuntimeFiles, WrittenFilesTakeTheEmulatedClockWhenClosed) {
  const std::uint64_t before = hostWriteTime("C:\\dir\\f.txt");
  std::FILE* f = win::_wfopen(u"C:\\dir\\f.txt", u"rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(win::fclose(f), 0);
  EXPECT_EQ(hostWriteTime("C:\\dir\\f.txt"), before);  // reading leaves it

  f = win::_wfopen(u"C:\\dir\\log.txt", u"a");
  ASSERT_NE(f, nullptr);
  std::fputs("x", f);
  EXPECT_EQ(win::fclose(f), 0);
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(win::GetFileAttributesExW(u"C:\\dir\\log.txt", win::GetFileExInfoStandard, &data));
  EXPECT_EQ(fileTime(data.ftLastWriteTime), kClockFileTime);
}

TEST_F(RuntimeFiles, StreamsLeftOpenAreStampedAtExit) {
  // The restart path ends the process with the report still open.
  EXPECT_EXIT(
      {
        std::FILE* f = win::_wfopen(u"C:\\dir\\report.txt", u"wb");
        if (f) std::fputs("report", f);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(image.read("C:\\dir\\report.txt"), "report");
  EXPECT_EQ(hostWriteTime("C:\\dir\\report.txt"), kClockFileTime);
}

}  // namespace
}  // namespace qftest
