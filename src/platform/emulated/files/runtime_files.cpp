// The runtime's file opens (_wfopen, fopen, fclose) on the emulated drives,
// and which files they hold open (runtime_files.h).
// They return real host streams on the resolved host file; a failed open
// sets the last error as the Windows runtime leaves it (it opens through
// CreateFileW). Files written through these streams get the emulated clock as
// their last-write time when they are closed, or at process exit for streams
// still open then. Every open stream holds its file against moves, as the
// runtime's sharing mode does on Windows.
#include "platform/emulated/files/runtime_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "platform/emulated/files/files.h"
#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/files/item_access.h"
#include "platform/emulated/machine/host_error.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {
namespace fs = std::filesystem;

struct Mode {
  char16_t access = 0;  // 'r', 'w' or 'a'
  bool update = false;  // '+'
};

// "r", "w", "a", each with optional "+", "b" or "t" (and the runtime's
// ",ccs=..." suffix, which is ignored).
std::optional<Mode> parseMode(std::u16string_view mode) {
  Mode m;
  if (mode.empty() || (mode[0] != u'r' && mode[0] != u'w' && mode[0] != u'a')) return std::nullopt;
  m.access = mode[0];
  for (std::size_t i = 1; i < mode.size() && mode[i] != u','; ++i) {
    if (mode[i] == u'+') {
      m.update = true;
    } else if (mode[i] != u'b' && mode[i] != u't' && mode[i] != u' ') {
      return std::nullopt;
    }
  }
  return m;
}

// Streams opened for writing or appending, and their host files.
std::map<std::FILE*, fs::path>& writtenStreams() {
  static std::map<std::FILE*, fs::path> streams;
  return streams;
}

// The program may end without closing a written stream (the restart path
// leaves the report open): the stream is flushed and stamped then.
void stampStreamsAtExit() {
  for (auto& [stream, host] : writtenStreams()) {
    std::fflush(stream);
    emu::setLastWriteTime(host, emu::nowFileTime());
  }
}

// The buffers given to streams opened for reading, freed when they close.
constexpr std::size_t kReadBufferSize = 16384;
std::map<std::FILE*, std::unique_ptr<char[]>>& readBuffers() {
  static std::map<std::FILE*, std::unique_ptr<char[]>> buffers;
  return buffers;
}

// Every stream open now, and its host file.
std::map<std::FILE*, std::string>& openStreams() {
  static std::map<std::FILE*, std::string> streams;
  return streams;
}

// The runtime's errno for a Windows code, as its own open maps them.
int errnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EACCES;
  }
}

std::FILE* fail(DWORD error, int e) {
  SetLastError(error);
  errno = e;
  return nullptr;
}

