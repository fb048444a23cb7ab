// The listed folders of the emulated drives, each with its names indexed the
// way NTFS finds them (upper-cased, code unit by code unit), so that looking a
// name up in any case, or learning that no case of it exists, costs no host
// call once the folder has been listed.
//
// An index follows its folder: the calls of the seam that change a drive
// note each change they make, and every listed folder is watched with
// inotify, so that a change made beside the machine (a test planting files,
// another host process) is applied before the next lookup answers. The
// queue is read only once SIGIO has told that it holds something. A change
// not known precisely drops every index, and so does switching or reloading
// the image; nothing is kept from one run to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

struct FolderEntry {
  std::uint32_t hostOffset = 0;   // the name as the host holds it (bytes)
  std::uint32_t upperOffset = 0;  // the name in UTF-16, upper-cased
  std::uint16_t hostLength = 0;
  std::uint16_t upperLength = 0;
  bool folder = false;
};

struct FolderIndex {
  std::string hostNames;             // every entry's host name, one after another
  std::u16string upperNames;         // every entry's upper-cased UTF-16 name
  std::vector<FolderEntry> entries;  // in the host's listing order, without "." and ".."
};

inline std::string_view hostName(const FolderIndex& index, const FolderEntry& e) {
  return std::string_view(index.hostNames).substr(e.hostOffset, e.hostLength);
}
inline std::u16string_view upperName(const FolderIndex& index, const FolderEntry& e) {
  return std::u16string_view(index.upperNames).substr(e.upperOffset, e.upperLength);
}

// The index of the host folder `host`, listed on first use. None when `host`
// cannot be listed: missing, a file, or a folder the host does not let us
// list (its names are then found only as written, never kept).
const FolderIndex* folderIndex(const std::string& host);
// The index of `host` if it is listed already; none otherwise (nothing is listed).
const FolderIndex* listedFolderIndex(std::string_view host);

// The entry named `name` in any case: the one written exactly so if there is
// one, else the first the host lists.
const FolderEntry* findEntry(const FolderIndex& index, std::u16string_view name);

// Keeping the indexes true to the drives. Every call that changes a drive
// reports each change it made on the host, right after making it:
//   noteAdded     an item created at `host` (a new name in its folder);
//   noteRemoved   the item at `host` gone (moved away or removed); answers
//                 whether its folder's index knew it as a folder;
//   forgetFolderIndexes  anything else, or a change not known precisely
//                 (a failure half-way, a merge): every index is dropped.
// Indexes of `host` itself and of folders below it are dropped by both notes.
// Applies what the host has told of changes to listed folders since the last
// call (made by anyone: this program through the seam, or a test planting
// files beside it). Called first by every lookup.
void catchUpWithHost();
void noteAdded(const std::string& host, bool folder);
std::optional<bool> noteRemoved(const std::string& host);
void forgetFolderIndexes();

}  // namespace emu
