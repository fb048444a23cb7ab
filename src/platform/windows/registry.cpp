// Registry: advapi32's Reg* calls and shlwapi's SHDeleteKeyW, one call each.
#include "platform/windows/api.h"

#include <shlwapi.h>

namespace win {
using namespace bridge;

QF_SAME_SIZE(FILETIME);
QF_SAME_FIELD(FILETIME, dwHighDateTime);
QF_SAME_SIZE(SECURITY_ATTRIBUTES);
QF_SAME_FIELD(SECURITY_ATTRIBUTES, lpSecurityDescriptor);
QF_SAME_FIELD(SECURITY_ATTRIBUTES, bInheritHandle);

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return ::RegOpenKeyExW(native(hKey), wide(lpSubKey), ulOptions, samDesired, native(phkResult));
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                     DWORD* lpdwDisposition) {
  return ::RegCreateKeyExW(native(hKey), wide(lpSubKey), Reserved, wide(lpClass), dwOptions, samDesired,
                           as<::SECURITY_ATTRIBUTES>(lpSecurityAttributes), native(phkResult),
                           native(lpdwDisposition));
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
  return ::RegQueryValueExW(native(hKey), wide(lpValueName), native(lpReserved), native(lpType), lpData,
                            native(lpcbData));
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
  return ::RegQueryInfoKeyW(native(hKey), wide(lpClass), native(lpcchClass), native(lpReserved),
                            native(lpcSubKeys), native(lpcbMaxSubKeyLen), native(lpcbMaxClassLen),
                            native(lpcValues), native(lpcbMaxValueNameLen), native(lpcbMaxValueLen),
                            native(lpcbSecurityDescriptor), as<::FILETIME>(lpftLastWriteTime));
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved,
                   LPWSTR lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  return ::RegEnumKeyExW(native(hKey), dwIndex, wide(lpName), native(lpcchName), native(lpReserved),
                         wide(lpClass), native(lpcchClass), as<::FILETIME>(lpftLastWriteTime));
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  return ::RegEnumValueW(native(hKey), dwIndex, wide(lpValueName), native(lpcchValueName),
                         native(lpReserved), native(lpType), lpData, native(lpcbData));
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  return ::RegSetValueExW(native(hKey), wide(lpValueName), Reserved, dwType, lpData, cbData);
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return ::RegDeleteValueW(native(hKey), wide(lpValueName));
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) { return ::RegDeleteKeyW(native(hKey), wide(lpSubKey)); }

LONG RegCloseKey(HKEY hKey) { return ::RegCloseKey(native(hKey)); }

LONG SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) { return ::SHDeleteKeyW(native(hKey), wide(pszSubKey)); }

}  // namespace win
