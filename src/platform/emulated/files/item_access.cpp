// Deciding whether an item is locked or denied (item_access.h): the faults of
// machine.toml and the files held open by the runtime's streams.
#include "platform/emulated/files/item_access.h"

#include <cstdint>
#include <optional>
#include <string>

#include "platform/emulated/files/runtime_files.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

// A [[fault.file]] entry of machine.toml: the item is locked or denied.
struct FileFault {
  win::DWORD code = 0;     // the error opening or moving the item fails with
  bool attributes = true;  // attribute queries and listings still work
};

// The first entry, in the order machine.toml lists them, for which `applies`
// holds; none when no entry does.
template <typename Applies>
std::optional<FileFault> firstFault(Applies applies) {
  const toml::array* faults = config()["fault"]["file"].as_array();
  if (!faults) return std::nullopt;
  for (const auto& node : *faults) {
    const toml::table* t = node.as_table();
    if (!t) continue;
    auto text = (*t)["path"].value<std::string>();
    if (!text) continue;
    auto at = parseWindowsPath(toUtf16(*text));
    if (!at || !applies(*at)) continue;
    FileFault fault;
    fault.code = static_cast<win::DWORD>((*t)["code"].value_or<std::int64_t>(win::ERROR_SHARING_VIOLATION));
    fault.attributes = (*t)["attributes"].value_or(true);
    return fault;
  }
  return std::nullopt;
}

// The fault on exactly this item.
std::optional<FileFault> faultOn(const WindowsPath& path) {
  return firstFault([&](const WindowsPath& at) {
    return at.components.size() == path.components.size() && sameOrInside(at, path);
  });
}

// The first fault on this item or anything below it.
std::optional<FileFault> faultWithin(const WindowsPath& path) {
  return firstFault([&](const WindowsPath& at) { return sameOrInside(at, path); });
}

}  // namespace

win::DWORD itemDenial(const WindowsPath& path, const std::filesystem::path& host, ItemAccess access) {
  switch (access) {
    case ItemAccess::Open:
      if (auto fault = faultOn(path)) return fault->code;
      return 0;
    case ItemAccess::Attributes:
      if (auto fault = faultOn(path); fault && !fault->attributes) return fault->code;
      return 0;
    case ItemAccess::Move:
      if (auto fault = faultWithin(path)) return fault->code;
      return heldOpenWithin(host);
  }
  return 0;
}

bool endFileFaultsAtBoot() {
  toml::array* faults = config()["fault"]["file"].as_array();
  if (!faults) return false;
  bool ended = false;
  for (auto it = faults->begin(); it != faults->end();) {
    const toml::table* t = it->as_table();
    if (t && (*t)["until_boot"].value_or(false)) {
      it = faults->erase(it);
      ended = true;
    } else {
      ++it;
    }
  }
  return ended;
}

}  // namespace emu
