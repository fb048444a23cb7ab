// The journal of the machine's side effects outside registry and files:
// <image>/journal.txt, one line per effect, each appended and flushed at once.
#pragma once

#include <string>
#include <string_view>

namespace emu {

// Appends one line to <image>/journal.txt and flushes it at once.
void journal(std::string_view line);
// C-style quoting of a journal field: backslash, double quote, CR, LF and tab escaped.
std::string quoted(std::string_view utf8);

}  // namespace emu
