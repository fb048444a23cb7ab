// The calling thread's last-error code, as kernel32 keeps it in the TEB.
#include "platform/win32.h"

namespace win {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

}  // namespace win
