// The registry's key trees in memory (tree.h): finding, adding and removing
// keys and values without regard to the case of their names.
#include "platform/emulated/registry/tree.h"

#include <algorithm>

#include "platform/emulated/machine/text.h"

namespace emu::reg {
namespace {

// Position of the first subkey whose upper-cased name is not below `upper`.
std::vector<std::shared_ptr<Key>>::const_iterator lowerBound(const Key& key, const std::u16string& upper) {
  return std::lower_bound(key.subkeys.begin(), key.subkeys.end(), upper,
                          [](const std::shared_ptr<Key>& k, const std::u16string& u) { return k->upper < u; });
}

void markDeleted(Key& key) {
  key.deleted = true;
  for (auto& sub : key.subkeys) markDeleted(*sub);
}

}  // namespace

std::shared_ptr<Key> makeRoot(std::u16string_view name) {
  auto key = std::make_shared<Key>();
  key->name = name;
  key->upper = upcased(name);
  return key;
}

std::shared_ptr<Key> findSubkey(const Key& key, std::u16string_view name) {
  const std::u16string upper = upcased(name);
  auto it = lowerBound(key, upper);
  if (it != key.subkeys.end() && (*it)->upper == upper) return *it;
  return nullptr;
}

std::shared_ptr<Key> findPath(const std::shared_ptr<Key>& from, const Path& path) {
  std::shared_ptr<Key> key = from;
  for (const auto& name : path) {
    if (!key) break;
    key = findSubkey(*key, name);
  }
  return key;
}

std::shared_ptr<Key> createPath(const std::shared_ptr<Key>& from, const Path& path, bool* created) {
  *created = false;
  std::shared_ptr<Key> key = from;
  for (const auto& name : path) {
    const std::u16string upper = upcased(name);
    auto it = lowerBound(*key, upper);
    if (it != key->subkeys.end() && (*it)->upper == upper) {
      key = *it;
      continue;
    }
    auto sub = std::make_shared<Key>();
    sub->name = name;
    sub->upper = upper;
    sub->parent = key.get();
    key->subkeys.insert(it, sub);
    key = sub;
    *created = true;
  }
  return key;
}

void removeTree(Key& key) {
  if (Key* parent = key.parent) {
    auto it = lowerBound(*parent, key.upper);
    if (it != parent->subkeys.end() && it->get() == &key) parent->subkeys.erase(it);
    key.parent = nullptr;
  }
  markDeleted(key);
}

Value* findValue(Key& key, std::u16string_view name) {
  for (auto& v : key.values)
    if (equalNoCase(v.name, name)) return &v;
  return nullptr;
}

const Value& setValue(Key& key, std::u16string_view name, win::DWORD type, std::vector<win::BYTE> data) {
  Value* v = findValue(key, name);
  if (!v) {
    key.values.push_back(Value{std::u16string(name), type, {}});
    v = &key.values.back();
  }
  v->type = type;
  v->data = std::move(data);
  return *v;
}

bool deleteValue(Key& key, std::u16string_view name) {
  for (auto it = key.values.begin(); it != key.values.end(); ++it) {
    if (equalNoCase(it->name, name)) {
      key.values.erase(it);
      return true;
    }
  }
  return false;
}

std::u16string keyPath(const Key& key) {
  std::vector<const Key*> chain;
  for (const Key* k = &key; k; k = k->parent) chain.push_back(k);
  std::u16string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!out.empty()) out += u'\\';
    out += (*it)->name;
  }
  return out;
}

Path splitPath(std::u16string_view text) {
  Path out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'\\', start);
    if (end == std::u16string_view::npos) end = text.size();
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

Path joined(const Path& a, const Path& b) {
  Path out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

}  // namespace emu::reg
