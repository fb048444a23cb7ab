// The text rules every part shares: ASCII case folding, wide and 8-bit, and
// the text of a fixed buffer up to its first terminator.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "system/scanner.h"
#include "system/text.h"

namespace {

TEST(Text, CaseFoldingTouchesOnlyAsciiLetters) {
  struct Row {
    std::u16string_view a;
    std::u16string_view b;
    bool equal;
  };
  const Row rows[] = {
      {u"JavaPlug-in", u"javaplug-IN", true},  // letters of either case
      {u"", u"", true},                         // two empty names
      {u"abc", u"abcd", false},                 // a prefix is not the name
      {u"@[`{", u"@[`{", true},                 // the neighbours of the letters stay as they are
      {u"@", u"`", false},                      // 0x40 and 0x60: no letters, not folded
      {u"[", u"{", false},                      // 0x5B and 0x7B likewise
      {u"\u00C9", u"\u00E9", false},            // beyond ASCII: compared as they are
  };
  for (const Row& r : rows) EXPECT_EQ(equalNoCase(r.a, r.b), r.equal) << std::string(r.a.begin(), r.a.end());

  // 8-bit: bytes above 0x7F compare as they are, as the runtime does in its
  // default locale.
  EXPECT_TRUE(equalNoCase(std::string_view("/REBOOT"), "/reboot"));
  EXPECT_FALSE(equalNoCase(std::string_view("\xC9"), "\xE9"));
  EXPECT_FALSE(equalNoCase(std::string_view("all"), "al"));
  EXPECT_TRUE(endsWithNoCase("C:\\x\\quorelfix.TXT", "QuorelFix.txt"));
  EXPECT_TRUE(endsWithNoCase("QuorelFix.txt", "QuorelFix.txt"));
  EXPECT_FALSE(endsWithNoCase("orelFix.txt", "QuorelFix.txt"));  // shorter than the name
  EXPECT_TRUE(startsWithNoCase(u"software\\Test\\x", u"SOFTWARE\\"));
  EXPECT_FALSE(startsWithNoCase(u"SOFT", u"SOFTWARE"));
}

TEST(Text, TextEndsAtTheFirstTerminatorOrTheBuffer) {
  EXPECT_EQ(untilTerminator(std::u16string_view(u"ab\0cd", 5)), u"ab");
  EXPECT_EQ(untilTerminator(std::u16string_view(u"\0ab", 3)), u"");
  EXPECT_EQ(untilTerminator(u"abc"), u"abc");  // no terminator in the view: all of it
  EXPECT_EQ(untilTerminator(u""), u"");
}

// A found name that fills the fixed name field has no terminator: it is taken
// whole, and the field after it is never read.
TEST(Text, AFoundNameIsReadWithinItsField) {
  win::WIN32_FIND_DATAW entry{};
  std::fill(std::begin(entry.cAlternateFileName), std::end(entry.cAlternateFileName), u'!');
  std::fill(std::begin(entry.cFileName), std::end(entry.cFileName), u'n');
  EXPECT_EQ(foundName(entry), std::u16string(win::MAX_PATH, u'n'));

  entry.cFileName[3] = u'\0';
  EXPECT_EQ(foundName(entry), u"nnn");
  entry.cFileName[0] = u'\0';
  EXPECT_EQ(foundName(entry), u"");
}

}  // namespace
