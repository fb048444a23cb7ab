// The text viewer the programs open their reports in: Notepad from the
// system folder, started on the file and not waited for.
#pragma once

#include <string_view>

// Starts "%systemroot%\system32\notepad.exe" with the file's path in double
// quotes. A viewer that does not start leaves the file where it is.
void openInTextViewer(std::u16string_view file);
