// The service, process, message-box and restart calls of the preview layer,
// and the calls it passes to the backend as they are. A service's stop is
// answered from its state as the service manager reports it (an interrogation
// changes nothing); a deletion or a stop that the service manager would
// carry out is answered as done, and its report line listed as not known:
// whether the service lets it happen only the change itself can tell.
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/preview/layer.h"
#include "platform/preview/overlay.h"

namespace preview {
namespace {

constexpr win::DWORD SERVICE_CONTROL_INTERROGATE = 0x00000004;

struct OpenService {
  std::u16string name;  // upper case
  win::DWORD access = 0;
};

struct OpenProcessInfo {
  win::DWORD pid = 0;
  win::DWORD access = 0;
};

struct Kernel {
  std::map<win::SC_HANDLE, win::DWORD> managers;  // the rights each manager handle was opened with
  std::map<win::SC_HANDLE, OpenService> services;
  std::set<std::u16string> deletedServices;
  // The handles of services the program asked to make: not made, so no
  // handle of the backend's; they serve only to be closed.
  std::vector<std::unique_ptr<char>> madeServices;
  std::map<win::HANDLE, OpenProcessInfo> processes;
  std::set<win::DWORD> terminated;
};

Kernel& kernel() {
  static Kernel k;
  return k;
}

// The handles of a process the program asked to start: not started, so no
// handle of the backend's.
char startedProcess, startedThread;
bool isStartedHandle(win::HANDLE h) { return h == &startedProcess || h == &startedThread; }

}  // namespace

void forgetKernelEffects() { kernel() = Kernel{}; }

void forgetEffects() {
  forgetFileEffects();
  forgetRegistryEffects();
  forgetKernelEffects();
}

int showBox(const char16_t* text, const char16_t* caption, unsigned type) {
  return win::qf_backend_MessageBoxW(nullptr, text, caption, type);
}

bool startProcess(const std::u16string& application, std::u16string commandLine) {
  win::STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  win::PROCESS_INFORMATION started{};
  if (!win::qf_backend_CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, win::FALSE, 0,
                                      nullptr, nullptr, &startup, &started))
    return false;
  win::qf_backend_CloseHandle(started.hThread);
  win::qf_backend_CloseHandle(started.hProcess);
  return true;
}

}  // namespace preview

namespace win {

// ---------------------------------------------------------------- services
SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  SC_HANDLE h = qf_backend_OpenSCManagerW(lpMachineName, lpDatabaseName, dwDesiredAccess);
  if (h) preview::kernel().managers[h] = dwDesiredAccess;
  return h;
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  SC_HANDLE h = qf_backend_OpenServiceW(hSCManager, lpServiceName, dwDesiredAccess);
  if (h) preview::kernel().services[h] = {preview::upper(lpServiceName ? lpServiceName : u""), dwDesiredAccess};
  return h;
}

