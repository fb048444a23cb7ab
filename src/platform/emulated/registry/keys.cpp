// The emulated registry's key calls (declared with the rest of the seam in
// win32.h): opening, creating, closing and deleting keys. Values are in
// values.cpp; the state they share (trees, handles, faults, the file) in
// state.cpp.
#include "platform/emulated/registry/state.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

using emu::reg::Hive;
using emu::reg::OpenKey;
using emu::reg::Path;
using emu::reg::Resolved;

std::u16string pathText(std::u16string base, const Path& sub) {
  for (const auto& part : sub) base += u"\\" + part;
  return base;
}

// The full paths a key below a handle has: one for an HKLM or HKCU key; the
// HKCU and HKLM copies for a key below HKEY_CLASSES_ROOT.
std::vector<std::u16string> fullPaths(const Resolved& parent, const Path& sub) {
  if (!parent.classes) return {pathText(emu::reg::keyPath(*parent.key), sub)};
  const Path path = emu::reg::joined(emu::reg::joined(emu::reg::classesBase(), parent.classesPath), sub);
  return {pathText(std::u16string(emu::reg::hiveName(Hive::User)), path),
          pathText(std::u16string(emu::reg::hiveName(Hive::Machine)), path)};
}

LONG faultForAny(const std::vector<std::u16string>& paths, REGSAM access) {
  for (const auto& p : paths)
    if (LONG code = emu::reg::faultFor(p, access)) return code;
  return ERROR_SUCCESS;
}

// The key that deleting `sub` below a handle removes: below HKEY_CLASSES_ROOT
// the HKCU copy goes first, the HKLM copy once there is no HKCU copy.
std::shared_ptr<emu::reg::Key> deletionTarget(const Resolved& parent, const Path& sub) {
  if (!parent.classes) return emu::reg::findPath(parent.key, sub);
  const Path path = emu::reg::joined(parent.classesPath, sub);
  if (auto user = emu::reg::classesCopy(Hive::User, path)) return user;
  return emu::reg::classesCopy(Hive::Machine, path);
}

LONG removeKey(emu::reg::Key& key) {
  const std::u16string full = emu::reg::keyPath(key);
  emu::reg::removeTree(key);
  emu::reg::record(emu::reg::deletedKeyBlock(full));
  return ERROR_SUCCESS;
}

