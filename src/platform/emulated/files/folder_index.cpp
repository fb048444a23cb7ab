// Listing host folders once and keeping their names indexed.
#include "platform/emulated/files/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <unordered_map>

#include "platform/emulated/machine/folder_entries.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"

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

// The host tells of every change to a listed folder, whoever makes it: one
// inotify instance for the process, kept across images.
struct HostWatch {
  int notify = -1;                           // the inotify instance; -1 when the host offers none
  bool notifyTried = false;
  bool signalled = false;  // the instance raises SIGIO when it has something to tell
};
HostWatch hostWatch;
}  // namespace

// The listed folders of the current image.
struct FolderIndexes {
  std::unordered_map<std::string, FolderIndex, PathHash, std::equal_to<>> folders;
  std::size_t names = 0;
  std::unordered_map<int, std::string> watched;  // watch descriptor -> listed folder
  FolderIndex unkept;  // a folder listed without a watch: good for the call that listed it only
};

namespace {

// Set by SIGIO when the inotify instance has queued a change, cleared before
// the queue is read: while it stays clear, a lookup asks the host nothing.
// A change made by this thread (a test planting a file) raises the signal
// before the call that made it returns, so the next lookup sees it.
volatile std::sig_atomic_t hostTold = 1;
extern "C" void onHostTold(int) { hostTold = 1; }

// Asks the host to signal queued changes. False when it will not; the queue
// is then read at every lookup.
bool signalChanges(int notify) {
  struct sigaction action {};
  action.sa_handler = onHostTold;
  action.sa_flags = SA_RESTART;  // interrupted host calls carry on
  sigemptyset(&action.sa_mask);
  if (::sigaction(SIGIO, &action, nullptr) != 0) return false;
  if (::fcntl(notify, F_SETOWN, ::getpid()) != 0) return false;
  const int flags = ::fcntl(notify, F_GETFL);
  return flags >= 0 && ::fcntl(notify, F_SETFL, flags | O_ASYNC) == 0;
}

constexpr std::uint32_t kWatchedChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

FolderIndexes& indexes() { return partState(machine().folderIndexes); }

// An open host folder, closed when it goes.
struct FolderHandle {
  int fd = -1;
  explicit FolderHandle(int f) : fd(f) {}
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  ~FolderHandle() {
    if (fd >= 0) ::close(fd);
  }
};

// Whether a listed entry is a folder. The host's own answer where it gives
// one; a symbolic link counts as what it points to, as the host's folder
// checks take it.
bool entryIsFolder(int folder, unsigned char type, const char* name) {
  if (type == DT_DIR) return true;
  if (type != DT_LNK && type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(folder, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

void addEntry(FolderIndex& index, std::string_view name, bool folder) {
  const std::u16string utf16 = toUtf16(name);
  const std::u16string upper = upcased(utf16);
  FolderEntry entry;
  entry.hostOffset = static_cast<std::uint32_t>(index.hostNames.size());
  entry.hostLength = static_cast<std::uint16_t>(name.size());
  entry.upperOffset = static_cast<std::uint32_t>(index.upperNames.size());
  entry.upperLength = static_cast<std::uint16_t>(upper.size());
  entry.folder = folder;
  index.hostNames += name;
  index.upperNames += upper;
  index.entries.push_back(entry);
}

// Lists a folder. With an inotify instance, the folder is watched before it
// is opened: a change made while it is read is told afterwards (telling it
// again does no harm), and none goes untold. Were the folder replaced between
// the two calls, the watch would tell of the one it watched going away, and
// the listing would be dropped.
std::optional<FolderIndex> listFolder(const std::string& host, int notify, int& watch) {
  // Watched by its path: the host walks a long path faster than the magic
  // link of an open handle (/proc/self/fd/N).
  watch = notify >= 0 ? ::inotify_add_watch(notify, host.c_str(), kWatchedChanges) : -1;
  // Nothing there, or not a folder: the watch has said so (IN_ONLYDIR). Any
  // other refusal (no watches left) still lets the folder be listed, unkept.
  if (watch < 0 && notify >= 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;
  FolderHandle dir(::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0) {
    if (watch >= 0) ::inotify_rm_watch(notify, watch);
    watch = -1;
    return std::nullopt;
  }
  FolderIndex index;
  alignas(dirent64) char buffer[kFolderBufferSize];
  const bool listed = forEachEntry(dir.fd, buffer, [&](std::string_view name, unsigned char type, const char* cname) {
    addEntry(index, name, entryIsFolder(dir.fd, type, cname));
    return true;
  });
  if (!listed) {
    // A folder that stops answering half-way is not kept as listed.
    if (watch >= 0) ::inotify_rm_watch(notify, watch);
    watch = -1;
    return std::nullopt;
  }
  index.hostNames.shrink_to_fit();
  index.upperNames.shrink_to_fit();
  return index;
}
}  // namespace


namespace {
// The listed folder holding `host`, and the name `host` has in it.
struct Place {
  FolderIndex* folder = nullptr;
  std::string_view name;
};
Place placeOf(const std::string& host) {
  const std::size_t slash = host.rfind('/');
  if (slash == std::string::npos) return {};
  FolderIndexes& all = indexes();
  auto it = all.folders.find(std::string_view(host).substr(0, slash));
  return {it == all.folders.end() ? nullptr : &it->second, std::string_view(host).substr(slash + 1)};
}

bool hasHostName(const FolderIndex& index, std::string_view name) {
  for (const FolderEntry& e : index.entries)
    if (hostName(index, e) == name) return true;
  return false;
}

// Drops the indexes of `host` and of every folder below it.
void forgetWithin(const std::string& host) {
  FolderIndexes& all = indexes();
  for (auto it = all.folders.begin(); it != all.folders.end();) {
    const std::string& key = it->first;
    const bool within = key.compare(0, host.size(), host) == 0 && (key.size() == host.size() || key[host.size()] == '/');
    it = within ? all.folders.erase(it) : std::next(it);
  }
}
}  // namespace

const FolderIndex* listedFolderIndex(std::string_view host) {
  FolderIndexes& all = indexes();
  auto it = all.folders.find(host);
  return it == all.folders.end() ? nullptr : &it->second;
}

const FolderIndex* folderIndex(const std::string& host) {
  if (const FolderIndex* known = listedFolderIndex(host)) return known;
  FolderIndexes& all = indexes();
  if (!hostWatch.notifyTried) {
    hostWatch.notifyTried = true;
    hostWatch.notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    hostWatch.signalled = hostWatch.notify >= 0 && signalChanges(hostWatch.notify);
  }
  int watch = -1;
  std::optional<FolderIndex> listed = listFolder(host, hostWatch.notify, watch);
  if (!listed) return nullptr;
  if (watch < 0) {
    // Nothing would tell of a change (no instance, or no watch left): the
    // listing serves this call and is not kept.
    all.unkept = std::move(*listed);
    return &all.unkept;
  }
  if (all.names + listed->entries.size() > kMostIndexedNames) forgetFolderIndexes();
  all.names += listed->entries.size();
  all.watched[watch] = host;
  return &all.folders.insert_or_assign(host, std::move(*listed)).first->second;
}

void catchUpWithHost() {
  if (hostWatch.notify < 0) return;
  FolderIndexes& all = indexes();
  if (hostWatch.signalled) {
    if (!hostTold) return;
    hostTold = 0;  // before reading: a change told while the queue is read sets it again
  }
  const int savedErrno = errno;  // an empty queue answers EAGAIN, which no caller should see
  struct Restore {
    int value;
    ~Restore() { errno = value; }
  } restore{savedErrno};
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(hostWatch.notify, buffer, sizeof buffer);
    if (got <= 0) return;  // nothing more to tell (EAGAIN)
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        forgetFolderIndexes();  // changes were lost
        continue;
      }
      auto watched = all.watched.find(event->wd);
      if (watched == all.watched.end()) continue;  // a folder no longer kept
      const std::string folder = watched->second;
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
        // The folder is gone from where it was listed.
        all.watched.erase(watched);
        if (!(event->mask & IN_IGNORED)) ::inotify_rm_watch(hostWatch.notify, event->wd);
        forgetWithin(folder);
        continue;
      }
      if (event->len == 0) continue;
      std::string item = folder;
      item += '/';
      item += event->name;
      if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
        noteRemoved(item);
      } else if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
        // Our own creations were noted already; only a name still unknown
        // costs a stat (a link counts as what it points at).
        Place at = placeOf(item);
        if (at.folder && !hasHostName(*at.folder, at.name)) {
          struct stat st {};
          const bool isFolder = (event->mask & IN_ISDIR) || (::stat(item.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
          noteAdded(item, isFolder);
        }
      }
    }
  }
}

