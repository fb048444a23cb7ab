// The seam between QuorelFix and Windows.
//
// Every Windows service the program uses, and every runtime call that opens a
// file by path or runs a command, is declared here in namespace `win`, under
// its Windows name, with Windows' argument order, flags, access rights and
// result codes. The build links one of two backends:
//   - windows/  forwards each call to the real API with the arguments given;
//   - emulated/ is a stand-in Windows machine on Linux (see docs/machine-image.md).
// Program code includes this header (and scoped.h), never <windows.h>, and
// carries no platform #ifdef.
//
// Error rule, as Windows has it: a call reports failure through its result
// (FALSE, INVALID_HANDLE_VALUE, NULL, a nonzero LONG, ...) and, where Windows
// documents it, through GetLastError() (some calls set the last error on
// success too). A failed call leaves its outputs untouched, except where
// Windows documents otherwise. Each exception the program relies on is noted
// at its declaration below: RegQueryValueExW and RegEnumValueW report the
// data size they need on ERROR_MORE_DATA (RegEnumKeyExW reports nothing);
// GetTokenInformation reports the size it needs on ERROR_INSUFFICIENT_BUFFER;
// ControlService fills its status record on some failures;
// QueryServiceConfigW and QueryServiceConfig2W report the size they need on
// ERROR_INSUFFICIENT_BUFFER;
// AdjustTokenPrivileges succeeds, with the last error ERROR_NOT_ALL_ASSIGNED,
// when it could not assign a privilege; GetModuleFileNameW answers a path cut
// short with nSize. The scoped owners of scoped.h keep the last error across
// the closing calls they make.
//
// Text is UTF-16 in char16_t; the Windows backend hands it to the API as it is
// (wchar_t is 16 bits there). Structures have Windows' layout, so the Windows
// backend can pass them through; windows/ checks that with static_asserts.
//
// Include this header before <windows.h> in the Windows backend: the constants
// below share their names with the macros of <windows.h>.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace win {

// ---------------------------------------------------------------- types
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using BOOL = int;
using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using REGSAM = DWORD;
using ACCESS_MASK = DWORD;
using FILEOP_FLAGS = WORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using HANDLE = void*;
using PHANDLE = HANDLE*;
struct HWND__;
using HWND = HWND__*;
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
using PSID = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

constexpr DWORD MAX_PATH = 260;

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0, GetFileExMaxInfoLevel = 1 };

struct SHFILEOPSTRUCTW {
  HWND hwnd;
  UINT wFunc;
  LPCWSTR pFrom;  // double-zero-terminated list
  LPCWSTR pTo;    // double-zero-terminated list
  FILEOP_FLAGS fFlags;
  BOOL fAnyOperationsAborted;
  void* hNameMappings;
  LPCWSTR lpszProgressTitle;
};

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};

struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};

struct SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
};

struct TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
};

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};

enum TOKEN_INFORMATION_CLASS { TokenUser = 1, TokenGroups = 2, TokenPrivileges = 3 };

// ---------------------------------------------------------------- result codes
constexpr LONG ERROR_SUCCESS = 0;
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_PARTIAL_COPY = 299;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_BADKEY = 1010;
// SHFileOperationW's own codes (not GetLastError codes).
constexpr int DE_INVALIDFILES = 0x7C;  // 124
constexpr int DE_DESTSUBTREE = 0x76;
constexpr int DE_ERROR_INVALID_PATH = 0x402;  // 1026, "invalid source or destination path"

// ---------------------------------------------------------------- registry
// Predefined root keys have Windows' values.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000000)));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000001)));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000002)));
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000003)));

constexpr ACCESS_MASK DELETE = 0x00010000;
constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr ACCESS_MASK STANDARD_RIGHTS_READ = READ_CONTROL;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

[[nodiscard]] LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                 PHKEY phkResult);
[[nodiscard]] LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                   DWORD dwOptions, REGSAM samDesired,
                                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                                   DWORD* lpdwDisposition);
// lpData null: succeeds with *lpcbData the data's size. A buffer too small:
// ERROR_MORE_DATA, the buffer untouched and *lpcbData the size needed.
// getRegSZValue (system/scanner.cpp) and QuorelRestore's queryValue ask for
// the size first.
[[nodiscard]] LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved,
                                    DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
[[nodiscard]] LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass,
                                    DWORD* lpReserved, DWORD* lpcSubKeys,
                                    DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                                    DWORD* lpcValues, DWORD* lpcbMaxValueNameLen,
                                    DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                                    FILETIME* lpftLastWriteTime);
// A name that does not fit lpName: ERROR_MORE_DATA with the buffer and
// *lpcchName untouched; no size is reported, so the registry walk of
// system/scanner.cpp retries with room for the longest name there can be.
[[nodiscard]] LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName,
                                 DWORD* lpReserved, LPWSTR lpClass, DWORD* lpcchClass,
                                 FILETIME* lpftLastWriteTime);
