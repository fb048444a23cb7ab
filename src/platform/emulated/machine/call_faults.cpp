// The failing-call test mode (call_faults.h): which codes each call can fail
// with, and the count of calls.
#include "platform/emulated/machine/call_faults.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace emu {
namespace {

struct CallCodes {
  const char* call;
  std::vector<win::DWORD> codes;  // the first is the likeliest
};

// Codes each call is documented or known to fail with on Windows.
//   2 not found, 3 path not found, 5 access denied, 6 invalid handle,
//   8 not enough memory, 14 out of memory, 18 no more files, 32 sharing
//   violation, 112 disk full, 122 buffer too small, 183 already exists,
//   234 more data, 259 no more items, 299 partial copy, 1026 the shell's
//   invalid path, 1060 no such service, 1062 service not active, 1072 service
//   marked for deletion, 1073 service exists, 1115 shutdown in progress, 1313
//   no such privilege, 1314 privilege not held.
const std::vector<CallCodes>& callCodes() {
  static const std::vector<CallCodes> table = {
      {"RegOpenKeyExW", {5, 2, 14}},
      {"RegCreateKeyExW", {5, 14}},
      {"RegQueryValueExW", {5, 2, 234}},
      {"RegQueryInfoKeyW", {5, 14}},
      {"RegEnumKeyExW", {259, 5, 234}},
      {"RegEnumValueW", {259, 5, 234}},
      {"RegSetValueExW", {5, 14}},
      {"RegDeleteValueW", {5, 2}},
      {"RegDeleteKeyW", {5, 2}},
      {"RegCloseKey", {6}},
      {"SHDeleteKeyW", {5, 2}},
      {"OpenProcessToken", {5}},
      {"GetTokenInformation", {5, 122}},
      {"AllocateAndInitializeSid", {8}},
      {"LookupPrivilegeValueW", {1313}},
      {"AdjustTokenPrivileges", {5, 1300}},
      {"OpenSCManagerW", {5, 1115}},
      {"OpenServiceW", {5, 1060}},
      {"DeleteService", {5, 1072}},
      {"ControlService", {5, 1062}},
      {"CloseServiceHandle", {6}},
      {"CreateServiceW", {5, 1073, 1072}},
      {"QueryServiceConfigW", {5, 122}},
      {"QueryServiceConfig2W", {5, 122}},
      {"FindFirstFileW", {5, 2, 3}},
      {"FindNextFileW", {18, 5}},
      {"FindClose", {6}},
      {"GetFileAttributesW", {5, 2, 32}},
      {"GetFileAttributesExW", {5, 2, 32}},
      {"MoveFileW", {5, 32, 183, 112}},
      {"CreateDirectoryW", {5, 183, 112}},
      {"ExpandEnvironmentStringsW", {8}},
      {"CreateProcessW", {2, 5}},
      {"OpenProcess", {5, 87}},
      {"TerminateProcess", {5}},
      {"WaitForSingleObject", {6}},
      {"CloseHandle", {6}},
      {"EnumProcesses", {5, 8}},
      {"GetModuleFileNameExW", {5, 299}},
      {"GetModuleFileNameW", {8}},
      {"SHFileOperationW", {5, 32, 2, 1026, 112}},
      {"SHCreateDirectoryExW", {5, 3, 112}},
      {"MessageBoxW", {8}},
      {"ExitWindowsEx", {5, 1314}},
      {"_wfopen", {5, 2, 32, 112}},
      {"fopen", {5, 2, 32}},
      {"fclose", {112}},
      {"system", {2}},
  };
  return table;
}

const CallCodes* codesOf(const char* call) {
  for (const CallCodes& c : callCodes())
    if (std::strcmp(c.call, call) == 0) return &c;
  return nullptr;
}

struct Mode {
  unsigned long failAt = 0;  // 0: no call fails
  unsigned long codeIndex = 0;
  const char* log = nullptr;
  unsigned long count = 0;
};

Mode& mode() {
  static Mode m = [] {
    Mode m;
    if (const char* fail = std::getenv("QUORELFIX_FAIL_CALL")) {
      char* end = nullptr;
      m.failAt = std::strtoul(fail, &end, 10);
      if (end && *end == ':') m.codeIndex = std::strtoul(end + 1, nullptr, 10);
    }
    const char* log = std::getenv("QUORELFIX_CALL_LOG");
    if (log && *log) m.log = log;
    return m;
  }();
  return m;
}

}  // namespace

std::optional<win::DWORD> injectedFailure(const char* call) {
  Mode& m = mode();
  if (m.failAt == 0 && !m.log) return std::nullopt;
  const CallCodes* codes = codesOf(call);
  if (!codes) return std::nullopt;
  const unsigned long number = ++m.count;
  if (m.log) {
    if (std::FILE* f = std::fopen(m.log, "ae")) {
      std::fprintf(f, "%lu %s %zu\n", number, call, codes->codes.size());
      std::fclose(f);
    }
  }
  if (number != m.failAt) return std::nullopt;
  return codes->codes[m.codeIndex < codes->codes.size() ? m.codeIndex : 0];
}

}  // namespace emu
