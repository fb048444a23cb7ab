// Removal scripts: a text file of paths, one a line, in UTF-16LE or 8-bit
// text, each moved into the backup folder. The reboot list is run as one in
// the reboot pass.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// One line of a script: UTF-16LE code units up to CR (the unit after the CR
// dropped), or bytes up to LF converted unit for byte; none for an empty line
// or the end of the file.
std::optional<std::u16string> getLine(std::FILE* stream, int wide);
void parseScript(const char* scriptPath, int rebootPass);
