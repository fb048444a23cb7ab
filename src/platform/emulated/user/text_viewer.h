// The text viewers of [text_viewers]: a viewer the program starts on a file
// in an interactive run shows the file on the terminal.
#pragma once

#include <string_view>

namespace emu {

// When `program` (the started file's name) is a text viewer and the run is at
// a terminal, prints the file its command line names between a title line
// and an end line. Nothing otherwise.
void showIfTextViewer(std::u16string_view program, std::u16string_view commandLine);

}  // namespace emu
