// wsprintfW: the report's formatter, compared character for character.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

std::u16string format(const char16_t* fmt, auto... args) {
  char16_t out[1100];
  std::fill(std::begin(out), std::end(out), u'#');
  const int n = win::wsprintfW(out, fmt, args...);
  EXPECT_EQ(static_cast<std::size_t>(n), std::u16string(out).size()) << "result is the length written";
  return out;
}

TEST(Wsprintf, Integers) {
  EXPECT_EQ(format(u"%d", 0), u"0");
  EXPECT_EQ(format(u"%d", INT_MIN), u"-2147483648");                     // the most negative int
  EXPECT_EQ(format(u"%d", INT_MAX), u"2147483647");
  EXPECT_EQ(format(u"%i", -42), u"-42");
  EXPECT_EQ(format(u"%u", 4294967295u), u"4294967295");
  EXPECT_EQ(format(u"%u", -1), u"4294967295");                           // an int read as unsigned
  EXPECT_EQ(format(u"%02u", 7u), u"07");                                 // the report's time fields
  EXPECT_EQ(format(u"%02u", 2010u), u"2010");                            // a width is a minimum
  EXPECT_EQ(format(u"%010ld", -1), u"-000000001");                       // sign before the zeros (Wine's test)
  EXPECT_EQ(format(u"%5d|", 42), u"   42|");
  EXPECT_EQ(format(u"%-5d|", 42), u"42   |");
  EXPECT_EQ(format(u"%-05d|", 42), u"42   |");                          // '-' wins over '0'
  EXPECT_EQ(format(u"%.4d", 42), u"0042");                               // precision: least digits
  EXPECT_EQ(format(u"%x %X", 0xbeef, 0xbeef), u"beef BEEF");
  EXPECT_EQ(format(u"%08X", 0x1234u), u"00001234");
  EXPECT_EQ(format(u"%#x", 255), u"0xff");
  EXPECT_EQ(format(u"%I64d", static_cast<long long>(543210) * 1000000), u"543210000000");  // Wine's table
  EXPECT_EQ(format(u"%I64X", static_cast<unsigned long long>(-0x12345LL)), u"FFFFFFFFFFFEDCBB");
}

TEST(Wsprintf, TextAndCharacters) {
  EXPECT_EQ(format(u"%s\\QuorelFix Backups", u"C:\\Desktop"), u"C:\\Desktop\\QuorelFix Backups");
  EXPECT_EQ(format(u"%ls", u"wide"), u"wide");
  EXPECT_EQ(format(u"%hs|%S", "narrow", "too"), u"narrow|too");
  EXPECT_EQ(format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
  EXPECT_EQ(format(u"[%6s][%-6s]", u"ab", u"ab"), u"[    ab][ab    ]");
  EXPECT_EQ(format(u"%.3s", u"abcdef"), u"abc");                         // precision: most characters
  EXPECT_EQ(format(u"%c%c", u'O', 0x263A), u"O\u263A");
  EXPECT_EQ(format(u"100%%"), u"100%");
  EXPECT_EQ(format(u"\"%s\" \"%s\" /reboot", u"C:\\a b\\QuorelFix.exe", u"C:\\r.txt"),
            u"\"C:\\a b\\QuorelFix.exe\" \"C:\\r.txt\" /reboot");
  EXPECT_EQ(format(u"QuorelFix[%02u.%02u.%02u_%02u-%02u-%u].txt", 9u, 5u, 7u, 3u, 7u, 2010u),
            u"QuorelFix[09.05.07_03-07-2010].txt");
  EXPECT_EQ(format(u"Failed [%d]", 32), u"Failed [32]");
}

TEST(Wsprintf, WritesAtMost1024CharactersWithTheTerminator) {
  std::u16string longText(2000, u'x');
  char16_t out[2100];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_EQ(win::wsprintfW(out, u"%s", longText.c_str()), 1023);
  EXPECT_EQ(out[1022], u'x');
  EXPECT_EQ(out[1023], u'\0');
  EXPECT_EQ(out[1024], u'#');  // sentinel: nothing past the limit
}

}  // namespace
