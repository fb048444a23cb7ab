// The registry calls of the preview layer: values set or deleted and keys
// made or deleted are kept as effects over the backend's keys, and every
// query and enumeration answers through them. A change needs the rights the
// backend grants: a key that would refuse them refuses the open here.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "platform/preview/overlay.h"

namespace preview {
namespace {

struct Key {
  std::u16string path;  // "HKLM\\SOFTWARE\\...", as written
  std::u16string key;   // upper case
  win::HKEY backend = nullptr;  // none: only the effects have this key
  win::REGSAM access = 0;
};

struct ValueEffect {
  bool present = false;
  std::u16string name;
  win::DWORD type = 0;
  std::vector<win::BYTE> data;
};

struct KeyEffect {
  bool deleted = false;
  bool created = false;
  std::u16string name;
  std::map<std::u16string, ValueEffect> values;  // upper-case name -> effect
};

std::map<std::u16string, KeyEffect>& keyEffects() {
  static std::map<std::u16string, KeyEffect> map;
  return map;
}

std::map<win::HKEY, std::unique_ptr<Key>>& openKeys() {
  static std::map<win::HKEY, std::unique_ptr<Key>> map;
  return map;
}

std::optional<Key> resolve(win::HKEY h) {
  struct Root {
    win::HKEY handle;
    const char16_t* name;
  };
  const Root roots[] = {{win::HKEY_LOCAL_MACHINE, u"HKLM"}, {win::HKEY_CURRENT_USER, u"HKCU"},
                        {win::HKEY_CLASSES_ROOT, u"HKCR"}, {win::HKEY_USERS, u"HKU"}};
  for (const Root& r : roots)
    if (h == r.handle) return Key{r.name, r.name, h, win::KEY_ALL_ACCESS};
  auto it = openKeys().find(h);
  if (it == openKeys().end()) return std::nullopt;
  return *it->second;
}

std::u16string join(const std::u16string& parent, const char16_t* sub) {
  if (!sub || !*sub) return parent;
  return parent + u"\\" + sub;
}

bool gone(const std::u16string& key) {
  auto& map = keyEffects();
  if (auto it = map.find(key); it != map.end() && it->second.created) return false;
  for (std::u16string k = key; !k.empty(); k = parentOf(k))
    if (auto it = map.find(k); it != map.end() && it->second.deleted) return true;
  return false;
}

bool created(const std::u16string& key) {
  auto it = keyEffects().find(key);
  return it != keyEffects().end() && it->second.created;
}

win::LONG openKey(const Key& parent, const char16_t* sub, win::REGSAM sam, Key& out) {
  const std::u16string path = join(parent.path, sub);
  const std::u16string key = upper(path);
  if (gone(key)) return static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND);
  win::HKEY backend = nullptr;
  win::LONG rc = static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND);
  if (parent.backend) rc = win::qf_backend_RegOpenKeyExW(parent.backend, sub, 0, sam, &backend);
  if (rc == win::ERROR_SUCCESS) {
    out = Key{path, key, backend, sam};
    return rc;
  }
  if (rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND) && created(key)) {
    out = Key{path, key, nullptr, sam};
    return win::ERROR_SUCCESS;
  }
  return rc;
}

win::HKEY handleFor(const Key& key) {
  auto owned = std::make_unique<Key>(key);
  win::HKEY h = reinterpret_cast<win::HKEY>(owned.get());
  openKeys()[h] = std::move(owned);
  return h;
}

void closeKey(const Key& key) {
  if (key.backend) (void)win::qf_backend_RegCloseKey(key.backend);
}

bool valueEffectsOn(const Key& k) {
  auto it = keyEffects().find(k.key);
  return !k.backend || (it != keyEffects().end() && !it->second.values.empty());
}

bool keyEffectsBelow(const Key& k) {
  const std::u16string prefix = k.key + u"\\";
  auto& map = keyEffects();
  auto it = map.lower_bound(prefix);
  return !k.backend || (it != map.end() && it->first.starts_with(prefix));
}

