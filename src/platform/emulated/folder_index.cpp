// Listing host folders once and keeping their names indexed.
#include "platform/emulated/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <unordered_map>

#include "platform/emulated/image.h"
#include "platform/emulated/text.h"

namespace emu {
namespace {

// Beyond this many names in all, the indexes are dropped before another
// folder is added: the memory they take stays bounded however many folders a
// scan walks through.
constexpr std::size_t kMostIndexedNames = 100000;

// Host paths hashed as views, so that a path's folders can be looked up
// without copying each prefix.
struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct Indexes {
  std::unordered_map<std::string, FolderIndex, PathHash, std::equal_to<>> folders;
  std::size_t names = 0;
  std::uint64_t generation = 0;  // the image generation they were listed in
};

Indexes& indexes() {
  static Indexes all;
  return all;
}

// FNV-1a over the code units.
std::uint32_t nameHash(std::u16string_view upper) {
  std::uint32_t h = 2166136261u;
  for (char16_t c : upper) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

// Whether a listed entry is a folder. The host's own answer where it gives
// one; a symbolic link counts as what it points to, as the host's folder
// checks take it.
bool entryIsFolder(DIR* dir, const dirent& e) {
  if (e.d_type == DT_DIR) return true;
  if (e.d_type != DT_LNK && e.d_type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(::dirfd(dir), e.d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

std::optional<FolderIndex> listFolder(const std::string& host) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(host.c_str()));
  if (!dir) return std::nullopt;
  FolderIndex index;
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    const std::u16string upper = upcased(toUtf16(name));
    FolderEntry entry;
    entry.hostOffset = static_cast<std::uint32_t>(index.hostNames.size());
    entry.hostLength = static_cast<std::uint16_t>(name.size());
    entry.upperOffset = static_cast<std::uint32_t>(index.upperNames.size());
    entry.upperLength = static_cast<std::uint16_t>(upper.size());
    entry.folder = entryIsFolder(dir.get(), *e);
    index.hostNames += name;
    index.upperNames += upper;
    index.entries.push_back(entry);
    index.hashes.push_back(nameHash(upper));
  }
  index.hostNames.shrink_to_fit();
  index.upperNames.shrink_to_fit();
  return index;
}
}  // namespace

namespace {
// The indexes of the current image (those of an image switched away from are dropped).
Indexes& currentIndexes() {
  Indexes& all = indexes();
  if (all.generation != image().generation) {
    forgetFolderIndexes();
    all.generation = image().generation;
  }
  return all;
}
}  // namespace

const FolderIndex* listedFolderIndex(std::string_view host) {
  Indexes& all = currentIndexes();
  auto it = all.folders.find(host);
  return it == all.folders.end() ? nullptr : &it->second;
}

const FolderIndex* folderIndex(const std::string& host) {
  if (const FolderIndex* known = listedFolderIndex(host)) return known;
  Indexes& all = indexes();
  std::optional<FolderIndex> listed = listFolder(host);
  if (!listed) return nullptr;
  if (all.names + listed->entries.size() > kMostIndexedNames) forgetFolderIndexes();
  all.names += listed->entries.size();
  return &all.folders.emplace(host, std::move(*listed)).first->second;
}

const FolderEntry* findEntry(const FolderIndex& index, std::u16string_view name) {
  // A folder is looked up a few times between two changes: a pass over its
  // hashes costs less than keeping its names sorted or hashed in a table.
  const std::u16string upper = upcased(name);
  const std::uint32_t hash = nameHash(upper);
  const FolderEntry* first = nullptr;
  std::string exact;
  for (std::size_t i = 0; i < index.hashes.size(); ++i) {
    if (index.hashes[i] != hash) continue;
    const FolderEntry& e = index.entries[i];
    if (upperName(index, e) != upper) continue;
    if (!first) {
      first = &e;
      exact = toUtf8(name);
    }
    if (hostName(index, e) == exact) return &e;
  }
  return first;
}

void forgetFolderIndexes() {
  Indexes& all = indexes();
  all.folders.clear();
  all.names = 0;
}

}  // namespace emu
