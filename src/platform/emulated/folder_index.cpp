// Listing host folders once and keeping their names indexed.
#include "platform/emulated/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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

struct Indexes {
  std::unordered_map<std::string, FolderIndex> folders;
  std::size_t names = 0;
  std::uint64_t generation = 0;  // the image generation they were listed in
};

Indexes& indexes() {
  static Indexes all;
  return all;
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
  FolderIndex index;
  if (!dir) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    return index;  // a folder we may not list: it shows no names
  }
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
  }
  index.byName.resize(index.entries.size());
  for (std::uint32_t i = 0; i < index.byName.size(); ++i) index.byName[i] = i;
  std::stable_sort(index.byName.begin(), index.byName.end(), [&](std::uint32_t a, std::uint32_t b) {
    return upperName(index, index.entries[a]) < upperName(index, index.entries[b]);
  });
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

const FolderIndex* listedFolderIndex(const std::string& host) {
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
  const std::u16string upper = upcased(name);
  auto it = std::lower_bound(index.byName.begin(), index.byName.end(), upper, [&](std::uint32_t i, const auto& key) {
    return upperName(index, index.entries[i]) < std::u16string_view(key);
  });
  const FolderEntry* first = nullptr;
  std::string exact;
  for (; it != index.byName.end(); ++it) {
    const FolderEntry& e = index.entries[*it];
    if (upperName(index, e) != upper) break;
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
