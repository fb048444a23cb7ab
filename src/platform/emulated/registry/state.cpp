// The emulated registry's state for the current image (state.h): loading
// registry.reg, the handle table, the faults of machine.toml, and appending
// each change to the file.
#include "platform/emulated/registry/state.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/emulated/machine/append_file.h"
#include "platform/emulated/machine/host_error.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"

namespace emu::reg {
namespace {

struct Fault {
  std::u16string upperPath;  // canonical full path, upper-cased
  win::REGSAM access = 0;
  win::LONG code = 0;
};

}  // namespace

// The registry of the current image.
struct RegistryState {
  std::shared_ptr<Key> machine;  // none until registry.reg is read
  std::shared_ptr<Key> user;
  Encoding encoding = Encoding::Utf16le;  // a new file is written as regedit writes it
  bool fileHasHeader = false;
  std::vector<Fault> faults;
  std::map<std::size_t, OpenKey> handles;  // open handles by slot
};

namespace {
// Handle slots given so far, in any image: a slot is never given twice, so a
// stale handle stays invalid.
std::size_t slotsGiven = 0;
constexpr std::uintptr_t kHandleBase = 0x1000;  // handle values: base + 4 * slot, as Windows' are multiples of 4

std::filesystem::path regFile() { return image().root / "registry.reg"; }

// "HKEY_LOCAL_MACHINE\A\B" upper-cased, or empty for a path with an unknown root.
std::u16string canonicalUpper(std::u16string_view fullPath) {
  auto rooted = parseRootedPath(fullPath);
  if (!rooted) return {};
  std::u16string out(hiveName(rooted->hive));
  for (const auto& part : rooted->path) out += u"\\" + part;
  return upcased(out);
}

void loadFaults(RegistryState& state) {
  const auto* list = config()["fault"]["registry"].as_array();
  if (!list) return;
  for (const auto& node : *list) {
    const auto* table = node.as_table();
    if (!table) continue;
    auto key = (*table)["key"].value<std::string>();
    if (!key) continue;
    Fault f;
    f.upperPath = canonicalUpper(toUtf16(*key));
    f.access = static_cast<win::REGSAM>((*table)["access"].value_or<std::int64_t>(0));
    f.code = static_cast<win::LONG>((*table)["code"].value_or<std::int64_t>(win::ERROR_ACCESS_DENIED));
    if (!f.upperPath.empty()) state.faults.push_back(std::move(f));
  }
}

RegistryState& current() {
  RegistryState& state = partState(machine().registry);
  if (state.machine) return state;
  state.machine = makeRoot(u"HKEY_LOCAL_MACHINE");
  state.user = makeRoot(u"HKEY_CURRENT_USER");

  std::ifstream in(regFile(), std::ios::binary);
  if (in) {
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string raw = bytes.str();
    if (!raw.empty()) {
      RegText text = decodeRegFile(raw);
      state.encoding = text.encoding;
      state.fileHasHeader = true;
      if (const auto wrong = applyRegText(text.text, state.machine, state.user))
        refuseImage("the machine image's registry cannot be read: " + regFile().string() + ":" +
                    std::to_string(wrong->line) + ": " + wrong->what + ".");
    }
  }
  loadFaults(state);
  return state;
}

OpenKey* lookup(win::HKEY handle) {
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value < kHandleBase || (value - kHandleBase) % 4 != 0) return nullptr;
  auto& handles = partState(machine().registry).handles;
  const auto it = handles.find((value - kHandleBase) / 4);
  return it == handles.end() ? nullptr : &it->second;
}

}  // namespace

void loadRegistry() { current(); }

namespace {
// A newly chosen image's registry.reg is read before the program acts.
const ImageReader readRegistry(kReadRegistryStage, loadRegistry);
}  // namespace

bool isPredefined(win::HKEY handle) {
  return handle == win::HKEY_LOCAL_MACHINE || handle == win::HKEY_CURRENT_USER || handle == win::HKEY_CLASSES_ROOT;
}

std::shared_ptr<Key> root(Hive hive) { return hive == Hive::Machine ? current().machine : current().user; }

Path classesBase() { return {u"Software", u"Classes"}; }

std::shared_ptr<Key> classesCopy(Hive hive, const Path& path) { return findPath(root(hive), joined(classesBase(), path)); }

