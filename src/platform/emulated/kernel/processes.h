// The emulated machine's processes, for the parts of the machine that need
// to know about the program's own process.
#pragma once

#include <string>

#include "platform/win32.h"

namespace emu {

// The program's own process: [self] pid and path of machine.toml.
win::DWORD selfPid();
std::u16string selfPath();
// Whether h stands for the program's own process: the pseudo handle of
// GetCurrentProcess, or an open process handle to its id.
bool isCurrentProcess(win::HANDLE h);

}  // namespace emu