namespace {
// Whether the host name `utf8` is `name` exactly.
bool sameName(std::string_view utf8, std::u16string_view name) {
  if (utf8.size() == name.size()) {
    std::size_t i = 0;
    while (i < name.size() && name[i] < 0x80 && static_cast<unsigned char>(utf8[i]) == name[i]) ++i;
    if (i == name.size()) return true;
    if (name[i] < 0x80 && static_cast<unsigned char>(utf8[i]) < 0x80) return false;  // plain text that differs
  }
  return utf8 == toUtf8(name);
}
}  // namespace

const FolderEntry* findEntry(const FolderIndex& index, std::u16string_view name) {
  // A folder is looked up a few times between two changes: a pass over its
  // names costs less than keeping them sorted or hashed (docs/sweeps.md).
  const FolderEntry* first = nullptr;
  for (const FolderEntry& e : index.entries) {
    const std::u16string_view upper = upperName(index, e);
    if (upper.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; same && k < name.size(); ++k) same = upcase(name[k]) == upper[k];
    if (!same) continue;
    if (!first) first = &e;
    if (sameName(hostName(index, e), name)) return &e;
  }
  return first;
}

void noteAdded(const std::string& host, bool folder) {
  forgetWithin(host);
  if (Place at = placeOf(host); at.folder && !hasHostName(*at.folder, at.name)) {
    addEntry(*at.folder, at.name, folder);
    ++indexes().names;
  }
}

std::optional<bool> noteRemoved(const std::string& host) {
  forgetWithin(host);
  Place at = placeOf(host);
  if (!at.folder) return std::nullopt;
  FolderIndex& index = *at.folder;
  for (std::size_t i = 0; i < index.entries.size(); ++i) {
    if (hostName(index, index.entries[i]) != at.name) continue;
    const bool folder = index.entries[i].folder;
    // Its name stays in the pools, unused.
    index.entries.erase(index.entries.begin() + static_cast<std::ptrdiff_t>(i));
    return folder;
  }
  return std::nullopt;
}

void forgetFolderIndexes() {
  FolderIndexes& all = indexes();
  all.folders.clear();
  all.watched.clear();  // the host may keep the watches; what it tells of them is passed over
  all.names = 0;
}

}  // namespace emu
