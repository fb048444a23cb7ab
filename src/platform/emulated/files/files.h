// What the emulated file system's calls share: the faults machine.toml
// injects, the attribute record of an item (attributes, times, size), FILETIME
// conversions, and Windows' wildcard matching.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/emulated/files/paths.h"
#include "platform/win32.h"

namespace emu {

// ---------------------------------------------------------------- faults
// A [[fault.file]] entry of machine.toml: the item is locked or denied.
struct FileFault {
  win::DWORD code = 0;     // the error opening or moving the item fails with
  bool attributes = true;  // attribute queries and listings still work
};
// The fault on exactly this item, if any.
std::optional<FileFault> faultOn(const WindowsPath& path);
// The first fault on this item or anything below it (a folder that holds a
// locked file cannot be moved).
std::optional<FileFault> faultWithin(const WindowsPath& path);

// ---------------------------------------------------------------- files held open
// The Windows runtime opens files (_wfopen) sharing reading and writing but
// not deletion, so while this process holds a file open it cannot be moved
// or replaced: ERROR_SHARING_VIOLATION; nor can a folder that holds one:
// ERROR_ACCESS_DENIED. 0 when nothing at or below `host` is held open.
win::DWORD heldOpenWithin(const std::filesystem::path& host);

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
// [[file_time]] creation time). None when the host item cannot be read.
std::optional<ItemInfo> itemInfo(const std::filesystem::path& host, const WindowsPath& path);

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

// Moves a host file or folder to a host path whose folder exists.
bool moveHostItem(const std::filesystem::path& from, const std::filesystem::path& to);

// ---------------------------------------------------------------- wildcards
// A search pattern as FindFirstFileW applies it to the names of one folder.
// The pattern is the last component of the search path, as written.
bool wildcardMatches(std::u16string_view pattern, std::u16string_view name);
// The same match in two steps, for matching one pattern against many names:
// the expression NTFS turns the pattern into, and whether a name fits it.
std::u16string ntExpression(std::u16string_view pattern);
bool expressionMatches(std::u16string_view expression, std::u16string_view name);
bool hasWildcards(std::u16string_view name);
// Ends every open FindFirstFileW search (machine.cpp calls it when an image is chosen).
void endFileSearches();

}  // namespace emu
