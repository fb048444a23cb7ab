// The runtime's file opens on the emulated drives (_wfopen, fopen and fclose
// are declared with the rest of the seam in win32.h): what the machine's
// other file calls need to know of the streams open now.
#pragma once

#include <filesystem>

#include "platform/win32.h"

namespace emu {

// The Windows runtime opens files (_wfopen) sharing reading and writing but
// not deletion, so while this process holds a file open it cannot be moved
// or replaced: ERROR_SHARING_VIOLATION; nor can a folder that holds one:
// ERROR_ACCESS_DENIED. 0 when nothing at or below `host` is held open.
win::DWORD heldOpenWithin(const std::filesystem::path& host);

}  // namespace emu
