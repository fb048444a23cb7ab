// The emulated registry's keys and values in memory: two trees, one for
// HKEY_LOCAL_MACHINE and one for HKEY_CURRENT_USER.
//
// Names keep the case they were created with and are looked up without regard
// to case. Subkeys are kept sorted by their upper-cased names, the order a
// hive keeps and RegEnumKeyExW shows; values keep their creation order, the
// order RegEnumValueW shows (setting an existing value keeps its place).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace emu::reg {

struct Value {
  std::u16string name;  // empty: the key's default value
  win::DWORD type = win::REG_NONE;
  std::vector<win::BYTE> data;  // exactly the bytes stored, no terminator added
};

struct Key {
  std::u16string name;   // as first written
  std::u16string upper;  // upper-cased name: the sort and lookup key
  Key* parent = nullptr; // none for the two roots
  bool deleted = false;  // set when the key is removed; open handles then see ERROR_KEY_DELETED
  std::vector<std::shared_ptr<Key>> subkeys;  // sorted by `upper`
  std::vector<Value> values;                  // in creation order
};

using Path = std::vector<std::u16string>;

std::shared_ptr<Key> makeRoot(std::u16string_view name);

// The subkey of that name, or none.
std::shared_ptr<Key> findSubkey(const Key& key, std::u16string_view name);
// The key at `path` below `from` (`from` itself for an empty path), or none.
std::shared_ptr<Key> findPath(const std::shared_ptr<Key>& from, const Path& path);
// Like findPath, creating the missing keys; `created` tells whether any was.
std::shared_ptr<Key> createPath(const std::shared_ptr<Key>& from, const Path& path, bool* created);
// Detaches a key from its parent and marks it and every key below it deleted.
void removeTree(Key& key);

Value* findValue(Key& key, std::u16string_view name);
// Sets a value, keeping the place (and the name's case) of an existing one.
// Returns the stored value.
const Value& setValue(Key& key, std::u16string_view name, win::DWORD type, std::vector<win::BYTE> data);
bool deleteValue(Key& key, std::u16string_view name);

// The key's full path from its root ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
std::u16string keyPath(const Key& key);
// Splits a subkey path at backslashes, dropping empty components (a trailing
// backslash, doubled separators).
Path splitPath(std::u16string_view text);
Path joined(const Path& a, const Path& b);

}  // namespace emu::reg
