// What the emulated file system's calls share: the attribute record of an
// item (attributes, times, size), FILETIME conversions, the checks of path
// arguments, and host moves. Defined in files.cpp with the attribute
// queries, CreateDirectoryW and MoveFileW.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/emulated/files/paths.h"
#include "platform/win32.h"

namespace emu {

// ---------------------------------------------------------------- times
// FILETIME values are 100-ns intervals since 1601-01-01 UTC.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
std::uint64_t fileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);
win::FILETIME toFILETIME(std::uint64_t value);
std::uint64_t fromFILETIME(const win::FILETIME& value);
// Sets the host file's modification time (Windows' last-write time).
bool setLastWriteTime(const std::filesystem::path& host, std::uint64_t fileTime);

// ---------------------------------------------------------------- attribute records
struct ItemInfo {
  win::DWORD attributes = 0;  // FILE_ATTRIBUTE_DIRECTORY or FILE_ATTRIBUTE_ARCHIVE
  std::uint64_t created = 0;
  std::uint64_t accessed = 0;
  std::uint64_t written = 0;
  std::uint64_t size = 0;
};
// The record of the item at `host`, whose Windows path is `path` (for its
// [[file_time]] creation time). None when the host item cannot be read
// (errno then tells why).
std::optional<ItemInfo> itemInfo(const std::filesystem::path& host, const WindowsPath& path);
// Fills the fields WIN32_FILE_ATTRIBUTE_DATA and WIN32_FIND_DATAW share
// (attributes, the three times, the size) from a record.
template <typename Record>
void fillRecord(Record& out, const ItemInfo& info) {
  out.dwFileAttributes = info.attributes;
  out.ftCreationTime = toFILETIME(info.created);
  out.ftLastAccessTime = toFILETIME(info.accessed);
  out.ftLastWriteTime = toFILETIME(info.written);
  out.nFileSizeHigh = static_cast<win::DWORD>(info.size >> 32);
  out.nFileSizeLow = static_cast<win::DWORD>(info.size & 0xFFFFFFFFu);
}

// ---------------------------------------------------------------- arguments
// A path argument as the file calls take it: an absolute drive-letter path
// whose names hold no character Windows forbids (wildcards included). Sets
// `error` (ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME) and returns none otherwise.
std::optional<WindowsPath> pathArgument(const char16_t* text, win::DWORD& error);

struct ExistingItem {
  WindowsPath path;
  std::filesystem::path host;
  bool folder = false;
};
// An existing file or folder named by a path argument; `error` tells why not
// (2 last component missing, 3 folder on the way missing, 123 a file's path
// ending in a backslash).
std::optional<ExistingItem> existingItem(const char16_t* text, win::DWORD& error);

// Whether a new item may be made at `path`: 0 when nothing is there and its
// folder exists, ERROR_ALREADY_EXISTS when something is, ERROR_PATH_NOT_FOUND
// when the folder on the way is missing.
win::DWORD freePlaceError(const WindowsPath& path);

// Moves a host file or folder to a host path whose folder exists; 0 or the
// Windows code of the host's failure.
win::DWORD moveHostItem(const std::filesystem::path& from, const std::filesystem::path& to);

// ---------------------------------------------------------------- journal
// A path as a journal line quotes it ("C:\\a\\b").
std::string journalPath(const WindowsPath& path);

}  // namespace emu
