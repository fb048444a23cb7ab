// Deciding whether an item is locked or denied (item_access.h): the faults of
// machine.toml and the files held open by the runtime's streams.
#include "platform/emulated/files/item_access.h"

#include <vector>

#include "platform/emulated/files/runtime_files.h"
#include "platform/emulated/machine/machine.h"

namespace emu {
namespace {

// The first [[fault.file]] entry, in the order machine.toml lists them, for
// which `applies` holds; none when no entry does.
template <typename Applies>
const FileFault* firstFault(Applies applies) {
  for (const FileFault& fault : machine().saved.fileFaults)
    if (fault.path && applies(*fault.path)) return &fault;
  return nullptr;
}

// The fault on exactly this item.
const FileFault* faultOn(const WindowsPath& path) {
  return firstFault([&](const WindowsPath& at) {
    return at.components.size() == path.components.size() && sameOrInside(at, path);
  });
}

// The first fault on this item or anything below it.
const FileFault* faultWithin(const WindowsPath& path) {
  return firstFault([&](const WindowsPath& at) { return sameOrInside(at, path); });
}

}  // namespace

win::DWORD itemDenial(const WindowsPath& path, const std::filesystem::path& host, ItemAccess access) {
  switch (access) {
    case ItemAccess::Open:
      if (const FileFault* fault = faultOn(path)) return fault->code;
      return 0;
    case ItemAccess::Attributes:
      if (const FileFault* fault = faultOn(path); fault && !fault->attributes) return fault->code;
      return 0;
    case ItemAccess::Move:
      if (const FileFault* fault = faultWithin(path)) return fault->code;
      return heldOpenWithin(host);
  }
  return 0;
}

bool endFileFaultsAtBoot() {
  std::vector<FileFault>& faults = machine().saved.fileFaults;
  return std::erase_if(faults, [](const FileFault& f) { return f.untilBoot; }) > 0;
}

}  // namespace emu
