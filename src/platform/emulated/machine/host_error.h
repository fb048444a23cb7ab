// The Windows error code for a failed host call: every host call the machine
// makes on the image (file system, registry.reg, machine.toml) maps the
// host's errno through here, so that the same host failure gives the same
// code everywhere.
#pragma once

#include "platform/win32.h"

namespace emu {

// What "not there" and "already there" mean to the call asking: a missing
// item is ERROR_FILE_NOT_FOUND to a call that names the item and
// ERROR_PATH_NOT_FOUND to one for which the folder on the way is missing; an
// existing item is ERROR_ALREADY_EXISTS to CreateDirectoryW and MoveFileW and
// ERROR_FILE_EXISTS to calls that create files.
struct HostErrorContext {
  win::DWORD missing = win::ERROR_FILE_NOT_FOUND;
  win::DWORD existing = win::ERROR_ALREADY_EXISTS;
};

// The Windows code for the host's errno `hostErrno` (never 0: an errno
// without a closer match is ERROR_ACCESS_DENIED).
[[nodiscard]] win::DWORD windowsErrorFromErrno(int hostErrno, HostErrorContext context = {});

}  // namespace emu
