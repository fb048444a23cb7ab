// registry.reg line by line: a line that cannot be read is named with its
// number and what is wrong with it, and an image holding one is refused
// before the program acts; what regedit writes around its exports (the
// header line, a second export appended with its own mark) is read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/emulated/registry/reg_file.h"
#include "platform/emulated/registry/tree.h"
#include "registry_test_support.h"

namespace {

using namespace emu::reg;

struct Trees {
  std::shared_ptr<Key> machine = makeRoot(u"HKEY_LOCAL_MACHINE");
  std::shared_ptr<Key> user = makeRoot(u"HKEY_CURRENT_USER");
  std::optional<RegLineError> apply(std::u16string_view text) { return applyRegText(text, machine, user); }
};

TEST(RegistryFileLines, ALineThatCannotBeReadIsNamed) {
  struct Case {
    const char* what;
    std::u16string text;
    std::size_t line;
    std::string says;
  } const cases[] = {
      {"dword of letters", u"[HKLM\\A]\r\n\"pp\"=dword:zz\r\n", 2, "a dword needs 1 to 8 hexadecimal digits"},
      {"dword too long", u"[HKLM\\A]\r\n\"pp\"=dword:123456789\r\n", 2, "a dword needs 1 to 8 hexadecimal digits"},
      {"key not closed", u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A\r\n", 3,
       "the key's name is not closed with ]"},
      {"value before any key", u"Windows Registry Editor Version 5.00\r\n\r\n\"a\"=\"b\"\r\n", 3,
       "a value comes before any key [...]"},
      {"value after a key deletion", u"[-HKLM\\A]\r\n\"a\"=\"b\"\r\n", 2,
       "a value follows a key deletion [-...]; values belong to a key [...]"},
      {"unknown root", u"[HKLM\\A]\r\n[HKEY_USERS\\S-1-5-18\\Software]\r\n", 2,
       "unknown root key \"HKEY_USERS\"; keys begin HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT"},
      {"a root deleted", u"[-HKEY_CURRENT_USER]\r\n", 1, "a root key cannot be deleted"},
      {"continuation cut by the end of the file", u"[HKLM\\A]\r\n\"b\"=hex:01,02,\\", 2,
       "the hex data ends with a backslash, but the file ends there"},
      {"continuation cut by a key", u"[HKLM\\A]\r\n\"b\"=hex:01,02,\\\r\n[HKLM\\B]\r\n", 2,
       "the hex data ends with a backslash, but the next line does not go on with it"},
      {"continuation cut by a blank line", u"[HKLM\\A]\r\n\"b\"=hex:01,\\\r\n\r\n\"c\"=\"x\"\r\n", 2,
       "the hex data ends with a backslash, but the next line does not go on with it"},
      {"a byte that is no hex", u"[HKLM\\A]\r\n\"b\"=hex:01,0g\r\n", 2,
       "hex data must be bytes of two hexadecimal digits, parted by commas"},
      {"a bad byte on a continued line", u"[HKLM\\A]\r\n\"b\"=hex:01,\\\r\n  123\r\n", 2,
       "hex data must be bytes of two hexadecimal digits, parted by commas"},
      {"hex(N) without a type", u"[HKLM\\A]\r\n\"b\"=hex(x):01\r\n", 2, "hex(N) needs a hexadecimal type N"},
      {"hex without a colon", u"[HKLM\\A]\r\n\"b\"=hex 01\r\n", 2, "hex data needs a colon after hex or hex(N)"},
      {"text not closed", u"[HKLM\\A]\r\n\"s\"=\"C:\\\\a\r\n", 2, "the quoted text is not closed"},
      {"text after the closing quote", u"[HKLM\\A]\r\n\"s\"=\"a\" \"b\"\r\n", 2, "text follows the closing quote"},
      {"name not closed", u"[HKLM\\A]\r\n\"s=\"a\r\n", 2, "the value's name is not followed by ="},
      {"no equals sign", u"[HKLM\\A]\r\n\"s\" \"a\"\r\n", 2, "the value's name is not followed by ="},
      {"unknown data", u"[HKLM\\A]\r\n\"s\"=str:a\r\n", 2, "the data is none of \"text\", dword:, hex: or hex(N):"},
      {"a stray line", u"[HKLM\\A]\r\nC:\\WINDOWS\r\n", 2,
       "the line is no key [...], value \"name\"=... or @=..., nor a comment ;..."},
      {"UTF-16 export appended to a UTF-8 file as bytes",
       u"[HKLM\\A]\r\n\u00FF\u00FEW", 2,
       "a UTF-16 export was appended to this UTF-8 file as bytes; add an export with qfmachine import"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Trees trees;
    const auto wrong = trees.apply(c.text);
    ASSERT_TRUE(wrong.has_value());
    EXPECT_EQ(wrong->line, c.line);
    EXPECT_EQ(wrong->what, c.says);
  }
}

// Around the keys and values: the header lines of both formats, comments,
// blank lines, a second export appended whole with its byte-order mark.
TEST(RegistryFileLines, WhatRegeditWritesAroundTheValuesIsRead) {
  Trees trees;
  EXPECT_FALSE(trees.apply(u"Windows Registry Editor Version 5.00\r\n\r\n; first export\r\n"
                           u"[HKEY_LOCAL_MACHINE\\A]\r\n\"a\"=\"1\"\r\n\r\n"
                           u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\B]\r\n\"b\"=dword:2\r\n"
                           u"REGEDIT4\n\n[HKEY_CURRENT_USER\\C]\n\"c\"=hex:03\n"));
  ASSERT_NE(findPath(trees.machine, {u"A"}), nullptr);
  ASSERT_NE(findPath(trees.machine, {u"B"}), nullptr);
  ASSERT_NE(findPath(trees.user, {u"C"}), nullptr);
  EXPECT_EQ(findValue(*findPath(trees.machine, {u"B"}), u"b")->data, (std::vector<win::BYTE>{2, 0, 0, 0}));
}

class RegistryFileRefusal : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// The machine stops at its first call, naming the file and the line, and
// changes nothing: the program never sees a registry with keys missing.
TEST_F(RegistryFileRefusal, AnImageWithALineThatCannotBeReadIsRefused) {
  for (const bool utf16 : {false, true}) {
    SCOPED_TRACE(utf16 ? "UTF-16LE" : "UTF-8");
    qftest::MachineImage image("reg-refused");
    image.config("[environment]\n");
    const std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"pp\"=dword:zz\r\n";
    const std::string bytes = utf16 ? regtest::utf16File(body) : regtest::utf8File(body);
    {
      std::ofstream f(image.root() / "registry.reg", std::ios::binary);
      f << bytes;
    }
    const std::string root = image.root().string();
    EXPECT_EXIT(
        {
          setenv("QUORELFIX_IMAGE", root.c_str(), 1);
          (void)win::CreateDirectoryW(u"C:\\made", nullptr);
        },
        ::testing::ExitedWithCode(2),
        "the machine image's registry cannot be read: .*registry.reg:4: a dword needs 1 to 8 hexadecimal digits\\.");
    EXPECT_FALSE(std::filesystem::exists(image.host("C:\\made")));
    EXPECT_FALSE(std::filesystem::exists(image.root() / "journal.txt"));
    EXPECT_EQ(qftest::slurp(image.root() / "registry.reg"), bytes);
  }
}

}  // namespace