// The values of a key as the effects leave them, in the backend's order, the
// new ones after.
std::vector<ValueEffect> valuesOf(const Key& k) {
  std::vector<ValueEffect> out;
  const KeyEffect* changes = nullptr;
  if (auto it = keyEffects().find(k.key); it != keyEffects().end()) changes = &it->second;
  std::set<std::u16string> seen;
  if (k.backend) {
    std::vector<char16_t> name(16384);
    for (win::DWORD i = 0;; ++i) {
      win::DWORD length = static_cast<win::DWORD>(name.size());
      win::DWORD type = 0, size = 0;
      if (win::qf_backend_RegEnumValueW(k.backend, i, name.data(), &length, nullptr, &type, nullptr, &size) !=
          win::ERROR_SUCCESS)
        break;
      ValueEffect v{true, std::u16string(name.data(), length), type, std::vector<win::BYTE>(size)};
      if (win::qf_backend_RegQueryValueExW(k.backend, v.name.c_str(), nullptr, &v.type, v.data.data(), &size) !=
          win::ERROR_SUCCESS)
        continue;
      v.data.resize(size);
      const std::u16string key = upper(v.name);
      seen.insert(key);
      if (changes) {
        if (auto c = changes->values.find(key); c != changes->values.end()) {
          if (!c->second.present) continue;
          v.type = c->second.type;
          v.data = c->second.data;
        }
      }
      out.push_back(std::move(v));
    }
  }
  if (changes)
    for (const auto& [key, v] : changes->values)
      if (v.present && !seen.count(key)) out.push_back(v);
  return out;
}

// The names of a key's subkeys as the effects leave them, sorted as the
// registry lists them.
std::vector<std::u16string> subkeysOf(const Key& k) {
  std::vector<std::u16string> out;
  if (k.backend) {
    char16_t name[512];
    for (win::DWORD i = 0;; ++i) {
      win::DWORD length = 512;
      if (win::qf_backend_RegEnumKeyExW(k.backend, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          win::ERROR_SUCCESS)
        break;
      std::u16string n(name, length);
      if (!gone(k.key + u"\\" + upper(n))) out.push_back(n);
    }
  }
  const std::u16string prefix = k.key + u"\\";
  auto& map = keyEffects();
  for (auto it = map.lower_bound(prefix); it != map.end() && it->first.starts_with(prefix); ++it) {
    if (it->first.find(u'\\', prefix.size()) != std::u16string::npos || !it->second.created) continue;
    const std::u16string key = upper(it->second.name);
    if (std::none_of(out.begin(), out.end(), [&](const std::u16string& n) { return upper(n) == key; }))
      out.push_back(it->second.name);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return upper(a) < upper(b); });
  return out;
}

void deleteKeyTree(const std::u16string& key) {
  auto& map = keyEffects();
  for (auto it = map.lower_bound(key + u"\\"); it != map.end() && it->first.starts_with(key + u"\\");)
    it = map.erase(it);
  KeyEffect& e = map[key];
  e = KeyEffect{};
  e.deleted = true;
  e.name = nameOf(key);
}

bool isStringType(win::DWORD type) {
  return type == win::REG_SZ || type == win::REG_EXPAND_SZ || type == win::REG_MULTI_SZ;
}

// Rights a deletion of a key needs of it, and of each key below it.
constexpr win::REGSAM kDeleteRights = win::DELETE | win::KEY_ENUMERATE_SUB_KEYS | win::KEY_QUERY_VALUE;

// 0 when every key below `k` opens with the rights a deletion needs.
win::LONG treeDenial(const Key& k) {
  for (const std::u16string& name : subkeysOf(k)) {
    Key child;
    if (win::LONG rc = openKey(k, name.c_str(), kDeleteRights, child)) return rc;
    const win::LONG rc = treeDenial(child);
    closeKey(child);
    if (rc) return rc;
  }
  return win::ERROR_SUCCESS;
}

}  // namespace

void forgetRegistryEffects() {
  keyEffects().clear();
  openKeys().clear();
}

}  // namespace preview

