// The preview layer's own state, shared by its files: the effects of the
// changing calls it answered (files, registry, services, processes), how
// paths and names are compared, and the report lines that cannot be known.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/preview/backend.h"
#include "platform/win32.h"

namespace preview {

// Names compared as Windows compares them: without regard to case (ASCII
// and the Latin-1 letters, as far as the program's names go).
std::u16string upper(std::u16string_view text);

// ---------------------------------------------------------------- files
// A drive path in one spelling: separators '\\', no doubled or trailing
// separator, upper case: the key of the file effects.
std::u16string pathKey(std::u16string_view path);
std::u16string parentOf(std::u16string_view path);  // "" for a drive root
std::u16string nameOf(std::u16string_view path);

struct FileEffect {
  bool present = false;  // false: removed (moved away)
  bool folder = false;
  std::u16string name;    // as written
  std::u16string origin;  // a moved item: where the backend still has it; empty when made here
  win::WIN32_FIND_DATAW data{};  // its record, for a listing
};

// What a path is after the effects.
struct Item {
  bool exists = false;
  win::DWORD error = 0;     // when it does not: 2 or 3
  bool folder = false;
  std::u16string backend;   // where the backend has it; empty when only the effects have it
  const FileEffect* effect = nullptr;  // the effect on the path itself, if any
};
Item findItem(std::u16string_view path);
void removeItem(std::u16string_view path);
void addItem(std::u16string_view path, FileEffect effect);
// The effects on the items directly in a folder (key -> effect).
std::vector<const FileEffect*> effectsIn(std::u16string_view folder);

// The code a move of the item would fail with (0: it would not): a file is
// opened for deletion with the sharing a move needs, a folder's files each.
win::DWORD moveDenial(const Item& item);

// ---------------------------------------------------------------- report lines
// Marks the report line being written as one whose outcome cannot be known.
void markUnknown();
void markRestart();
void noteBox(const char16_t* text);

// Each part's effects forgotten (forgetEffects calls them all).
void forgetFileEffects();
void forgetRegistryEffects();
void forgetKernelEffects();

}  // namespace preview
