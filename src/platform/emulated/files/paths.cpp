// Windows paths on the emulated drives (paths.h): looking names up without
// regard to case through the folder indexes.
#include "platform/emulated/files/paths.h"

#include <sys/stat.h>

#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"

namespace emu {
namespace fs = std::filesystem;

namespace {
constexpr std::uint32_t kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kPathNotFound = 3;  // ERROR_PATH_NOT_FOUND
}  // namespace

bool isValidName(std::u16string_view name, bool wildcards) {
  for (char16_t c : name) {
    if (c < 32) return false;
    switch (c) {
      case u'<': case u'>': case u':': case u'"': case u'|': case u'/': case u'\\':
        return false;
      case u'*': case u'?':
        if (!wildcards) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

fs::path driveRoot(char16_t drive) {
  std::string name = "drive_";
  name.push_back(static_cast<char>(upcase(drive) - u'A' + 'a'));
  return image().root / name;
}

// The host folders of the drives as text, kept per image: every lookup starts there.
struct DriveRoots {
  std::string text[26];
};

namespace {
const std::string& driveRootText(char16_t drive) {
  std::string& root = partState(machine().driveRoots).text[(upcase(drive) - u'A') % 26];
  if (root.empty()) root = driveRoot(drive).native();
  return root;
}

enum class HostItem { None, File, Folder };

// What the host holds at `host`. A symbolic link counts as what it points at
// (a dangling one as a file), as the host's folder checks take it.
HostItem hostItem(const std::string& host) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return HostItem::None;
  if (S_ISLNK(st.st_mode)) {
    struct stat target {};
    return ::stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode) ? HostItem::Folder : HostItem::File;
  }
  return S_ISDIR(st.st_mode) ? HostItem::Folder : HostItem::File;
}

void appendName(std::string& host, std::string_view name) {
  host += '/';
  host += name;
}
void appendName(std::string& host, std::u16string_view name) {
  host += '/';
  appendUtf8(host, name);
}

// Resolves the components of `path` from `depth` on, below the listed folder
// `host` that holds its first `depth` components.
Lookup walkDown(const WindowsPath& path, std::size_t depth, std::string host, const FolderIndex* index) {
  const std::size_t n = path.components.size();
  for (std::size_t i = depth; i < n; ++i) {
    const bool last = i + 1 == n;
    const FolderEntry* entry = index ? findEntry(*index, path.components[i]) : nullptr;
    if (!entry) return {std::nullopt, last ? kFileNotFound : kPathNotFound};
    const bool folder = entry->folder;
    appendName(host, hostName(*index, *entry));
    if (last) return {fs::path(host), 0, folder};
    // Everything before the last component must be a folder.
    if (!folder) return {std::nullopt, kPathNotFound};
    index = folderIndex(host);
  }
  return {fs::path(host), 0, true};
}
}  // namespace

namespace {
// `exact` is the host path as written (writtenHostPath).
Lookup lookUpFrom(const WindowsPath& path, const std::string& exact, bool askExact) {
  const std::string& root = driveRootText(path.drive);
  const std::size_t n = path.components.size();
  if (n == 0) {
    if (hostItem(root) != HostItem::Folder) return {std::nullopt, kPathNotFound};
    return {fs::path(root), 0, true};
  }
  // Where each folder of the path ends: names hold no '/'.
  std::vector<std::size_t> ends{root.size()};
  ends.reserve(n + 1);
  for (std::size_t at = exact.find('/', root.size() + 1); at != std::string::npos; at = exact.find('/', at + 1))
    ends.push_back(at);
  ends.push_back(exact.size());
  auto prefix = [&](std::size_t depth) { return exact.substr(0, ends[depth]); };
  // The deepest folder on the way, written in its own case, that is listed
  // already. A listed parent answers from memory; so does a listed
  // grandparent that holds no folder of the parent's name.
  std::size_t depth = n;
  const FolderIndex* index = nullptr;
  for (std::size_t j = n; j-- > 0 && !index;) {
    index = listedFolderIndex(std::string_view(exact).substr(0, ends[j]));
    depth = j;
  }
  if (index && depth + 1 == n) return walkDown(path, depth, prefix(depth), index);
  if (index && depth + 2 == n) {
    const FolderEntry* parent = findEntry(*index, path.components[depth]);
    if (!parent || !parent->folder) return {std::nullopt, kPathNotFound};
  }
  // Most paths are written with the case they were created with: one stat of
  // the whole host path answers them. The host cannot hold a name below a
  // file, so an existing exact path also satisfies "every component before
  // the last is a folder".
  if (askExact) {
    if (const HostItem item = hostItem(exact); item != HostItem::None) return {fs::path(exact), 0, item == HostItem::Folder};
  }
  // Another case of the name, or no such item: the nearest folder on the way
  // that exists as written answers, walked down from; failing all, the
  // deepest listed one (looked up again: listing may have dropped the
  // indexes), or the drive root.
  const std::size_t listed = index ? depth : 0;
  for (std::size_t j = n - 1; j > listed; --j) {
    if (const FolderIndex* folder = folderIndex(prefix(j))) return walkDown(path, j, prefix(j), folder);
  }
  if (index && (index = listedFolderIndex(std::string_view(exact).substr(0, ends[depth]))))
    return walkDown(path, depth, prefix(depth), index);
  const FolderIndex* rootIndex = folderIndex(root);
  if (!rootIndex) return {std::nullopt, kPathNotFound};
  return walkDown(path, 0, root, rootIndex);
}

}  // namespace

Lookup lookUp(const WindowsPath& path) {
  catchUpWithHost();
  return lookUpFrom(path, writtenHostPath(path), true);
}

// The caller asked answeredFromMemory first, which has caught up with the host.
Lookup lookUpOtherCase(const WindowsPath& path, const std::string& written) {
  return lookUpFrom(path, written, false);
}

std::optional<fs::path> findHostPath(const WindowsPath& path) { return lookUp(path).host; }

std::string writtenHostPath(const WindowsPath& path) {
  std::string host = driveRootText(path.drive);
  for (const auto& c : path.components) appendName(host, c);
  return host;
}

bool answeredFromMemory(const WindowsPath& path, std::string_view written) {
  // As lookUp decides: a listed parent answers, and so does a listed
  // grandparent without a folder of the parent's name. Names hold no '/', so
  // the folders on the way are prefixes of the written path.
  const std::size_t n = path.components.size();
  if (n == 0) return false;
  catchUpWithHost();
  const std::string_view parent = written.substr(0, written.rfind('/'));
  if (n == 1) return listedFolderIndex(parent) != nullptr;  // the drive root is the parent
  const std::string_view grandparent = parent.substr(0, parent.rfind('/'));
  if (listedFolderIndex(parent)) return true;
  const FolderIndex* index = listedFolderIndex(grandparent);
  if (!index) return false;
  const FolderEntry* entry = findEntry(*index, path.components[n - 2]);
  return !entry || !entry->folder;
}

fs::path hostPathFor(const WindowsPath& path) {
  catchUpWithHost();
  std::string cur = driveRootText(path.drive);
  const FolderIndex* index = folderIndex(cur);
  std::size_t i = 0;
  for (; index && i < path.components.size(); ++i) {
    const FolderEntry* entry = findEntry(*index, path.components[i]);
    if (!entry) break;
    const bool folder = entry->folder;
    appendName(cur, hostName(*index, *entry));
    index = folder ? folderIndex(cur) : nullptr;
  }
  // Below a missing folder or a file, the rest is named as written.
  for (; i < path.components.size(); ++i) appendName(cur, path.components[i]);
  return cur;
}

}  // namespace emu