// ERROR_MORE_DATA when the name or the data does not fit: *lpType and
// *lpcbData then receive the value's type and data size; the name and
// *lpcchValueName are written only when the name fitted, the data never.
// readValues (system/undo_records.cpp) sizes its data buffer from *lpcbData.
[[nodiscard]] LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                 DWORD* lpcchValueName, DWORD* lpReserved, DWORD* lpType,
                                 BYTE* lpData, DWORD* lpcbData);
// For REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data whose even count leaves out
// the terminator, Windows reads the two bytes after the counted data and, when
// they are zero, stores the terminator too: callers keep those bytes readable.
[[nodiscard]] LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData);
[[nodiscard]] LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
[[nodiscard]] LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LONG RegCloseKey(HKEY hKey);
[[nodiscard]] LONG SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey);

// ---------------------------------------------------------------- security
constexpr DWORD TOKEN_ASSIGN_PRIMARY = 0x0001;
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_QUERY_SOURCE = 0x0010;
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_ADJUST_GROUPS = 0x0040;
constexpr DWORD TOKEN_ADJUST_DEFAULT = 0x0080;
constexpr DWORD TOKEN_READ = 0x20008;
constexpr DWORD TOKEN_ALL_ACCESS_NT4 = 0xF00FF;  // the mask elevate() asks for

constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
constexpr DWORD SE_GROUP_OWNER = 0x00000008;
constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;

inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};
constexpr DWORD SECURITY_BUILTIN_DOMAIN_RID = 32;
constexpr DWORD DOMAIN_ALIAS_RID_ADMINS = 544;

inline constexpr char16_t SE_DEBUG_NAME[] = u"SeDebugPrivilege";
inline constexpr char16_t SE_SHUTDOWN_NAME[] = u"SeShutdownPrivilege";

[[nodiscard]] BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
// TokenInformation null or too small: FALSE with ERROR_INSUFFICIENT_BUFFER,
// and *ReturnLength receives the size needed. isAdmin (control/QuorelFix.cpp)
// sizes its group list from it.
[[nodiscard]] BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                       void* TokenInformation, DWORD TokenInformationLength,
                                       DWORD* ReturnLength);
[[nodiscard]] BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* pIdentifierAuthority,
                                            BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                            DWORD nSubAuthority1, DWORD nSubAuthority2,
                                            DWORD nSubAuthority3, DWORD nSubAuthority4,
                                            DWORD nSubAuthority5, DWORD nSubAuthority6,
                                            DWORD nSubAuthority7, PSID* pSid);
[[nodiscard]] BOOL EqualSid(PSID pSid1, PSID pSid2);
void* FreeSid(PSID pSid);
[[nodiscard]] BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID* lpLuid);
// Returns TRUE also when it could not assign a privilege the token does not
// hold; the last error then is ERROR_NOT_ALL_ASSIGNED (ERROR_SUCCESS when all
// were assigned). elevate() (detectors/genscan_privileges.cpp) counts that as
// success.
[[nodiscard]] BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                         const TOKEN_PRIVILEGES* NewState, DWORD BufferLength,
                                         TOKEN_PRIVILEGES* PreviousState, DWORD* ReturnLength);

// ---------------------------------------------------------------- service control manager
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_CONTROL_STOP = 0x00000001;
constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x00000001;
// Service types, start types and error controls, as CreateServiceW takes
// them and QueryServiceConfigW and the service's key give them back.
constexpr DWORD SERVICE_KERNEL_DRIVER = 0x00000001;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x00000002;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;
constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x00000020;
constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x00000100;
constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;
constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;
constexpr DWORD SERVICE_ERROR_SEVERE = 2;
constexpr DWORD SERVICE_ERROR_CRITICAL = 3;
// In a dependency list, a name that begins with it is a load order group.
constexpr char16_t SC_GROUP_IDENTIFIERW = u'+';
constexpr DWORD SERVICE_CONFIG_DESCRIPTION = 1;
inline constexpr char16_t SERVICES_ACTIVE_DATABASEW[] = u"ServicesActive";

// The strings of both structures point into the buffer the query filled.
struct QUERY_SERVICE_CONFIGW {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  LPWSTR lpBinaryPathName;
  LPWSTR lpLoadOrderGroup;
  DWORD dwTagId;
  LPWSTR lpDependencies;  // double-zero-terminated list
  LPWSTR lpServiceStartName;
  LPWSTR lpDisplayName;
};

struct SERVICE_DESCRIPTIONW {
  LPWSTR lpDescription;  // null: the service has no description
};

