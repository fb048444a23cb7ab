// The emulated file system: attribute queries, folder creation and plain
// moves, and the parts every file call shares (times, records, argument
// checks, host moves).
#include "platform/emulated/files/files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/files/item_access.h"
#include "platform/emulated/machine/host_error.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"

namespace emu {
namespace fs = std::filesystem;

// ---------------------------------------------------------------- times
std::uint64_t fileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
  const std::int64_t ticks = seconds * 10000000LL + nanoseconds / 100;
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(kUnixEpochAsFileTime) + ticks);
}

win::FILETIME toFILETIME(std::uint64_t value) {
  return {static_cast<win::DWORD>(value & 0xFFFFFFFFu), static_cast<win::DWORD>(value >> 32)};
}

std::uint64_t fromFILETIME(const win::FILETIME& value) {
  return (static_cast<std::uint64_t>(value.dwHighDateTime) << 32) | value.dwLowDateTime;
}

bool setLastWriteTime(const fs::path& host, std::uint64_t fileTime) {
  const std::int64_t ticks = static_cast<std::int64_t>(fileTime) - static_cast<std::int64_t>(kUnixEpochAsFileTime);
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays
  times[1].tv_sec = static_cast<time_t>(ticks / 10000000LL);
  times[1].tv_nsec = static_cast<long>((ticks % 10000000LL) * 100);
  if (times[1].tv_nsec < 0) {
    times[1].tv_nsec += 1000000000L;
    times[1].tv_sec -= 1;
  }
  return ::utimensat(AT_FDCWD, host.c_str(), times, 0) == 0;
}

namespace {
// The creation time machine.toml gives the item ([[file_time]], UTC; an
// offset date-time is converted to UTC, a local one taken as UTC).
std::optional<std::uint64_t> configuredCreationTime(const WindowsPath& path) {
  const toml::array* entries = config()["file_time"].as_array();
  if (!entries) return std::nullopt;
  for (const auto& node : *entries) {
    const toml::table* t = node.as_table();
    if (!t) continue;
    auto text = (*t)["path"].value<std::string>();
    auto created = (*t)["created"].value<toml::date_time>();
    if (!text || !created) continue;
    auto at = parseWindowsPath(toUtf16(*text));
    if (!at || at->components.size() != path.components.size() || !sameOrInside(*at, path)) continue;
    std::int64_t seconds = daysFromCivil(created->date.year, created->date.month, created->date.day) * 86400 +
                           created->time.hour * 3600 + created->time.minute * 60 + created->time.second;
    if (created->offset) seconds -= static_cast<std::int64_t>(created->offset->minutes) * 60;
    return fileTimeFromUnix(seconds, created->time.nanosecond);
  }
  return std::nullopt;
}
}  // namespace

