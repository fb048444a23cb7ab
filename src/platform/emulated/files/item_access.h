// Whether an item of the emulated drives may be reached the way a call asks:
// the one place that answers "locked or denied" for every file call, from
// the [[fault.file]] entries of machine.toml and the files this process
// holds open.
#pragma once

#include <filesystem>

#include "platform/emulated/files/paths.h"
#include "platform/win32.h"

namespace emu {

enum class ItemAccess {
  // Opening the item (_wfopen, fopen): a fault on the item itself denies it.
  Open,
  // Querying its attributes or listing it (GetFileAttributes[Ex]W, a search
  // in the folder): only a fault that says `attributes = false` denies it.
  Attributes,
  // Moving it, or replacing it by a move: a fault on the item or on anything
  // below it denies it (a folder that holds a locked file cannot be moved),
  // and so does a file at or below it that this process holds open.
  Move,
};

// The Windows code the access fails with, or 0 when it is allowed. `host` is
// the item's host path (only a move asks it).
[[nodiscard]] win::DWORD itemDenial(const WindowsPath& path, const std::filesystem::path& host, ItemAccess access);

// At boot: drops the [[fault.file]] entries marked `until_boot` (a file held
// open by a process that the restart ends). Whether any was dropped; the
// caller saves machine.toml.
bool endFileFaultsAtBoot();

}  // namespace emu