// A file to read, opened by its name as written: most are written in the
// case they were created with, and one open answers them where a lookup and
// an open take two host calls. Only where the folder has been listed already
// does the lookup answer from memory (no host call) and is left to answer.
// Returns none with errno ENOENT when the lookup should answer, with
// `missing` set when nothing is there by the name as written. `host` is the
// path's writtenHostPath.
std::FILE* openAsWritten(const emu::WindowsPath& path, const std::string& host, bool& missing) {
  const bool fromMemory = emu::answeredFromMemory(path, host);
  errno = ENOENT;
  if (fromMemory) return nullptr;
  std::FILE* stream = std::fopen(host.c_str(), "rbe");  // 'e': close on exec
  if (!stream) {
    missing = errno == ENOENT || errno == ENOTDIR;
    errno = ENOENT;
    return nullptr;
  }
  struct stat st {};
  if (::fstat(::fileno(stream), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(stream);
    return fail(ERROR_ACCESS_DENIED, EACCES);  // a folder cannot be opened as a file
  }
  if (DWORD denied = emu::itemDenial(path, host, emu::ItemAccess::Open)) {
    std::fclose(stream);
    return fail(denied, EACCES);
  }
  // A buffer of our own: the host runtime would ask the file's block size
  // (one more host call per open) to size its own.
  auto& buffer = readBuffers()[stream];
  buffer = std::make_unique_for_overwrite<char[]>(kReadBufferSize);
  std::setvbuf(stream, buffer.get(), _IOFBF, kReadBufferSize);
  openStreams()[stream] = host;
  return stream;
}

// `call` names the runtime call for the journal.
std::FILE* openFile(const char* call, std::u16string_view path, std::u16string_view modeText) {
  auto mode = parseMode(modeText);
  if (!mode) return fail(ERROR_INVALID_PARAMETER, EINVAL);
  DWORD error = 0;
  const std::u16string pathText(path);
  auto parsed = emu::pathArgument(pathText.c_str(), error);
  if (!parsed) return fail(error, ENOENT);
  if (parsed->components.empty()) return fail(ERROR_ACCESS_DENIED, EACCES);  // a drive root
  bool writtenMissing = false;
  std::string written;
  if (mode->access == u'r' && !mode->update && !parsed->trailingSeparator) {
    written = emu::writtenHostPath(*parsed);
    if (std::FILE* stream = openAsWritten(*parsed, written, writtenMissing)) return stream;
    if (errno != ENOENT) return nullptr;  // the error is set
  }
  emu::Lookup found = writtenMissing ? emu::lookUpOtherCase(*parsed, written) : emu::lookUp(*parsed);
  fs::path host;
  const bool created = !found.host;
  if (found.host) {
    if (found.folder) return fail(ERROR_ACCESS_DENIED, EACCES);
    if (parsed->trailingSeparator) return fail(ERROR_INVALID_NAME, EINVAL);
    host = *found.host;
  } else if (mode->access != u'r' && found.error == ERROR_FILE_NOT_FOUND && !parsed->trailingSeparator) {
    host = emu::hostPathFor(*parsed);  // a new file, named as written
  } else {
    return fail(parsed->trailingSeparator && found.error == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_NAME : found.error,
                ENOENT);
  }
  if (DWORD denied = emu::itemDenial(*parsed, host, emu::ItemAccess::Open)) return fail(denied, EACCES);

  std::string hostMode(1, static_cast<char>(mode->access));
  if (mode->update) hostMode += '+';
  hostMode += 'b';  // the bytes as written: the emulated runtime does no text translation
  std::FILE* stream = std::fopen(host.c_str(), hostMode.c_str());
  if (!stream) {
    const int e = errno;
    return fail(emu::windowsErrorFromErrno(e, {ERROR_FILE_NOT_FOUND, ERROR_FILE_EXISTS}), e);
  }
  if (created) emu::noteAdded(host.native(), false);  // the folder holds one more name
  if (mode->access != u'r' || mode->update) {
    // Opened to change it: created, emptied ('w') or to be written.
    emu::journal(std::string(call) + " file=" + emu::journalPath(*parsed) + " mode=" +
                 emu::quoted(emu::toUtf8(modeText)) + (created ? " created=1" : ""));
  }
  openStreams()[stream] = host.native();
  if (mode->access != u'r' || mode->update) {
    static const bool registered = [] {
      writtenStreams();  // built before the exit handler, so it outlives it
      return std::atexit(stampStreamsAtExit) == 0;
    }();
    (void)registered;
    writtenStreams()[stream] = host;
  }
  return stream;
}
}  // namespace

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
  if (auto code = emu::injectedFailure("_wfopen")) return fail(*code, errnoFor(*code));
  if (!path || !mode) return fail(ERROR_INVALID_PARAMETER, EINVAL);
  return openFile("_wfopen", path, mode);
}

std::FILE* fopen(const char* path, const char* mode) {
  if (auto code = emu::injectedFailure("fopen")) return fail(*code, errnoFor(*code));
  if (!path || !mode) return fail(ERROR_INVALID_PARAMETER, EINVAL);
  // The "C" locale's conversion: each byte becomes the code unit of the same value.
  auto widen = [](const char* s) {
    std::u16string out;
    for (; *s; ++s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return out;
  };
  return openFile("fopen", widen(path), widen(mode));
}

int fclose(std::FILE* stream) {
  if (!stream) {
    errno = EINVAL;
    return EOF;
  }
  // A close that fails (its last buffer did not fit on the disk) still closes
  // the stream.
  const std::optional<DWORD> failure = emu::injectedFailure("fclose");
  openStreams().erase(stream);
  auto it = writtenStreams().find(stream);
  int result = 0;
  if (it == writtenStreams().end()) {
    auto buffer = readBuffers().extract(stream);  // freed after the close, which may still use it
    result = std::fclose(stream);
  } else {
    const fs::path host = it->second;
    writtenStreams().erase(it);
    result = std::fclose(stream);
    emu::setLastWriteTime(host, emu::nowFileTime());
  }
  if (failure) {
    SetLastError(*failure);
    errno = errnoFor(*failure);
    return EOF;
  }
  return result;
}

}  // namespace win

namespace emu {

win::DWORD heldOpenWithin(const std::filesystem::path& host) {
  std::string_view folder = host.native();
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  for (const auto& [stream, file] : win::openStreams()) {
    if (file == folder) return win::ERROR_SHARING_VIOLATION;
    // A file below the folder: its path goes on where the folder's ends.
    if (file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0 &&
        (file[folder.size()] == '/' || folder.back() == '/'))
      return win::ERROR_ACCESS_DENIED;
  }
  return 0;
}

}  // namespace emu
