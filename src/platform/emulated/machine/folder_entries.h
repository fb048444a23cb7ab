// Reading a host folder's entries with getdents64 itself: the one loop that
// both the image's check for symbolic links and the folder indexes list with
// (opendir would first ask the folder's block size, one more host call).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <string_view>

namespace emu {

// The size of a buffer for forEachEntry.
constexpr std::size_t kFolderBufferSize = 32768;

// Calls `visit(name, type, entry)` for every entry of the open folder `fd`
// but "." and "..", in the host's order, where getdents64 put it in
// `buffer` (kFolderBufferSize bytes, aligned for dirent64); `type` is the
// entry's d_type. `visit` returns false to stop early. False when the host
// fails half-way (or `visit` stopped), true when every entry was visited.
template <typename Visit>
bool forEachEntry(int fd, char* buffer, Visit visit) {
  for (;;) {
    const ssize_t got = ::getdents64(fd, buffer, kFolderBufferSize);
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
      at += e->d_reclen;
      const std::string_view name(e->d_name);
      if (name == "." || name == "..") continue;
      if (!visit(name, e->d_type, e->d_name)) return false;
    }
  }
}

}  // namespace emu
