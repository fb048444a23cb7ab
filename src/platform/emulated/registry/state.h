// The emulated registry's state for the current image: the key trees loaded
// from <image>/registry.reg, the table of open key handles, the injected
// faults of machine.toml, and the appending of each change to the file.
//
// Shared by the win:: key calls (keys.cpp) and value calls
// (values.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/registry/reg_file.h"
#include "platform/emulated/registry/tree.h"
#include "platform/win32.h"

namespace emu::reg {

// What an open handle refers to.
struct OpenKey {
  std::shared_ptr<Key> key;  // a key of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
  // A key opened through HKEY_CLASSES_ROOT is a view of the path below it,
  // composed afresh from HKCU\Software\Classes and HKLM\Software\Classes on
  // every call, as Windows composes it.
  bool classes = false;
  Path classesPath;
  win::REGSAM access = 0;
};

// A handle resolved for one call.
struct Resolved {
  std::shared_ptr<Key> key;      // the key whose values the call reads and writes; none: an empty HKCR root
  std::shared_ptr<Key> user;     // HKCR view: the HKCU\Software\Classes copy, if any
  std::shared_ptr<Key> machine;  // HKCR view: the HKLM\Software\Classes copy, if any
  bool classes = false;
  Path classesPath;
  bool predefined = false;       // one of the predefined root handles
  win::REGSAM access = 0;
};

// Reads registry.reg when it has not been read since the image was chosen
// (useImage has it called): a line that cannot be read refuses the image, naming
// the file, the line and what is wrong.
void loadRegistry();

// Looks a handle up and checks that it grants every right in `needed`.
// ERROR_INVALID_HANDLE for an unknown handle, ERROR_ACCESS_DENIED for a
// missing right, ERROR_KEY_DELETED when its key has been removed.
[[nodiscard]] win::LONG resolve(win::HKEY handle, win::REGSAM needed, Resolved* out);
win::HKEY newHandle(OpenKey key);
// False for a handle that is not open (predefined roots are handled by the caller).
bool closeHandle(win::HKEY handle);
bool isPredefined(win::HKEY handle);

std::shared_ptr<Key> root(Hive hive);
// The keys below HKEY_CLASSES_ROOT at `path`: the HKCU and HKLM copies.
std::shared_ptr<Key> classesCopy(Hive hive, const Path& path);
Path classesBase();  // {"Software", "Classes"}

// The subkeys a handle enumerates, in enumeration order. For an HKCR view the
// two copies are merged without duplicates, the HKCU copy's name winning.
std::vector<const Key*> subkeysOf(const Resolved& r);

// The injected fault code for opening `fullPath` with `access`, or 0.
win::LONG faultFor(std::u16string_view fullPath, win::REGSAM access);
// The injected fault code for deleting the tree at `key` (DELETE refused on
// it or on any key below it), or 0.
win::LONG deleteFaultInTree(const Key& key);

// Appends one change block to registry.reg (creating the file with its
// header first when there is none) and hands it to the system at once.
// Returns 0, or the Windows code of the host's failure, which is reported on
// stderr: the registry calls still succeed, as on Windows, where the change
// is made in memory and the hive file written later, so that a failed write
// fails no registry call.
win::DWORD record(std::u16string_view block);
Encoding fileEncoding();

// REGSAM as a handle keeps it: generic rights mapped, WOW64 flags dropped.
win::REGSAM normalizedAccess(win::REGSAM sam);

}  // namespace emu::reg
