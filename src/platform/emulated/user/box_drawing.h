// The text of a message box drawn at a terminal: its frame fitted to the
// terminal's width, its caption and text wrapped to it, its buttons, and
// the prompt that asks for one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace emu {

struct BoxButton {
  int id;
  const char* label;  // the key to press is in brackets
  char key;
};

// The buttons of a box style, left to right.
std::vector<BoxButton> boxButtons(win::UINT style);
// The index of the default button (MB_DEFBUTTON2 ...), within the buttons.
std::size_t boxDefaultButton(win::UINT style);

// The frame is as wide as the terminal, but never narrower than
// kBoxMinColumns (a narrower terminal wraps its lines) nor wider than
// kBoxMaxColumns.
inline constexpr std::size_t kBoxMinColumns = 30;
inline constexpr std::size_t kBoxMaxColumns = 72;

// Text wrapped at blanks to lines of at most `width` code units; a word
// longer than a line is cut. The blank a line is broken at is dropped.
std::vector<std::u16string> wrapBoxText(std::u16string_view text, std::size_t width);
// The box for a terminal `columns` wide, UTF-8, each line ending in "\n".
std::string boxDrawing(std::u16string_view caption, std::u16string_view text, win::UINT style, std::size_t columns);
// "Choose a button (Enter: [N]o): ", or for a box with one button
// "Press Enter for [O]K: ".
std::string boxPrompt(win::UINT style);
// The line shown when a key answers no button: "Type Y or N, or press Enter for [N]o.\n"
std::string boxKeysHint(win::UINT style);

}  // namespace emu
