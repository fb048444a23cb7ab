// Enabling the debug and shutdown privileges of the process token. The shutdown privilege is what the restart at the end
// of a run needs; the debug privilege lets the sweeps open other users'
// processes.
#include "detectors/genscan_privileges.h"

#include "platform/scoped.h"
#include "platform/win32.h"

namespace {

// Looks `name` up and enables it in `token`. Returns 0, `lookupFailed` or
// `enableFailed`. AdjustTokenPrivileges succeeds without assigning a privilege
// the token does not hold (it then sets ERROR_NOT_ALL_ASSIGNED); that counts
// as success here, since the call itself did what was asked.
int enablePrivilege(win::HANDLE token, const char16_t* name, int lookupFailed, int enableFailed) {
  win::TOKEN_PRIVILEGES privileges{};
  if (!win::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return lookupFailed;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = win::SE_PRIVILEGE_ENABLED;
  if (!win::AdjustTokenPrivileges(token, win::FALSE, &privileges, sizeof(privileges), nullptr, nullptr)) {
    return enableFailed;
  }
  return 0;
}

}  // namespace

// 0 both privileges enabled; 1 the token could not be opened (nothing else
// tried); 2 / 3 looking up / enabling SeDebugPrivilege failed; 4 / 5 the same
// for SeShutdownPrivilege. Both are always tried, and a failure of the second
// overwrites one of the first.
int elevate() {
  win::ScopedHandle token;
  // GetCurrentProcess answers a pseudo-handle, which needs no closing.
  if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_ALL_ACCESS_NT4, token.receive()) || !token) {
    return 1;
  }
  int result = enablePrivilege(token.get(), win::SE_DEBUG_NAME, 2, 3);
  int shutdown = enablePrivilege(token.get(), win::SE_SHUTDOWN_NAME, 4, 5);
  if (shutdown != 0) result = shutdown;
  return result;
}
