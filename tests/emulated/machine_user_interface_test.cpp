// Message boxes answered from the image, the restart request, system() and
// the journal they write.
#include <gtest/gtest.h>

#include <string>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

int box(const char16_t* text, win::UINT style) { return win::MessageBoxW(nullptr, text, u"QuorelFix", style); }

TEST(MessageBox, AnswersAreTakenInOrderAndConsumedDurably) {
  qftest::Machine m("answers", "[message_boxes]\nanswers = [\"IDYES\", \"idcontinue\", 10, \"IDNOPE\", \"IDRETRY\"]\n");
  EXPECT_EQ(box(u"first", win::MB_YESNO | win::MB_ICONWARNING), win::IDYES);
  EXPECT_EQ(box(u"second", win::MB_CANCELTRYCONTINUE | win::MB_ICONWARNING), win::IDCONTINUE);  // names ignore case
  // The next run (the reboot pass, say) goes on with the answers left.
  emu::useImage(m.image.root());
  EXPECT_EQ(box(u"third", win::MB_CANCELTRYCONTINUE), win::IDTRYAGAIN);     // a number
  EXPECT_EQ(box(u"fourth", win::MB_OKCANCEL), win::IDCANCEL);               // no answer: dismissed
  EXPECT_EQ(box(u"fifth", win::MB_OK), win::IDRETRY);                       // taken as it stands
  EXPECT_EQ(box(u"sixth", win::MB_OK), win::IDOK);                          // none left
  const toml::table saved = m.saved();
  const toml::array* left = saved["message_boxes"]["answers"].as_array();
  ASSERT_NE(left, nullptr);
  EXPECT_TRUE(left->empty());
}

TEST(MessageBox, WithNoAnswerLeftTheBoxIsDismissed) {
  qftest::Machine m("dismiss", "");
  struct Case {
    win::UINT style;
    int answer;
  } const cases[] = {
      {win::MB_OK | win::MB_ICONERROR, win::IDOK},
      {win::MB_OKCANCEL, win::IDCANCEL},
      {win::MB_YESNOCANCEL, win::IDCANCEL},
      {win::MB_RETRYCANCEL, win::IDCANCEL},
      {win::MB_CANCELTRYCONTINUE | win::MB_ICONWARNING, win::IDCANCEL},
      {win::MB_YESNO | win::MB_ICONWARNING, win::IDNO},          // cannot be closed on Windows: the safe answer
      {win::MB_ABORTRETRYIGNORE, win::IDABORT},                  // likewise
  };
  for (const auto& c : cases) EXPECT_EQ(box(u"?", c.style), c.answer) << c.style;
}

TEST(Journal, EveryBoxRestartAndCommandIsALine) {
  qftest::Machine m("journal", "[message_boxes]\nanswers = [\"IDYES\"]\n");
  EXPECT_EQ(box(u"QuorelFix will \"check\"\r\nC:\\path\tx", 0x34), win::IDYES);
  EXPECT_EQ(win::MessageBoxW(nullptr, u"No caption", nullptr, win::MB_OK), win::IDOK);
  EXPECT_TRUE(win::ExitWindowsEx(win::EWX_REBOOT | win::EWX_FORCEIFHUNG, 0));
  EXPECT_EQ(win::system("ipconfig /flushdns"), 0);
  EXPECT_EQ(m.image.journal(),
            "MessageBoxW text=\"QuorelFix will \\\"check\\\"\\r\\nC:\\\\path\\tx\" caption=\"QuorelFix\" style=0x34 "
            "answer=6\n"
            "MessageBoxW text=\"No caption\" caption=\"Error\" style=0x00 answer=1\n"
            "ExitWindowsEx flags=0x12 reason=0\n"
            "system command=\"ipconfig /flushdns\"\n");
}

TEST(Journal, QuotingEscapesControlCharacters) {
  EXPECT_EQ(emu::quoted("plain"), "\"plain\"");
  EXPECT_EQ(emu::quoted("a\\b\"c\r\n\t"), "\"a\\\\b\\\"c\\r\\n\\t\"");
  EXPECT_EQ(emu::quoted(""), "\"\"");
}

}  // namespace
