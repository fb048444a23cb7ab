// Placeholder until the emulated file system lands.
#include "platform/win32.h"

namespace win {
HANDLE FindFirstFileW(LPCWSTR, WIN32_FIND_DATAW*) { return INVALID_HANDLE_VALUE; }
BOOL FindNextFileW(HANDLE, WIN32_FIND_DATAW*) { return FALSE; }
BOOL FindClose(HANDLE) { return TRUE; }
DWORD GetFileAttributesW(LPCWSTR) { return INVALID_FILE_ATTRIBUTES; }
BOOL GetFileAttributesExW(LPCWSTR, GET_FILEEX_INFO_LEVELS, void*) { return FALSE; }
BOOL MoveFileW(LPCWSTR, LPCWSTR) { return FALSE; }
BOOL CreateDirectoryW(LPCWSTR, const SECURITY_ATTRIBUTES*) { return FALSE; }
int SHFileOperationW(SHFILEOPSTRUCTW*) { return DE_ERROR_INVALID_PATH; }
int SHCreateDirectoryExW(HWND, LPCWSTR, const SECURITY_ATTRIBUTES*) { return static_cast<int>(ERROR_PATH_NOT_FOUND); }
std::FILE* _wfopen(LPCWSTR, LPCWSTR) { return nullptr; }
std::FILE* fopen(const char*, const char*) { return nullptr; }
int fclose(std::FILE* f) { return std::fclose(f); }
}  // namespace win
