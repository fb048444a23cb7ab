// The journal of the machine's side effects outside the registry (whose
// changes registry.reg records): <image>/journal.txt, one line per effect,
// each appended whole with one write. Boxes, processes started and ended,
// services, commands and restarts are journalled, and so are the changes on
// the drives (folders made, items moved, files opened to be changed), though
// not what is written into a file. docs/machine-image.md lists the lines.
#pragma once

#include <string>
#include <string_view>

namespace emu {

// Appends one line to <image>/journal.txt with one write, so that it lands
// whole, also when the process is killed right after.
void journal(std::string_view line);
// C-style quoting of a journal field: backslash, double quote, CR, LF and tab escaped.
std::string quoted(std::string_view utf8);

}  // namespace emu