[[nodiscard]] SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                       DWORD dwDesiredAccess);
[[nodiscard]] SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                     DWORD dwDesiredAccess);
[[nodiscard]] BOOL DeleteService(SC_HANDLE hService);
// *lpServiceStatus receives the service's latest status on success and on
// the failures ERROR_INVALID_SERVICE_CONTROL, ERROR_SERVICE_CANNOT_ACCEPT_CTRL
// and ERROR_SERVICE_NOT_ACTIVE; any other failure leaves it untouched.
// removeServices (detectors/genscan.cpp) reads the state after those three.
[[nodiscard]] BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);
// Makes a service, stopped, and its key under
// HKLM\SYSTEM\CurrentControlSet\Services. ERROR_SERVICE_EXISTS for a name
// taken; ERROR_SERVICE_MARKED_FOR_DELETE while a service of that name is
// marked for deletion (until its last handle is closed, or the restart);
// ERROR_DUPLICATE_SERVICE_NAME for a display name another service has as its
// name or display name. restoreService (restore/restore_service.cpp) makes a
// removed service again from its record.
[[nodiscard]] SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                                       DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                       DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                                       DWORD* lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                                       LPCWSTR lpPassword);
// A buffer too small (none, with size 0, asks for the size): FALSE with
// ERROR_INSUFFICIENT_BUFFER, the buffer untouched and *pcbBytesNeeded the
// size needed. readServiceConfig (system/scanner.cpp) sizes its buffer so.
[[nodiscard]] BOOL QueryServiceConfigW(SC_HANDLE hService, QUERY_SERVICE_CONFIGW* lpServiceConfig, DWORD cbBufSize,
                                       DWORD* pcbBytesNeeded);
// The same sizing as QueryServiceConfigW; only SERVICE_CONFIG_DESCRIPTION
// is asked for.
[[nodiscard]] BOOL QueryServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, BYTE* lpBuffer, DWORD cbBufSize,
                                        DWORD* pcbBytesNeeded);

// ---------------------------------------------------------------- files
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

[[nodiscard]] HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData);
[[nodiscard]] BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData);
BOOL FindClose(HANDLE hFindFile);
[[nodiscard]] DWORD GetFileAttributesW(LPCWSTR lpFileName);
[[nodiscard]] BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                        void* lpFileInformation);
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime);
[[nodiscard]] BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
// Opens an existing item by path; only OPEN_EXISTING is asked for. A folder
// opens only with FILE_FLAG_BACKUP_SEMANTICS (ERROR_ACCESS_DENIED without).
// QuorelPreview asks with DELETE access and the sharing a move needs whether
// a file is held so that the move would fail (ERROR_SHARING_VIOLATION);
// the handle is closed with CloseHandle.
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
[[nodiscard]] HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                 const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                                 DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
[[nodiscard]] BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES* lpSecurityAttributes);
// Returns the characters needed, terminator included; 0 on failure. A buffer
// too small for the result is left untouched.
DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize);
void GetLocalTime(SYSTEMTIME* lpSystemTime);

// ---------------------------------------------------------------- processes
constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

[[nodiscard]] BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                  const SECURITY_ATTRIBUTES* lpProcessAttributes,
                                  const SECURITY_ATTRIBUTES* lpThreadAttributes, BOOL bInheritHandles,
                                  DWORD dwCreationFlags, void* lpEnvironment,
                                  LPCWSTR lpCurrentDirectory, STARTUPINFOW* lpStartupInfo,
                                  PROCESS_INFORMATION* lpProcessInformation);
[[nodiscard]] HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
[[nodiscard]] BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
HANDLE GetCurrentProcess();
BOOL CloseHandle(HANDLE hObject);
void Sleep(DWORD dwMilliseconds);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
// psapi
[[nodiscard]] BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, DWORD* lpcbNeeded);
DWORD GetModuleFileNameExW(HANDLE hProcess, void* hModule, LPWSTR lpFilename, DWORD nSize);
// The program's own module path (hModule none). A path that does not fit is
// cut short and the result is nSize: on XP the buffer is filled unterminated
// and the last error left as it was; later releases terminate it and set
// ERROR_INSUFFICIENT_BUFFER. ownModulePath (control/QuorelFix.cpp) takes a
// full buffer as a path cut short and retries with more room.
DWORD GetModuleFileNameW(void* hModule, LPWSTR lpFilename, DWORD nSize);

// ---------------------------------------------------------------- shell
constexpr UINT FO_MOVE = 0x0001;
constexpr UINT FO_COPY = 0x0002;
constexpr UINT FO_DELETE = 0x0003;
constexpr UINT FO_RENAME = 0x0004;
constexpr FILEOP_FLAGS FOF_MULTIDESTFILES = 0x0001;
constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_RENAMEONCOLLISION = 0x0008;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;
constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;
constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;

[[nodiscard]] int SHFileOperationW(SHFILEOPSTRUCTW* lpFileOp);
int SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa);

// ---------------------------------------------------------------- user interface and restart
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

constexpr UINT EWX_LOGOFF = 0x00000000;
constexpr UINT EWX_SHUTDOWN = 0x00000001;
constexpr UINT EWX_REBOOT = 0x00000002;
constexpr UINT EWX_FORCE = 0x00000004;
constexpr UINT EWX_FORCEIFHUNG = 0x00000010;

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
[[nodiscard]] BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason);
// user32's formatter: %d %u %x %X %s %c with flags, width and precision; at
// most 1024 characters are written, terminator included.
int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);

// ---------------------------------------------------------------- runtime (msvcrt)
// Files opened by path. A failed open returns nullptr and leaves the system's
// last error set, as the Windows runtime does (it opens through CreateFileW).
std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode);
std::FILE* fopen(const char* path, const char* mode);  // 8-bit path, bytes as code units
int fclose(std::FILE* stream);
// Runs a command line through the command interpreter and waits for it.
int system(const char* command);

}  // namespace win