bool leadingSeparator(LPCWSTR subKey) { return subKey && subKey[0] == u'\\'; }

}  // namespace

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (auto code = emu::injectedFailure("RegOpenKeyExW")) return static_cast<LONG>(*code);
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  Resolved parent;
  if (LONG rc = emu::reg::resolve(hKey, 0, &parent)) return rc;
  // A leading backslash is refused, except below HKEY_CLASSES_ROOT ("\clsid" opens).
  if (leadingSeparator(lpSubKey) && hKey != HKEY_CLASSES_ROOT) return ERROR_BAD_PATHNAME;
  const Path sub = emu::reg::splitPath(lpSubKey ? lpSubKey : u"");
  // No subkey below a predefined root hands back the root itself.
  if (sub.empty() && parent.predefined) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  OpenKey open;
  open.access = emu::reg::normalizedAccess(samDesired);
  std::vector<std::u16string> paths;
  if (parent.classes) {
    open.classes = true;
    open.classesPath = emu::reg::joined(parent.classesPath, sub);
    auto user = emu::reg::classesCopy(Hive::User, open.classesPath);
    auto machine = emu::reg::classesCopy(Hive::Machine, open.classesPath);
    if (!user && !machine) return ERROR_FILE_NOT_FOUND;
    for (const auto& copy : {user, machine})
      if (copy) paths.push_back(emu::reg::keyPath(*copy));
  } else {
    open.key = emu::reg::findPath(parent.key, sub);
    if (!open.key) return ERROR_FILE_NOT_FOUND;
    paths.push_back(emu::reg::keyPath(*open.key));
  }
  if (LONG code = faultForAny(paths, open.access)) return code;
  *phkResult = emu::reg::newHandle(std::move(open));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES*, PHKEY phkResult, DWORD* lpdwDisposition) {
  if (auto code = emu::injectedFailure("RegCreateKeyExW")) return static_cast<LONG>(*code);
  if (!phkResult) return ERROR_BADKEY;
  // Windows ignores the rights of the parent handle here.
  Resolved parent;
  if (LONG rc = emu::reg::resolve(hKey, 0, &parent)) return rc;
  if (leadingSeparator(lpSubKey)) return ERROR_BAD_PATHNAME;
  const Path sub = emu::reg::splitPath(lpSubKey ? lpSubKey : u"");
  if (sub.empty() && parent.predefined) {
    *phkResult = hKey;
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  OpenKey open;
  open.access = emu::reg::normalizedAccess(samDesired);
  // A refusing key refuses whether it exists yet or not; nothing is created then.
  if (LONG code = faultForAny(fullPaths(parent, sub), open.access)) return code;
  bool created = false;
  if (parent.classes) {
    open.classes = true;
    open.classesPath = emu::reg::joined(parent.classesPath, sub);
    const bool exists = emu::reg::classesCopy(Hive::User, open.classesPath) ||
                        emu::reg::classesCopy(Hive::Machine, open.classesPath);
    if (!exists) {
      // A key new to HKEY_CLASSES_ROOT lands in HKLM\Software\Classes.
      auto key = emu::reg::createPath(emu::reg::root(Hive::Machine),
                                      emu::reg::joined(emu::reg::classesBase(), open.classesPath), &created);
      emu::reg::record(emu::reg::keyBlock(*key));
    }
  } else {
    open.key = emu::reg::createPath(parent.key, sub, &created);
    // One header creates the key and any missing keys above it on import.
    if (created) emu::reg::record(emu::reg::keyBlock(*open.key));
  }
  *phkResult = emu::reg::newHandle(std::move(open));
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  if (auto code = emu::injectedFailure("RegCloseKey")) return static_cast<LONG>(*code);
  if (emu::reg::isPredefined(hKey)) return ERROR_SUCCESS;
  return emu::reg::closeHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (auto code = emu::injectedFailure("RegDeleteKeyW")) return static_cast<LONG>(*code);
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  const Path sub = emu::reg::splitPath(lpSubKey);
  // "" deletes the opened key itself, which takes DELETE access on its handle;
  // a named subkey is opened afresh for deletion.
  Resolved parent;
  if (LONG rc = emu::reg::resolve(hKey, sub.empty() ? DELETE : 0, &parent)) return rc;
  if (sub.empty() && parent.predefined) return ERROR_ACCESS_DENIED;
  auto target = deletionTarget(parent, sub);
  if (!target) return sub.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
  if (!target->parent) return ERROR_ACCESS_DENIED;
  if (LONG code = emu::reg::faultFor(emu::reg::keyPath(*target), DELETE)) return code;
  // A key with subkeys is refused; ERROR_ACCESS_DENIED is what Windows is reported to answer.
  if (!target->subkeys.empty()) return ERROR_ACCESS_DENIED;
  return removeKey(*target);
}

LONG SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) {
  if (auto code = emu::injectedFailure("SHDeleteKeyW")) return static_cast<LONG>(*code);
  const Path sub = emu::reg::splitPath(pszSubKey ? pszSubKey : u"");
  Resolved parent;
  if (LONG rc = emu::reg::resolve(hKey, 0, &parent)) return rc;
  if (sub.empty() && parent.predefined) return ERROR_ACCESS_DENIED;
  auto target = deletionTarget(parent, sub);
  if (!target) return ERROR_FILE_NOT_FOUND;
  if (!target->parent) return ERROR_ACCESS_DENIED;
  // A key in the tree that refuses DELETE stops the whole deletion before
  // anything is removed.
  if (LONG code = emu::reg::deleteFaultInTree(*target)) return code;
  return removeKey(*target);
}

}  // namespace win
