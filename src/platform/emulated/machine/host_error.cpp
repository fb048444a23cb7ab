// The host errno to Windows code mapping (host_error.h). The codes are those
// NTFS calls fail with for the same cause; where Wine's errno mapping answers
// otherwise, the row says so.
#include "platform/emulated/machine/host_error.h"

#include <cerrno>

namespace emu {
namespace {
// Codes win32.h does not name, as winerror.h numbers them.
constexpr win::DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr win::DWORD ERROR_WRITE_PROTECT = 19;
constexpr win::DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr win::DWORD ERROR_IO_DEVICE = 1117;
constexpr win::DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;
}  // namespace

win::DWORD windowsErrorFromErrno(int hostErrno, HostErrorContext context) {
  switch (hostErrno) {
    case ENOENT: return context.missing;
    case ENOTDIR: return win::ERROR_PATH_NOT_FOUND;  // a file where a folder should be
    case EACCES: case EPERM: return win::ERROR_ACCESS_DENIED;
    case EISDIR: return win::ERROR_ACCESS_DENIED;  // a folder opened as a file
    case EEXIST: return context.existing;
    case ENOTEMPTY: return win::ERROR_DIR_NOT_EMPTY;
    case ENOSPC: case EDQUOT: return win::ERROR_DISK_FULL;
    case ENAMETOOLONG: return win::ERROR_FILENAME_EXCED_RANGE;
    case EBUSY: return win::ERROR_SHARING_VIOLATION;  // in use (Wine: ERROR_BUSY)
    case ETXTBSY: return win::ERROR_SHARING_VIOLATION;  // a running program's file
    case EROFS: return ERROR_WRITE_PROTECT;  // Wine: ERROR_ACCESS_DENIED
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EIO: return ERROR_IO_DEVICE;  // Wine: ERROR_NOT_READY
    case ENOMEM: return win::ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return win::ERROR_INVALID_PARAMETER;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;  // a link loop on the way
    default: return win::ERROR_ACCESS_DENIED;
  }
}

}  // namespace emu
