// Windows command lines: splitting one into arguments the way the Windows
// C runtime builds argv, for the emulated machine's process starts and the
// machine tool's boot.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace emu {

// The arguments of a command line, by the runtime's rules:
//  - the program name (argument 0) runs to the first blank or tab, or, when
//    it starts with a double quote, to the next double quote; backslashes
//    in it are taken as they stand;
//  - further arguments are parted by blanks and tabs outside quotes;
//  - 2n backslashes before a double quote give n backslashes, and the quote
//    opens or closes a quoted part; 2n+1 backslashes before a double quote
//    give n backslashes and a literal quote; other backslashes stand as
//    they are;
//  - inside a quoted part, "" gives one literal quote (the rule of the
//    runtime since 2008).
std::vector<std::u16string> splitCommandLine(std::u16string_view line);
// Argument 0 alone.
std::u16string commandLineProgram(std::u16string_view line);

}  // namespace emu
