// FindFirstFileW / FindNextFileW / FindClose on the emulated drives (declared
// in win32.h), with Windows' wildcard rules (wildcard.h) for the last
// component of the search path.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/emulated/files/files.h"
#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/files/item_access.h"
#include "platform/emulated/files/wildcard.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"

namespace emu {
// The open searches of the current image, by id.
struct FileSearches {
  struct Search {
    std::vector<win::WIN32_FIND_DATAW> entries;
    std::size_t next = 0;
  };
  std::map<std::uintptr_t, Search> open;
};
}  // namespace emu

namespace win {
namespace {
using Search = emu::FileSearches::Search;
std::map<std::uintptr_t, Search>& searchesOpen() { return emu::partState(emu::machine().fileSearches).open; }
std::uintptr_t lastSearchId = 0x4000;  // ids are never given twice, so a stale handle stays invalid

WIN32_FIND_DATAW findData(std::u16string_view name, const emu::ItemInfo& info) {
  WIN32_FIND_DATAW d{};
  emu::fillRecord(d, info);
  name.copy(d.cFileName, std::min<std::size_t>(name.size(), MAX_PATH - 1));
  // No 8.3 short names on the emulated drives: cAlternateFileName stays empty.
  return d;
}

// The entries of `folder` that match `pattern`: "." and ".." first (not at a
// drive root), then the rest in NTFS order (names upper-cased, code unit by
// code unit). Sets `error` when the search cannot start.
std::vector<WIN32_FIND_DATAW> listFolder(LPCWSTR lpFileName, DWORD& error) {
  auto path = emu::parseWindowsPath(lpFileName ? lpFileName : u"");
  if (!path) {
    error = ERROR_PATH_NOT_FOUND;
    return {};
  }
  if (path->components.empty() || path->trailingSeparator) {
    // "C:\dir\" names no entry to look for (Windows fails it, as it fails "C:\").
    emu::Lookup folder = emu::lookUp(*path);
    error = folder.host ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return {};
  }
  const std::u16string pattern = path->components.back();
  emu::WindowsPath folder = *path;
  folder.components.pop_back();
  for (const auto& c : folder.components) {
    if (!emu::isValidName(c, false)) {
      error = ERROR_INVALID_NAME;
      return {};
    }
  }
  if (!emu::isValidName(pattern, true)) {
    error = ERROR_INVALID_NAME;
    return {};
  }
  emu::Lookup found = emu::lookUp(folder);
  if (!found.host) {
    error = ERROR_PATH_NOT_FOUND;
    return {};
  }
  if (!found.folder) {
    error = ERROR_DIRECTORY;
    return {};
  }
  if (DWORD denied = emu::itemDenial(folder, *found.host, emu::ItemAccess::Attributes)) {
    error = denied;
    return {};
  }
  std::vector<WIN32_FIND_DATAW> dots;
  if (!folder.components.empty()) {
    emu::WindowsPath parent = folder;
    parent.components.pop_back();
    // The folder was found through its real host names, so its host parent
    // is the parent's host folder.
    const std::filesystem::path parentHost = found.host->parent_path();
    const std::tuple<std::u16string_view, const emu::WindowsPath*, const std::filesystem::path*> dotEntries[] = {
        {u".", &folder, &*found.host}, {u"..", &parent, &parentHost}};
    for (const auto& [name, of, host] : dotEntries) {
      if (!emu::wildcardMatches(pattern, name)) continue;
      if (auto info = emu::itemInfo(*host, *of)) dots.push_back(findData(name, *info));
    }
  }
  std::vector<WIN32_FIND_DATAW> rest;
  // A pattern without wildcards names one entry; NTFS answers it from the
  // folder's index instead of listing the folder, and so do we. Patterns
  // ending in a dot or a blank keep the general path (they are rewritten).
  const bool plainName = pattern.find_first_of(u"*?<>\"") == std::u16string::npos && pattern != u"." &&
                         pattern != u".." && !pattern.empty() && pattern.back() != u'.' && pattern.back() != u' ';
  if (plainName) {
    emu::WindowsPath child = folder;
    child.components.push_back(pattern);
    emu::Lookup one = emu::lookUp(child);
    if (one.host) {
      const std::u16string name = emu::toUtf16(one.host->filename().string());
      if (auto info = emu::itemInfo(*one.host, emu::childPath(folder, name))) rest.push_back(findData(name, *info));
    }
  }
  if (!plainName) {
    // The folder's names from its index; matching the upper-cased names
    // answers as matching the names would, since matching ignores case.
    const std::u16string expression = emu::ntExpression(pattern);
    const std::string folderHost = found.host->native();
    const emu::FolderIndex* index = emu::folderIndex(folderHost);
    for (std::size_t i = 0; index && i < index->entries.size(); ++i) {
      const emu::FolderEntry& entry = index->entries[i];
      if (!emu::expressionMatches(expression, emu::upperName(*index, entry))) continue;
      const std::string_view hostName = emu::hostName(*index, entry);
      const std::u16string name = emu::toUtf16(hostName);
      std::string host = folderHost;
      host += '/';
      host += hostName;
      if (auto info = emu::itemInfo(host, emu::childPath(folder, name))) rest.push_back(findData(name, *info));
    }
  }
  std::sort(rest.begin(), rest.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    return emu::compareNoCase(a.cFileName, b.cFileName) < 0;
  });
  dots.insert(dots.end(), rest.begin(), rest.end());
  if (dots.empty()) error = ERROR_FILE_NOT_FOUND;
  return dots;
}
}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto code = emu::injectedFailure("FindFirstFileW")) return emu::failedWith<HANDLE>(*code, INVALID_HANDLE_VALUE);
  DWORD error = 0;
  std::vector<WIN32_FIND_DATAW> entries = listFolder(lpFileName, error);
  if (entries.empty()) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = entries.front();
  const std::uintptr_t id = (lastSearchId += 4);
  searchesOpen()[id] = Search{std::move(entries), 1};
  return reinterpret_cast<HANDLE>(id);
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto code = emu::injectedFailure("FindNextFileW")) return emu::failedWith<BOOL>(*code, FALSE);
  std::map<std::uintptr_t, Search>& searches = searchesOpen();
  auto it = searches.find(reinterpret_cast<std::uintptr_t>(hFindFile));
  if (it == searches.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Search& s = it->second;
  if (s.next >= s.entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = s.entries[s.next++];
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (auto code = emu::injectedFailure("FindClose")) return emu::failedWith<BOOL>(*code, FALSE);
  if (searchesOpen().erase(reinterpret_cast<std::uintptr_t>(hFindFile)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace win
