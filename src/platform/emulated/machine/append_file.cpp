// Appending whole to a host file (append_file.h).
#include "platform/emulated/machine/append_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace emu {

int appendToFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  int error = 0;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;  // a write that takes nothing: the disk is full
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  ::close(fd);
  return error;
}

}  // namespace emu
