// Reading removal scripts line by line in both encodings, and appending to
// the reboot list. Script streams are host temporary files: getLine reads an
// open stream and needs no machine; the reboot list is made on one.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "control/script.h"
#include "platform/emulated/machine/image.h"
#include "support/base_machine.h"
#include "support/machine_image.h"
#include "system/reboot_list.h"

namespace {

using qftest::MachineImage;
using qftest::toUtf16le;

struct TempStream {
  std::FILE* file = std::tmpfile();
  ~TempStream() {
    if (file) std::fclose(file);
  }
  void write(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
  }
  std::string readAll() {
    std::rewind(file);
    std::string out;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) out.push_back(static_cast<char>(c));
    return out;
  }
};

// Every line getLine returns until its first none.
std::vector<std::u16string> linesOf(const std::string& bytes, int wide) {
  TempStream stream;
  stream.write(bytes);
  std::vector<std::u16string> lines;
  while (auto line = getLine(stream.file, wide)) lines.push_back(*line);
  return lines;
}

struct LineCase {
  const char* what;
  std::string bytes;
  std::vector<std::u16string> lines;
};

std::string wide(std::string_view utf8) { return toUtf16le(utf8); }
std::string zeroUnit() { return std::string("\0\0", 2); }

TEST(ScriptGetLine, Utf16le) {
  const LineCase cases[] = {
      // CR LF ends each line; nothing trimmed.
      {"crlf", wide("C:\\a b.txt\r\nC:\\c\r\n"), {u"C:\\a b.txt", u"C:\\c"}},
      // A bare LF does not end a line and stays in the path.
      {"bare LF stays", wide("C:\\a\nb\r\nC:\\c\r\n"), {u"C:\\a\nb", u"C:\\c"}},
      // Whatever unit follows the CR is dropped with it.
      {"unit after CR dropped", wide("C:\\a\rXC:\\b\r\n"), {u"C:\\a", u"C:\\b"}},
      // A last line without a line end is still read.
      {"last line unterminated", wide("C:\\a\r\nC:\\b"), {u"C:\\a", u"C:\\b"}},
      // A CR as the very last unit: no unit to drop.
      {"CR at end", wide("C:\\a\r"), {u"C:\\a"}},
      // The first empty line ends the script.
      {"empty line ends", wide("C:\\a\r\n\r\nC:\\b\r\n"), {u"C:\\a"}},
      // A zero unit ends the line's text; the rest of the line is dropped.
      {"zero unit", wide("C:\\a") + zeroUnit() + wide("junk\r\nC:\\b\r\n"), {u"C:\\a", u"C:\\b"}},
      // A line that begins with a zero unit is an empty text, not the end.
      {"zero unit first", zeroUnit() + wide("x\r\nC:\\b"), {u"", u"C:\\b"}},
      // A lone last byte is no code unit.
      {"odd last byte", wide("C:\\a\r\nC:\\b") + "x", {u"C:\\a", u"C:\\b"}},
      // Code units beyond Latin-1 come through unchanged.
      {"non-latin", wide("C:\\\xD0\x96\xE2\x82\xAC\r\n"), {u"C:\\\u0416\u20AC"}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(linesOf(c.bytes, 1), c.lines) << c.what;
}

TEST(ScriptGetLine, EightBit) {
  const LineCase cases[] = {
      {"lf", "C:\\a\nC:\\b\n", {u"C:\\a", u"C:\\b"}},
      // LF alone ends a line: a CR before it stays at the end of the path.
      {"crlf keeps CR", "C:\\a\r\nC:\\b\r\n", {u"C:\\a\r", u"C:\\b\r"}},
      // So an "empty" CR LF line is a line of one CR and does not end the script.
      {"crlf empty line is CR", "C:\\a\r\n\r\nC:\\b\r\n", {u"C:\\a\r", u"\r", u"C:\\b\r"}},
      {"bare CR stays", "C:\\a\rb\n", {u"C:\\a\rb"}},
      {"last line unterminated", "C:\\a\nC:\\b", {u"C:\\a", u"C:\\b"}},
      {"empty line ends", "C:\\a\n\nC:\\b\n", {u"C:\\a"}},
      // A zero byte ends the text; the rest of the line up to LF is read and dropped.
      {"zero byte", std::string("C:\\a\0junk\nC:\\b\n", 15), {u"C:\\a", u"C:\\b"}},
      {"zero byte first", std::string("\0x\nC:\\b\n", 8), {u"", u"C:\\b"}},
      // Each byte becomes the code unit of the same value.
      {"high bytes", "C:\\\xE9\xFF\x80\n", {u"C:\\\u00E9\u00FF\u0080"}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(linesOf(c.bytes, 0), c.lines) << c.what;
}

TEST(ScriptGetLine, EmptyLineLeavesTheRestUnread) {
  TempStream stream;
  stream.write("C:\\a\n\nC:\\b\n");
  EXPECT_EQ(getLine(stream.file, 0), u"C:\\a");
  EXPECT_EQ(getLine(stream.file, 0), std::nullopt);
  // The caller stops here; the stream has consumed only the empty line.
  EXPECT_EQ(getLine(stream.file, 0), u"C:\\b");
}

// The reboot list on the emulated machine: one list object of its own per
// test, made and read back through the machine's files.
class RebootListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image.config(qftest::kBaseMachineToml);
    image.folder("C:\\backup");
    emu::useImage(image.root());
  }
  MachineImage image{"reboot-list"};
  RebootList list;
};

TEST_F(RebootListTest, AppendsUtf16leEntriesWithCrLfAndSetsTheFlag) {
  list.open(u"C:\\backup\\reboot.txt");
  EXPECT_TRUE(list.allowReboot());
  EXPECT_FALSE(list.doReboot());
  // Made with its mark alone, on disk at once.
  EXPECT_EQ(image.read("C:\\backup\\reboot.txt"), std::string("\xFF\xFE", 2));
  list.add(u"C:\\x y\\\u00E9\u20AC.dll");
  list.add(u"C:\\x y\\\u00E9\u20AC.dll");  // the same path may stand twice
  EXPECT_TRUE(list.doReboot());
  std::string entry = wide("C:\\x y\\\xC3\xA9\xE2\x82\xAC.dll\r\n");
  // Each entry is flushed as it is added.
  EXPECT_EQ(image.read("C:\\backup\\reboot.txt"), std::string("\xFF\xFE", 2) + entry + entry);
  EXPECT_EQ(list.close(), 0);
}

TEST_F(RebootListTest, WithoutAnOpenListSchedulesNothing) {
  // Never opened: nothing allowed, nothing scheduled.
  list.add(u"C:\\x.dll");
  EXPECT_FALSE(list.allowReboot());
  EXPECT_FALSE(list.doReboot());
  EXPECT_EQ(list.close(), 0);

  // A list that cannot be made (its folder is missing) allows nothing either.
  list.open(u"C:\\missing\\reboot.txt");
  EXPECT_FALSE(list.allowReboot());
  list.add(u"C:\\x.dll");
  EXPECT_FALSE(list.doReboot());
  EXPECT_FALSE(image.exists("C:\\missing\\reboot.txt"));

  // Closed: nothing more is written, and the run still knows the list was there.
  list.open(u"C:\\backup\\reboot.txt");
  EXPECT_EQ(list.close(), 0);
  list.add(u"C:\\x.dll");
  EXPECT_TRUE(list.allowReboot());
  EXPECT_FALSE(list.doReboot());
  EXPECT_EQ(image.read("C:\\backup\\reboot.txt"), std::string("\xFF\xFE", 2));
}

TEST_F(RebootListTest, AddRebootAppendsToTheProcesssList) {
  rebootList().open(u"C:\\backup\\reboot.txt");
  addReboot(u"C:\\x.dll");
  EXPECT_TRUE(rebootList().doReboot());
  EXPECT_EQ(rebootList().close(), 0);
  rebootList() = RebootList{};
  EXPECT_EQ(image.read("C:\\backup\\reboot.txt"), std::string("\xFF\xFE", 2) + wide("C:\\x.dll\r\n"));
}

}  // namespace
