// The emulated registry's value and enumeration calls (declared with the rest
// of the seam in win32.h). Key calls are in keys.cpp; the state they share in
// state.cpp.
#include <algorithm>
#include <cstring>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/registry/state.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

using emu::reg::Resolved;

constexpr LONG ERROR_NOACCESS = 998;  // "invalid access to memory location": data missing for a nonzero size

void putFileTime(FILETIME* ft) {
  // Keys keep no write times; they report the emulated clock.
  const std::uint64_t now = emu::nowFileTime();
  ft->dwLowDateTime = static_cast<DWORD>(now);
  ft->dwHighDateTime = static_cast<DWORD>(now >> 32);
}

const std::vector<emu::reg::Value>& valuesOf(const Resolved& r) {
  static const std::vector<emu::reg::Value> none;
  return r.key ? r.key->values : none;
}

// Writes a name and its terminator; the caller has checked the capacity.
void putName(const std::u16string& name, LPWSTR out, DWORD* count) {
  std::copy(name.begin(), name.end(), out);
  out[name.size()] = 0;
  *count = static_cast<DWORD>(name.size());
}

// A string whose size leaves out its terminator, where the character right
// after the given data is zero, is stored with that terminator, as Windows
// does (Wine's test_set_value, "off-by-one size", on every Windows version):
// the bytes to add, 0 or 2. Like Windows, this reads the character after the
// data the caller counted. Anything else is stored exactly as given.
DWORD forgottenTerminator(DWORD type, const BYTE* data, DWORD size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return 0;
  if (!data || size < 2 || size % 2 != 0) return 0;
  const auto unit = [data](DWORD at) { return data[at] | (data[at + 1] << 8); };
  return unit(size - 2) != 0 && unit(size) == 0 ? 2 : 0;
}

}  // namespace

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
  if (auto code = emu::injectedFailure("RegQueryValueExW")) return static_cast<LONG>(*code);
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_QUERY_VALUE, &r)) return rc;
  const emu::reg::Value* value = r.key ? emu::reg::findValue(*r.key, lpValueName ? lpValueName : u"") : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  const auto size = static_cast<DWORD>(value->data.size());
  // Too small a buffer: the needed size (and the type) are reported, the buffer stays as it was.
  const bool tooSmall = lpData && *lpcbData < size;
  if (lpData && !tooSmall && size > 0) std::memcpy(lpData, value->data.data(), size);
  if (lpType) *lpType = value->type;
  if (lpcbData) *lpcbData = size;
  return tooSmall ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (auto code = emu::injectedFailure("RegSetValueExW")) return static_cast<LONG>(*code);
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_SET_VALUE, &r)) return rc;
  if (!lpData && cbData) return ERROR_NOACCESS;
  if (!r.key) {
    // The root of HKEY_CLASSES_ROOT before any Classes key exists.
    bool created = false;
    r.key = emu::reg::createPath(emu::reg::root(emu::reg::Hive::Machine), emu::reg::classesBase(), &created);
  }
  std::vector<BYTE> data(lpData, lpData + (lpData ? cbData : 0) + forgottenTerminator(dwType, lpData, cbData));
  const emu::reg::Value& value = emu::reg::setValue(*r.key, lpValueName ? lpValueName : u"", dwType, std::move(data));
  emu::reg::record(emu::reg::keyBlock(*r.key) + emu::reg::valueLine(value, emu::reg::fileEncoding()));
  return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  if (auto code = emu::injectedFailure("RegDeleteValueW")) return static_cast<LONG>(*code);
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_SET_VALUE, &r)) return rc;
  const emu::reg::Value* value = r.key ? emu::reg::findValue(*r.key, lpValueName ? lpValueName : u"") : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  const std::u16string name = value->name;  // the name as stored
  emu::reg::deleteValue(*r.key, name);
  emu::reg::record(emu::reg::keyBlock(*r.key) + emu::reg::deletedValueLine(name));
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime) {
  if (auto code = emu::injectedFailure("RegQueryInfoKeyW")) return static_cast<LONG>(*code);
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_QUERY_VALUE, &r)) return rc;
  const auto subkeys = emu::reg::subkeysOf(r);
  std::size_t maxSubkey = 0;
  for (const auto* k : subkeys) maxSubkey = std::max(maxSubkey, k->name.size());
  const auto& values = valuesOf(r);
  std::size_t maxName = 0;
  std::size_t maxData = 0;
  for (const auto& v : values) {
    maxName = std::max(maxName, v.name.size());
    maxData = std::max(maxData, v.data.size());
  }
  // Keys have no class: an empty one is reported.
  if (lpClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSubkey);  // characters, no terminator
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxName);  // characters, no terminator
  if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxData);          // bytes
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;  // no security descriptors are kept
  if (lpftLastWriteTime) putFileTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved, LPWSTR lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  if (auto code = emu::injectedFailure("RegEnumKeyExW")) return static_cast<LONG>(*code);
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_ENUMERATE_SUB_KEYS, &r)) return rc;
  const emu::reg::Key* key = nullptr;
  if (r.classes) {
    const auto merged = emu::reg::subkeysOf(r);
    if (dwIndex < merged.size()) key = merged[dwIndex];
  } else if (dwIndex < r.key->subkeys.size()) {
    key = r.key->subkeys[dwIndex].get();
  }
  if (!key) return ERROR_NO_MORE_ITEMS;
  // Too small a name buffer: Windows leaves the buffer and the count as they were.
  if (key->name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  putName(key->name, lpName, lpcchName);
  if (lpClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) putFileTime(lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (auto code = emu::injectedFailure("RegEnumValueW")) return static_cast<LONG>(*code);
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Resolved r;
  if (LONG rc = emu::reg::resolve(hKey, KEY_QUERY_VALUE, &r)) return rc;
  const auto& values = valuesOf(r);
  if (dwIndex >= values.size()) return ERROR_NO_MORE_ITEMS;
  const emu::reg::Value& value = values[dwIndex];
  const auto size = static_cast<DWORD>(value.data.size());
  // Too small a name buffer: as on Windows, the name and its count stay as
  // they were and no data is copied, but type and data size are reported.
  if (value.name.size() + 1 > *lpcchValueName) {
    if (lpType) *lpType = value.type;
    if (lpcbData) *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  putName(value.name, lpValueName, lpcchValueName);
  if (lpType) *lpType = value.type;
  const bool tooSmall = lpData && *lpcbData < size;
  if (lpData && !tooSmall && size > 0) std::memcpy(lpData, value.data.data(), size);
  if (lpcbData) *lpcbData = size;
  return tooSmall ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

}  // namespace win
