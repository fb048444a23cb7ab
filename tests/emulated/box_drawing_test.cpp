// Message boxes drawn at a terminal: the frame fits the terminal's width
// (between the least and the most columns a box takes), the text wraps at
// blanks without carrying the blank over, and the prompt names the keys.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/emulated/user/box_drawing.h"

namespace {

constexpr char16_t kFirefox[] =
    u"Firefox appears to be running. Save what you are doing and close Firefox, and then click Retry, or click "
    u"Continue to forcefully terminate Firefox.";

TEST(BoxDrawing, TheFrameFitsTheTerminal) {
  struct Case {
    std::size_t columns;
    std::string drawn;
  } const cases[] = {
      {40,
       "+--------------------------------------+\n"
       "| Warning                              |\n"
       "+--------------------------------------+\n"
       "| Firefox appears to be running. Save  |\n"
       "| what you are doing and close         |\n"
       "| Firefox, and then click Retry, or    |\n"
       "| click Continue to forcefully         |\n"
       "| terminate Firefox.                   |\n"
       "|                                      |\n"
       "| [C]ancel   [T]ry Again   C[o]ntinue  |\n"
       "+--------------------------------------+\n"},
      {60,
       "+----------------------------------------------------------+\n"
       "| Warning                                                  |\n"
       "+----------------------------------------------------------+\n"
       "| Firefox appears to be running. Save what you are doing   |\n"
       "| and close Firefox, and then click Retry, or click        |\n"
       "| Continue to forcefully terminate Firefox.                |\n"
       "|                                                          |\n"
       "|           [C]ancel   [T]ry Again   C[o]ntinue            |\n"
       "+----------------------------------------------------------+\n"},
      {80,
       "+----------------------------------------------------------------------+\n"
       "| Warning                                                              |\n"
       "+----------------------------------------------------------------------+\n"
       "| Firefox appears to be running. Save what you are doing and close     |\n"
       "| Firefox, and then click Retry, or click Continue to forcefully       |\n"
       "| terminate Firefox.                                                   |\n"
       "|                                                                      |\n"
       "|                 [C]ancel   [T]ry Again   C[o]ntinue                  |\n"
       "+----------------------------------------------------------------------+\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns);
    EXPECT_EQ(emu::boxDrawing(u"Warning", kFirefox, 0x36, c.columns), c.drawn);
  }
  // A wide terminal gets the widest box; a narrow one the narrowest.
  EXPECT_EQ(emu::boxDrawing(u"Warning", kFirefox, 0x36, 200), cases[2].drawn);
  std::istringstream narrow(emu::boxDrawing(u"Warning", kFirefox, 0x36, 10));
  for (std::string line; std::getline(narrow, line);) EXPECT_EQ(line.size(), emu::kBoxMinColumns) << line;
}

// A blank exactly at the wrap column ends the line and is dropped, as are
// the blanks a line is broken at elsewhere; a word longer than a line is cut.
TEST(BoxDrawing, WrappingDropsTheBlankAtTheBreak) {
  struct Case {
    const char16_t* text;
    std::size_t width;
    std::vector<std::u16string> lines;
  } const cases[] = {
      {u"abcd efgh", 4, {u"abcd", u"efgh"}},    // the blank at the column
      {u"ab cd efgh", 6, {u"ab cd", u"efgh"}},  // a blank before it
      {u"abcdefghij", 4, {u"abcd", u"efgh", u"ij"}},
      {u"one\r\ntwo", 10, {u"one", u"two"}},
  };
  for (const auto& c : cases) EXPECT_EQ(emu::wrapBoxText(c.text, c.width), c.lines) << std::string(c.text, c.text + 3);
}

TEST(BoxDrawing, ThePromptAndTheHintNameTheKeys) {
  EXPECT_EQ(emu::boxPrompt(0x40), "Press Enter for [O]K: ");
  EXPECT_EQ(emu::boxPrompt(0x34), "Choose a button (Enter: [Y]es): ");
  EXPECT_EQ(emu::boxPrompt(0x34 | 0x100), "Choose a button (Enter: [N]o): ");
  EXPECT_EQ(emu::boxKeysHint(0x34), "Type Y or N, or press Enter for [Y]es.\n");
  EXPECT_EQ(emu::boxKeysHint(0x36), "Type C, T or O, or press Enter for [C]ancel.\n");
}

}  // namespace
