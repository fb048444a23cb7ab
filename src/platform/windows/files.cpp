// Files, folders, times and the environment (kernel32).
#include "platform/windows/api.h"

namespace win {
using namespace bridge;

QF_SAME_SIZE(WIN32_FIND_DATAW);
QF_SAME_FIELD(WIN32_FIND_DATAW, ftLastWriteTime);
QF_SAME_FIELD(WIN32_FIND_DATAW, nFileSizeLow);
QF_SAME_FIELD(WIN32_FIND_DATAW, cFileName);
QF_SAME_FIELD(WIN32_FIND_DATAW, cAlternateFileName);
QF_SAME_SIZE(WIN32_FILE_ATTRIBUTE_DATA);
QF_SAME_FIELD(WIN32_FILE_ATTRIBUTE_DATA, ftLastWriteTime);
QF_SAME_FIELD(WIN32_FILE_ATTRIBUTE_DATA, nFileSizeLow);
QF_SAME_SIZE(SYSTEMTIME);
QF_SAME_FIELD(SYSTEMTIME, wDay);
QF_SAME_FIELD(SYSTEMTIME, wMilliseconds);
static_assert(GetFileExInfoStandard == static_cast<int>(::GetFileExInfoStandard));
static_assert(MAX_PATH == 260);

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  return ::FindFirstFileW(wide(lpFileName), as<::WIN32_FIND_DATAW>(lpFindFileData));
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  return ::FindNextFileW(hFindFile, as<::WIN32_FIND_DATAW>(lpFindFileData));
}

BOOL FindClose(HANDLE hFindFile) { return ::FindClose(hFindFile); }

DWORD GetFileAttributesW(LPCWSTR lpFileName) { return ::GetFileAttributesW(wide(lpFileName)); }

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, void* lpFileInformation) {
  return ::GetFileAttributesExW(wide(lpFileName), static_cast<::GET_FILEEX_INFO_LEVELS>(fInfoLevelId),
                                lpFileInformation);
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime) {
  return ::FileTimeToSystemTime(as<::FILETIME>(lpFileTime), as<::SYSTEMTIME>(lpSystemTime));
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  return ::MoveFileW(wide(lpExistingFileName), wide(lpNewFileName));
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  return ::CreateFileW(wide(lpFileName), dwDesiredAccess, dwShareMode,
                       const_cast<::SECURITY_ATTRIBUTES*>(as<::SECURITY_ATTRIBUTES>(lpSecurityAttributes)),
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES* lpSecurityAttributes) {
  return ::CreateDirectoryW(wide(lpPathName), as<::SECURITY_ATTRIBUTES>(lpSecurityAttributes));
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  return ::ExpandEnvironmentStringsW(wide(lpSrc), wide(lpDst), nSize);
}

void GetLocalTime(SYSTEMTIME* lpSystemTime) { ::GetLocalTime(as<::SYSTEMTIME>(lpSystemTime)); }

}  // namespace win
