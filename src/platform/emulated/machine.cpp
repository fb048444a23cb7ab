// Placeholder until the emulated machine's processes, security, services,
// user interface and environment land.
#include "platform/win32.h"

namespace win {
BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE) { return FALSE; }
BOOL GetTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*) { return FALSE; }
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY*, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                              DWORD, PSID*) {
  return FALSE;
}
BOOL EqualSid(PSID, PSID) { return FALSE; }
void* FreeSid(PSID) { return nullptr; }
BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR, LUID*) { return FALSE; }
BOOL AdjustTokenPrivileges(HANDLE, BOOL, const TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*) { return FALSE; }
SC_HANDLE OpenSCManagerW(LPCWSTR, LPCWSTR, DWORD) { return nullptr; }
SC_HANDLE OpenServiceW(SC_HANDLE, LPCWSTR, DWORD) { return nullptr; }
BOOL DeleteService(SC_HANDLE) { return FALSE; }
BOOL ControlService(SC_HANDLE, DWORD, SERVICE_STATUS*) { return FALSE; }
BOOL CloseServiceHandle(SC_HANDLE) { return TRUE; }
BOOL FileTimeToSystemTime(const FILETIME*, SYSTEMTIME*) { return FALSE; }
DWORD ExpandEnvironmentStringsW(LPCWSTR, LPWSTR, DWORD) { return 0; }
void GetLocalTime(SYSTEMTIME* t) { *t = {}; }
BOOL CreateProcessW(LPCWSTR, LPWSTR, const SECURITY_ATTRIBUTES*, const SECURITY_ATTRIBUTES*, BOOL, DWORD, void*,
                    LPCWSTR, STARTUPINFOW*, PROCESS_INFORMATION*) {
  return FALSE;
}
HANDLE OpenProcess(DWORD, BOOL, DWORD) { return nullptr; }
BOOL TerminateProcess(HANDLE, UINT) { return FALSE; }
DWORD WaitForSingleObject(HANDLE, DWORD) { return WAIT_FAILED; }
HANDLE GetCurrentProcess() { return INVALID_HANDLE_VALUE; }
BOOL CloseHandle(HANDLE) { return TRUE; }
void Sleep(DWORD) {}
static thread_local DWORD lastError = 0;
DWORD GetLastError() { return lastError; }
void SetLastError(DWORD e) { lastError = e; }
BOOL EnumProcesses(DWORD*, DWORD, DWORD*) { return FALSE; }
DWORD GetModuleFileNameExW(HANDLE, void*, LPWSTR, DWORD) { return 0; }
DWORD GetModuleFileNameW(void*, LPWSTR, DWORD) { return 0; }
int MessageBoxW(HWND, LPCWSTR, LPCWSTR, UINT) { return IDCANCEL; }
BOOL ExitWindowsEx(UINT, DWORD) { return FALSE; }
int wsprintfW(LPWSTR out, LPCWSTR, ...) {
  out[0] = 0;
  return 0;
}
int system(const char*) { return 0; }
}  // namespace win