BOOL DeleteService(SC_HANDLE hService) {
  auto& k = preview::kernel();
  auto it = k.services.find(hService);
  if (it == k.services.end()) {
    qf_backend_SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(it->second.access & DELETE)) {
    qf_backend_SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!k.deletedServices.insert(it->second.name).second) {
    qf_backend_SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  preview::markUnknown();
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  auto& k = preview::kernel();
  auto it = k.services.find(hService);
  if (dwControl != SERVICE_CONTROL_STOP || it == k.services.end())
    return qf_backend_ControlService(hService, dwControl, lpServiceStatus);
  if (!(it->second.access & SERVICE_STOP)) {
    qf_backend_SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  SERVICE_STATUS status{};
  if (!qf_backend_ControlService(hService, preview::SERVICE_CONTROL_INTERROGATE, &status)) {
    const DWORD error = qf_backend_GetLastError();
    // These three failures still report the service's state.
    if (error != ERROR_INVALID_SERVICE_CONTROL && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
        error != ERROR_SERVICE_NOT_ACTIVE) {
      qf_backend_SetLastError(error);
      return FALSE;
    }
  }
  DWORD refused = 0;
  if (status.dwCurrentState == SERVICE_STOPPED)
    refused = ERROR_SERVICE_NOT_ACTIVE;
  else if (status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_STOP_PENDING)
    refused = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  else if (!(status.dwControlsAccepted & SERVICE_ACCEPT_STOP))
    refused = ERROR_INVALID_SERVICE_CONTROL;
  if (lpServiceStatus) *lpServiceStatus = status;
  if (refused) {
    qf_backend_SetLastError(refused);
    return FALSE;
  }
  // Asked to stop: whether it stops at once, later or not at all is the
  // service's answer.
  preview::markUnknown();
  if (lpServiceStatus) {
    lpServiceStatus->dwCurrentState = SERVICE_STOP_PENDING;
    lpServiceStatus->dwControlsAccepted = 0;
  }
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  auto& k = preview::kernel();
  auto made = std::find_if(k.madeServices.begin(), k.madeServices.end(),
                           [&](const std::unique_ptr<char>& h) { return reinterpret_cast<SC_HANDLE>(h.get()) == hSCObject; });
  if (made != k.madeServices.end()) {
    k.madeServices.erase(made);
    return TRUE;
  }
  k.services.erase(hSCObject);
  k.managers.erase(hSCObject);
  return qf_backend_CloseServiceHandle(hSCObject);
}

// Not made (QuorelFix never makes a service; QuorelRestore does, and is not
// previewed). A name the backend knows is refused as the service manager
// refuses it: marked for deletion by the program, 1072; else 1073. Any other
// is answered as made, with a handle of the layer's own.
SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR /*lpDisplayName*/,
                         DWORD /*dwDesiredAccess*/, DWORD /*dwServiceType*/, DWORD /*dwStartType*/,
                         DWORD /*dwErrorControl*/, LPCWSTR lpBinaryPathName, LPCWSTR /*lpLoadOrderGroup*/,
                         DWORD* /*lpdwTagId*/, LPCWSTR /*lpDependencies*/, LPCWSTR /*lpServiceStartName*/,
                         LPCWSTR /*lpPassword*/) {
  auto& k = preview::kernel();
  auto manager = k.managers.find(hSCManager);
  if (manager == k.managers.end()) {
    qf_backend_SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!lpServiceName || !lpBinaryPathName) {
    qf_backend_SetLastError(ERROR_INVALID_ADDRESS);
    return nullptr;
  }
  if (!(manager->second & SC_MANAGER_CREATE_SERVICE)) {
    qf_backend_SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (SC_HANDLE there = qf_backend_OpenServiceW(hSCManager, lpServiceName, 0)) {
    qf_backend_CloseServiceHandle(there);
    qf_backend_SetLastError(k.deletedServices.count(preview::upper(lpServiceName)) ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                                                   : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  if (qf_backend_GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return nullptr;
  preview::markUnknown();
  k.madeServices.push_back(std::make_unique<char>());
  return reinterpret_cast<SC_HANDLE>(k.madeServices.back().get());
}

// Reads: a service the program deleted is still there to be asked until
// the service manager lets it go, as on Windows.
BOOL QueryServiceConfigW(SC_HANDLE a, QUERY_SERVICE_CONFIGW* b, DWORD c, DWORD* d) {
  return qf_backend_QueryServiceConfigW(a, b, c, d);
}
BOOL QueryServiceConfig2W(SC_HANDLE a, DWORD b, BYTE* c, DWORD d, DWORD* e) {
  return qf_backend_QueryServiceConfig2W(a, b, c, d, e);
}

// ---------------------------------------------------------------- processes
BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, DWORD* lpcbNeeded) {
  const auto& terminated = preview::kernel().terminated;
  if (terminated.empty()) return qf_backend_EnumProcesses(lpidProcess, cb, lpcbNeeded);
  std::vector<DWORD> all(4096);
  DWORD got = 0;
  if (!qf_backend_EnumProcesses(all.data(), static_cast<DWORD>(all.size() * sizeof(DWORD)), &got)) return FALSE;
  all.resize(got / sizeof(DWORD));
  std::erase_if(all, [&](DWORD pid) { return terminated.count(pid) != 0; });
  const std::size_t n = std::min<std::size_t>(all.size(), cb / sizeof(DWORD));
  std::copy_n(all.begin(), n, lpidProcess);
  *lpcbNeeded = static_cast<DWORD>(n * sizeof(DWORD));
  return TRUE;
}

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  auto& k = preview::kernel();
  // A process ended by the program is not there to open.
  if (k.terminated.count(dwProcessId)) {
    qf_backend_SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE h = qf_backend_OpenProcess(dwDesiredAccess, bInheritHandle, dwProcessId);
  if (h) k.processes[h] = {dwProcessId, dwDesiredAccess};
  return h;
}

BOOL TerminateProcess(HANDLE hProcess, UINT /*uExitCode*/) {
  auto& k = preview::kernel();
  auto it = k.processes.find(hProcess);
  if (it == k.processes.end()) {
    qf_backend_SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(it->second.access & PROCESS_TERMINATE)) {
    qf_backend_SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  k.terminated.insert(it->second.pid);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto& k = preview::kernel();
  if (auto it = k.processes.find(hHandle); it != k.processes.end() && k.terminated.count(it->second.pid))
    return WAIT_OBJECT_0;
  if (preview::isStartedHandle(hHandle)) return WAIT_TIMEOUT;
  return qf_backend_WaitForSingleObject(hHandle, dwMilliseconds);
}

BOOL CloseHandle(HANDLE hObject) {
  if (preview::isStartedHandle(hObject)) return TRUE;
  preview::kernel().processes.erase(hObject);
  return qf_backend_CloseHandle(hObject);
}

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR /*lpCommandLine*/,
                    const SECURITY_ATTRIBUTES* /*lpProcessAttributes*/,
                    const SECURITY_ATTRIBUTES* /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                    DWORD /*dwCreationFlags*/, void* /*lpEnvironment*/, LPCWSTR /*lpCurrentDirectory*/,
                    STARTUPINFOW* /*lpStartupInfo*/, PROCESS_INFORMATION* lpProcessInformation) {
  // Not started; a program that is not there would not start either.
  const DWORD attributes = GetFileAttributesW(lpApplicationName ? lpApplicationName : u"");
  if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    qf_backend_SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *lpProcessInformation = {&preview::startedProcess, &preview::startedThread, 0, 0};
  return TRUE;
}

// ---------------------------------------------------------------- boxes, restart, commands
// No box is shown: each is answered as the user who lets the run go on would
// answer it (Yes, Continue, OK).
int MessageBoxW(HWND /*hWnd*/, LPCWSTR lpText, LPCWSTR /*lpCaption*/, UINT uType) {
  preview::noteBox(lpText);
  switch (uType & 0x0F) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return IDYES;
    case MB_CANCELTRYCONTINUE:
      return IDCONTINUE;
    case MB_ABORTRETRYIGNORE:
      return IDIGNORE;
    case MB_RETRYCANCEL:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

BOOL ExitWindowsEx(UINT /*uFlags*/, DWORD /*dwReason*/) {
  preview::markRestart();
  return TRUE;
}

// The command is not run (the program runs only "ipconfig /flushdns", whose
// status it does not look at).
int system(const char* /*command*/) { return 0; }

// ---------------------------------------------------------------- passed on as they are
BOOL OpenProcessToken(HANDLE a, DWORD b, PHANDLE c) { return qf_backend_OpenProcessToken(a, b, c); }
BOOL GetTokenInformation(HANDLE a, TOKEN_INFORMATION_CLASS b, void* c, DWORD d, DWORD* e) {
  return qf_backend_GetTokenInformation(a, b, c, d, e);
}
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* a, BYTE b, DWORD c, DWORD d, DWORD e, DWORD f, DWORD g,
                              DWORD h, DWORD i, DWORD j, PSID* k) {
  return qf_backend_AllocateAndInitializeSid(a, b, c, d, e, f, g, h, i, j, k);
}
BOOL EqualSid(PSID a, PSID b) { return qf_backend_EqualSid(a, b); }
void* FreeSid(PSID a) { return qf_backend_FreeSid(a); }
BOOL LookupPrivilegeValueW(LPCWSTR a, LPCWSTR b, LUID* c) { return qf_backend_LookupPrivilegeValueW(a, b, c); }
// Enabling privileges changes this process's token, not the machine.
BOOL AdjustTokenPrivileges(HANDLE a, BOOL b, const TOKEN_PRIVILEGES* c, DWORD d, TOKEN_PRIVILEGES* e, DWORD* f) {
  return qf_backend_AdjustTokenPrivileges(a, b, c, d, e, f);
}
BOOL FileTimeToSystemTime(const FILETIME* a, SYSTEMTIME* b) { return qf_backend_FileTimeToSystemTime(a, b); }
DWORD ExpandEnvironmentStringsW(LPCWSTR a, LPWSTR b, DWORD c) { return qf_backend_ExpandEnvironmentStringsW(a, b, c); }
void GetLocalTime(SYSTEMTIME* a) { qf_backend_GetLocalTime(a); }
HANDLE GetCurrentProcess() { return qf_backend_GetCurrentProcess(); }
void Sleep(DWORD a) { qf_backend_Sleep(a); }
DWORD GetLastError() { return qf_backend_GetLastError(); }
void SetLastError(DWORD a) { qf_backend_SetLastError(a); }
DWORD GetModuleFileNameExW(HANDLE a, void* b, LPWSTR c, DWORD d) { return qf_backend_GetModuleFileNameExW(a, b, c, d); }
DWORD GetModuleFileNameW(void* a, LPWSTR b, DWORD c) { return qf_backend_GetModuleFileNameW(a, b, c); }

}  // namespace win