std::optional<ItemInfo> itemInfo(const fs::path& host, const WindowsPath& path) {
  struct statx sx;
  if (::statx(AT_FDCWD, host.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return std::nullopt;
  ItemInfo info;
  const bool folder = S_ISDIR(sx.stx_mode);
  info.attributes = folder ? win::FILE_ATTRIBUTE_DIRECTORY : win::FILE_ATTRIBUTE_ARCHIVE;
  info.size = folder ? 0 : sx.stx_size;
  // No host time is later than the machine's clock: one after it (a file
  // copied into the image today, a folder made during the run) reads as the
  // clock's time, so a 2010 machine never shows a file of 2026.
  const std::uint64_t now = nowFileTime();
  const auto hostTime = [now](const statx_timestamp& t) { return std::min(fileTimeFromUnix(t.tv_sec, t.tv_nsec), now); };
  info.written = hostTime(sx.stx_mtime);
  info.accessed = hostTime(sx.stx_atime);
  if (auto configured = configuredCreationTime(path)) {
    info.created = *configured;
  } else if (sx.stx_mask & STATX_BTIME) {
    info.created = hostTime(sx.stx_btime);
  } else {
    info.created = info.written;
  }
  return info;
}

// ---------------------------------------------------------------- argument checks
std::optional<WindowsPath> pathArgument(const char16_t* text, win::DWORD& error) {
  if (!text || !*text) {
    error = win::ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  auto path = parseWindowsPath(text);
  if (!path) {
    // The emulated process has no current folder to resolve a relative path in.
    error = win::ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  for (const auto& c : path->components) {
    if (!isValidName(c, false)) {
      error = win::ERROR_INVALID_NAME;
      return std::nullopt;
    }
  }
  return path;
}

std::optional<ExistingItem> existingItem(const char16_t* text, win::DWORD& error) {
  auto path = pathArgument(text, error);
  if (!path) return std::nullopt;
  Lookup found = lookUp(*path);
  if (!found.host) {
    error = found.error;
    return std::nullopt;
  }
  const bool folder = found.folder;
  // "C:\file.txt\" names a folder that a file cannot be.
  if (path->trailingSeparator && !folder) {
    error = win::ERROR_INVALID_NAME;
    return std::nullopt;
  }
  return ExistingItem{*path, *found.host, folder};
}

win::DWORD freePlaceError(const WindowsPath& path) {
  const Lookup found = lookUp(path);
  if (found.host) return win::ERROR_ALREADY_EXISTS;
  if (found.error != win::ERROR_FILE_NOT_FOUND) return win::ERROR_PATH_NOT_FOUND;
  return 0;
}

win::DWORD moveHostItem(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) {
    // The item's entry goes from one folder's index to the other's.
    const std::optional<bool> known = noteRemoved(from.native());
    noteAdded(to.native(), known ? *known : fs::is_directory(to, ec));
    return 0;
  }
  if (ec != std::errc::cross_device_link) return windowsErrorFromErrno(ec.value());
  // Drives of an image on different host file systems: copy, then remove;
  // whatever part of that is done, the indexes are dropped.
  forgetFolderIndexes();
  fs::copy(from, to, fs::copy_options::recursive, ec);
  if (ec) return windowsErrorFromErrno(ec.value());
  fs::remove_all(from, ec);
  return ec ? windowsErrorFromErrno(ec.value()) : 0;
}

std::string journalPath(const WindowsPath& path) { return emu::quoted(toUtf8(windowsText(path))); }

}  // namespace emu

namespace win {

namespace {
BOOL queryAttributes(LPCWSTR lpFileName, emu::ItemInfo& out) {
  DWORD error = 0;
  auto item = emu::existingItem(lpFileName, error);
  if (!item) {
    SetLastError(error);
    return FALSE;
  }
  if (DWORD denied = emu::itemDenial(item->path, item->host, emu::ItemAccess::Attributes)) {
    SetLastError(denied);
    return FALSE;
  }
  auto info = emu::itemInfo(item->host, item->path);
  if (!info) {
    SetLastError(emu::windowsErrorFromErrno(errno));  // the host's statx failed
    return FALSE;
  }
  out = *info;
  return TRUE;
}
}  // namespace

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  if (auto code = emu::injectedFailure("GetFileAttributesW")) return emu::failedWith<DWORD>(*code, INVALID_FILE_ATTRIBUTES);
  emu::ItemInfo info;
  if (!queryAttributes(lpFileName, info)) return INVALID_FILE_ATTRIBUTES;
  return info.attributes;
}

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, void* lpFileInformation) {
  if (auto code = emu::injectedFailure("GetFileAttributesExW")) return emu::failedWith<BOOL>(*code, FALSE);
  if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  emu::ItemInfo info;
  if (!queryAttributes(lpFileName, info)) return FALSE;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  emu::fillRecord(data, info);
  std::memcpy(lpFileInformation, &data, sizeof data);
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES*) {
  if (auto code = emu::injectedFailure("CreateDirectoryW")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD error = 0;
  auto path = emu::pathArgument(lpPathName, error);
  if (!path) {
    SetLastError(error);
    return FALSE;
  }
  if (path->components.empty()) {  // a drive root always exists
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (DWORD taken = emu::freePlaceError(*path)) {
    SetLastError(taken);
    return FALSE;
  }
  std::error_code ec;
  const std::filesystem::path host = emu::hostPathFor(*path);
  if (!std::filesystem::create_directory(host, ec)) {
    // The place was free a moment ago: an item that appears there now is one more name.
    SetLastError(ec ? emu::windowsErrorFromErrno(ec.value(), {ERROR_PATH_NOT_FOUND, ERROR_ALREADY_EXISTS})
                    : ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  emu::noteAdded(host.native(), true);
  emu::journal("CreateDirectoryW folder=" + emu::journalPath(*path));
  return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  if (auto code = emu::injectedFailure("MoveFileW")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD error = 0;
  auto from = emu::existingItem(lpExistingFileName, error);
  if (!from) {
    SetLastError(error);
    return FALSE;
  }
  auto to = emu::pathArgument(lpNewFileName, error);
  if (!to || to->components.empty()) {
    SetLastError(to ? ERROR_ACCESS_DENIED : error);
    return FALSE;
  }
  if (DWORD denied = emu::itemDenial(from->path, from->host, emu::ItemAccess::Move)) {
    SetLastError(denied);
    return FALSE;
  }
  if (DWORD taken = emu::freePlaceError(*to)) {
    SetLastError(taken);
    return FALSE;
  }
  if (from->folder && emu::sameOrInside(*to, from->path)) {
    SetLastError(ERROR_ACCESS_DENIED);  // a folder cannot move into itself
    return FALSE;
  }
  if (DWORD failed = emu::moveHostItem(from->host, emu::hostPathFor(*to))) {
    SetLastError(failed);
    return FALSE;
  }
  emu::journal("MoveFileW from=" + emu::journalPath(from->path) + " to=" + emu::journalPath(*to));
  return TRUE;
}

}  // namespace win
