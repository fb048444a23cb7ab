// Processes, waits and the last error (kernel32, psapi).
#include "platform/windows/api.h"

#include <psapi.h>

namespace win {
using namespace bridge;

QF_SAME_SIZE(STARTUPINFOW);
QF_SAME_FIELD(STARTUPINFOW, dwFlags);
QF_SAME_FIELD(STARTUPINFOW, wShowWindow);
QF_SAME_FIELD(STARTUPINFOW, lpReserved2);
QF_SAME_FIELD(STARTUPINFOW, hStdError);
QF_SAME_SIZE(PROCESS_INFORMATION);
QF_SAME_FIELD(PROCESS_INFORMATION, dwProcessId);
QF_SAME_FIELD(PROCESS_INFORMATION, dwThreadId);

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, const SECURITY_ATTRIBUTES* lpProcessAttributes,
                    const SECURITY_ATTRIBUTES* lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                    void* lpEnvironment, LPCWSTR lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                    PROCESS_INFORMATION* lpProcessInformation) {
  return ::CreateProcessW(wide(lpApplicationName), wide(lpCommandLine), as<::SECURITY_ATTRIBUTES>(lpProcessAttributes),
                          as<::SECURITY_ATTRIBUTES>(lpThreadAttributes), bInheritHandles, dwCreationFlags,
                          lpEnvironment, wide(lpCurrentDirectory), as<::STARTUPINFOW>(lpStartupInfo),
                          as<::PROCESS_INFORMATION>(lpProcessInformation));
}

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
  return ::OpenProcess(dwDesiredAccess, bInheritHandle, dwProcessId);
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) { return ::TerminateProcess(hProcess, uExitCode); }

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return ::WaitForSingleObject(hHandle, dwMilliseconds);
}

HANDLE GetCurrentProcess() { return ::GetCurrentProcess(); }

BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD dwErrCode) { ::SetLastError(dwErrCode); }

BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, DWORD* lpcbNeeded) {
  return ::EnumProcesses(native(lpidProcess), cb, native(lpcbNeeded));
}

DWORD GetModuleFileNameExW(HANDLE hProcess, void* hModule, LPWSTR lpFilename, DWORD nSize) {
  return ::GetModuleFileNameExW(hProcess, static_cast<::HMODULE>(hModule), wide(lpFilename), nSize);
}

DWORD GetModuleFileNameW(void* hModule, LPWSTR lpFilename, DWORD nSize) {
  return ::GetModuleFileNameW(static_cast<::HMODULE>(hModule), wide(lpFilename), nSize);
}

}  // namespace win