win::LONG resolve(win::HKEY handle, win::REGSAM needed, Resolved* out) {
  RegistryState& s = current();
  Resolved r;
  if (handle == win::HKEY_LOCAL_MACHINE || handle == win::HKEY_CURRENT_USER) {
    r.key = handle == win::HKEY_LOCAL_MACHINE ? s.machine : s.user;
    r.predefined = true;
    r.access = win::KEY_ALL_ACCESS;
  } else if (handle == win::HKEY_CLASSES_ROOT) {
    r.classes = true;
    r.predefined = true;
    r.access = win::KEY_ALL_ACCESS;
  } else {
    const OpenKey* open = lookup(handle);
    if (!open) return win::ERROR_INVALID_HANDLE;
    r.key = open->key;
    r.classes = open->classes;
    r.classesPath = open->classesPath;
    r.access = open->access;
  }
  // Windows checks the handle's granted access before it looks at the key.
  if ((r.access & needed) != needed) return win::ERROR_ACCESS_DENIED;
  if (r.classes) {
    r.user = classesCopy(Hive::User, r.classesPath);
    r.machine = classesCopy(Hive::Machine, r.classesPath);
    r.key = r.user ? r.user : r.machine;
    // The root of HKEY_CLASSES_ROOT always exists, even with no Classes key yet.
    if (!r.key && !r.classesPath.empty()) return win::ERROR_KEY_DELETED;
  } else if (r.key->deleted) {
    return win::ERROR_KEY_DELETED;
  }
  *out = std::move(r);
  return win::ERROR_SUCCESS;
}

win::HKEY newHandle(OpenKey key) {
  const std::size_t slot = slotsGiven++;
  partState(machine().registry).handles.emplace(slot, std::move(key));
  return reinterpret_cast<win::HKEY>(kHandleBase + 4 * slot);
}

bool closeHandle(win::HKEY handle) {
  if (!lookup(handle)) return false;
  partState(machine().registry).handles.erase((reinterpret_cast<std::uintptr_t>(handle) - kHandleBase) / 4);
  return true;
}

std::vector<const Key*> subkeysOf(const Resolved& r) {
  std::vector<const Key*> out;
  if (!r.classes || !r.user || !r.machine) {
    if (r.key)
      for (const auto& k : r.key->subkeys) out.push_back(k.get());
    return out;
  }
  const auto& a = r.user->subkeys;
  const auto& b = r.machine->subkeys;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i]->upper < b[j]->upper)) {
      out.push_back(a[i++].get());
    } else if (i == a.size() || b[j]->upper < a[i]->upper) {
      out.push_back(b[j++].get());
    } else {
      out.push_back(a[i++].get());  // in both: the HKCU copy is the one shown
      ++j;
    }
  }
  return out;
}

win::LONG faultFor(std::u16string_view fullPath, win::REGSAM access) {
  const RegistryState& s = current();
  if (s.faults.empty()) return 0;
  const std::u16string upper = canonicalUpper(fullPath);
  for (const auto& f : s.faults)
    if (f.upperPath == upper && (f.access & access) != 0) return f.code;
  return 0;
}

win::LONG deleteFaultInTree(const Key& key) {
  if (current().faults.empty()) return 0;
  if (win::LONG code = faultFor(keyPath(key), win::DELETE)) return code;
  for (const auto& sub : key.subkeys)
    if (win::LONG code = deleteFaultInTree(*sub)) return code;
  return 0;
}

win::DWORD record(std::u16string_view block) {
  RegistryState& s = current();
  std::string bytes;
  if (!s.fileHasHeader) {
    if (s.encoding == Encoding::Utf16le) bytes = "\xFF\xFE";
    bytes += encodeRegText(u"Windows Registry Editor Version 5.00\r\n", s.encoding);
  }
  bytes += encodeRegText(block, s.encoding);
  // Appended whole at once, so a process killed right after the call loses nothing.
  win::DWORD code = 0;
  if (const int e = appendToFile(regFile().string(), bytes)) {
    code = windowsErrorFromErrno(e);
    std::fprintf(stderr, "registry: cannot append to %s: %s (error %lu)\n", regFile().c_str(), std::strerror(e),
                 static_cast<unsigned long>(code));
  }
  // A file that could not be written may still lack its header.
  if (code == 0) s.fileHasHeader = true;
  return code;
}

Encoding fileEncoding() { return current().encoding; }

win::REGSAM normalizedAccess(win::REGSAM sam) {
  constexpr win::REGSAM kGenericRead = 0x80000000;
  constexpr win::REGSAM kGenericWrite = 0x40000000;
  constexpr win::REGSAM kGenericExecute = 0x20000000;
  constexpr win::REGSAM kGenericAll = 0x10000000;
  constexpr win::REGSAM kMaximumAllowed = 0x02000000;
  constexpr win::REGSAM kWow64Flags = 0x0300;  // KEY_WOW64_64KEY | KEY_WOW64_32KEY: a 32-bit view, no right
  win::REGSAM out = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kMaximumAllowed | kWow64Flags);
  if (sam & (kGenericRead | kGenericExecute)) out |= win::KEY_READ;
  if (sam & kGenericWrite) out |= win::KEY_WRITE;
  if (sam & (kGenericAll | kMaximumAllowed)) out |= win::KEY_ALL_ACCESS;
  return out;
}

}  // namespace emu::reg