namespace win {
using preview::Key;
using preview::resolve;

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  auto parent = resolve(hKey);
  if (!parent) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Key key;
  if (LONG rc = preview::openKey(*parent, lpSubKey, samDesired, key)) return rc;
  *phkResult = preview::handleFor(key);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/, LPWSTR /*lpClass*/, DWORD /*dwOptions*/,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/, PHKEY phkResult,
                     DWORD* lpdwDisposition) {
  auto parent = resolve(hKey);
  if (!parent) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Key key;
  LONG rc = preview::openKey(*parent, lpSubKey, samDesired, key);
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) {
    // Made with the keys missing on the way; whether the parent grants the
    // making cannot be asked without making it.
    preview::markUnknown();
    const std::u16string path = preview::join(parent->path, lpSubKey);
    for (std::u16string k = path; k.size() > parent->path.size(); k = preview::parentOf(k)) {
      preview::KeyEffect& e = preview::keyEffects()[preview::upper(k)];
      if (e.created) break;
      e.created = true;
      e.deleted = false;
      e.name = preview::nameOf(k);
    }
    key = Key{path, preview::upper(path), nullptr, samDesired};
    disposition = REG_CREATED_NEW_KEY;
    rc = ERROR_SUCCESS;
  }
  if (rc) return rc;
  *phkResult = preview::handleFor(key);
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  auto& keys = preview::openKeys();
  auto it = keys.find(hKey);
  if (it == keys.end()) return resolve(hKey) ? ERROR_SUCCESS : static_cast<LONG>(ERROR_INVALID_HANDLE);
  preview::closeKey(*it->second);
  keys.erase(it);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  const preview::ValueEffect* effect = nullptr;
  if (auto it = preview::keyEffects().find(k->key); it != preview::keyEffects().end()) {
    auto v = it->second.values.find(preview::upper(lpValueName ? lpValueName : u""));
    if (v != it->second.values.end()) effect = &v->second;
  }
  if (!effect) {
    if (!k->backend) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    return qf_backend_RegQueryValueExW(k->backend, lpValueName, lpReserved, lpType, lpData, lpcbData);
  }
  if (!effect->present) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  const DWORD size = static_cast<DWORD>(effect->data.size());
  if (lpData && !lpcbData) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  if (lpData && *lpcbData < size) {
    if (lpType) *lpType = effect->type;
    *lpcbData = size;
    return static_cast<LONG>(ERROR_MORE_DATA);
  }
  if (lpType) *lpType = effect->type;
  if (lpData) std::copy(effect->data.begin(), effect->data.end(), lpData);
  if (lpcbData) *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, DWORD* lpcchClass, DWORD* lpReserved, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues, DWORD* lpcbMaxValueNameLen,
                      DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (k->backend && !preview::valueEffectsOn(*k) && !preview::keyEffectsBelow(*k))
    return qf_backend_RegQueryInfoKeyW(k->backend, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen,
                                       lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                                       lpcbSecurityDescriptor, lpftLastWriteTime);
  DWORD classes = 0, classLength = 0, security = 0;
  FILETIME written{};
  if (k->backend) {
    if (LONG rc = qf_backend_RegQueryInfoKeyW(k->backend, nullptr, nullptr, nullptr, nullptr, nullptr, &classLength,
                                              nullptr, nullptr, nullptr, &security, &written))
      return rc;
  }
  const auto subkeys = preview::subkeysOf(*k);
  const auto values = preview::valuesOf(*k);
  DWORD longestKey = 0, longestName = 0, largest = 0;
  for (const auto& n : subkeys) longestKey = std::max<DWORD>(longestKey, static_cast<DWORD>(n.size()));
  for (const auto& v : values) {
    longestName = std::max<DWORD>(longestName, static_cast<DWORD>(v.name.size()));
    largest = std::max<DWORD>(largest, static_cast<DWORD>(v.data.size()));
  }
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = classes;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = longestKey;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = classLength;
  if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = longestName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = largest;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = security;
  if (lpftLastWriteTime) *lpftLastWriteTime = written;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD* lpcchName, DWORD* lpReserved, LPWSTR lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (!preview::keyEffectsBelow(*k))
    return qf_backend_RegEnumKeyExW(k->backend, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                    lpftLastWriteTime);
  const auto names = preview::subkeysOf(*k);
  if (dwIndex >= names.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  const std::u16string& name = names[dwIndex];
  if (!lpcchName || *lpcchName <= name.size()) return static_cast<LONG>(ERROR_MORE_DATA);
  std::copy(name.begin(), name.end(), lpName);
  lpName[name.size()] = 0;
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = {};
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (!preview::valueEffectsOn(*k))
    return qf_backend_RegEnumValueW(k->backend, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                    lpcbData);
  const auto values = preview::valuesOf(*k);
  if (dwIndex >= values.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  const preview::ValueEffect& v = values[dwIndex];
  const DWORD size = static_cast<DWORD>(v.data.size());
  const bool nameFits = lpcchValueName && *lpcchValueName > v.name.size();
  const bool dataFits = !lpData || (lpcbData && *lpcbData >= size);
  if (nameFits) {
    std::copy(v.name.begin(), v.name.end(), lpValueName);
    lpValueName[v.name.size()] = 0;
    *lpcchValueName = static_cast<DWORD>(v.name.size());
  }
  if (lpType) *lpType = v.type;
  if (lpcbData) *lpcbData = size;
  if (!nameFits || !dataFits) return static_cast<LONG>(ERROR_MORE_DATA);
  if (lpData) std::copy(v.data.begin(), v.data.end(), lpData);
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (!(k->access & KEY_SET_VALUE)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
  std::vector<BYTE> data(lpData, lpData + (lpData ? cbData : 0));
  // Text whose even count leaves out the terminator gets it when the two
  // bytes after the counted data are zero, as Windows stores it.
  const bool open = data.size() < 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0;
  if (lpData && preview::isStringType(dwType) && cbData % 2 == 0 && open && lpData[cbData] == 0 &&
      lpData[cbData + 1] == 0) {
    data.push_back(0);
    data.push_back(0);
  }
  const std::u16string name = lpValueName ? lpValueName : u"";
  preview::KeyEffect& e = preview::keyEffects()[k->key];
  e.values[preview::upper(name)] = preview::ValueEffect{true, name, dwType, std::move(data)};
  return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  auto k = resolve(hKey);
  if (!k) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (!(k->access & KEY_SET_VALUE)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
  // Whether the value is there, asked with the right to query, which the
  // deletion's key need not have.
  const std::u16string name = lpValueName ? lpValueName : u"";
  auto& values = preview::keyEffects()[k->key].values;
  if (auto v = values.find(preview::upper(name)); v != values.end()) {
    if (!v->second.present) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  } else {
    if (!k->backend) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    HKEY query = nullptr;
    if (LONG rc = qf_backend_RegOpenKeyExW(k->backend, u"", 0, KEY_QUERY_VALUE, &query)) return rc;
    DWORD size = 0;
    const LONG rc = qf_backend_RegQueryValueExW(query, lpValueName, nullptr, nullptr, nullptr, &size);
    (void)qf_backend_RegCloseKey(query);
    if (rc) return rc;
  }
  preview::keyEffects()[k->key].values[preview::upper(name)] = preview::ValueEffect{false, name, 0, {}};
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  auto parent = resolve(hKey);
  if (!parent) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Key key;
  if (LONG rc = preview::openKey(*parent, lpSubKey, preview::kDeleteRights, key)) return rc;
  // A key with subkeys is not deleted by RegDeleteKeyW.
  const bool hasSubkeys = !preview::subkeysOf(key).empty();
  preview::closeKey(key);
  if (hasSubkeys) return static_cast<LONG>(ERROR_ACCESS_DENIED);
  preview::deleteKeyTree(key.key);
  return ERROR_SUCCESS;
}

LONG SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) {
  auto parent = resolve(hKey);
  if (!parent) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  Key key;
  if (LONG rc = preview::openKey(*parent, pszSubKey, preview::kDeleteRights, key)) return rc;
  const LONG denied = preview::treeDenial(key);
  preview::closeKey(key);
  if (denied) {
    // The shell deletes the tree from below and stops at the key it cannot
    // delete: what it took before that is not known here.
    preview::markUnknown();
    return denied;
  }
  preview::deleteKeyTree(key.key);
  return ERROR_SUCCESS;
}

}  // namespace win
