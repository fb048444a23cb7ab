// The fingerprint of a file or folder as it lies: what the manifest keeps of
// a moved item's bytes, so that QuorelRestore can tell an item that is back
// in its place from something else that took it, also once the item has left
// the backup folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// 32 upper-case hexadecimal digits. A file's: the MD5 digest of its bytes. A
// folder's: the MD5 digest (UTF-16LE) of the text "folder" CR LF followed by
// one line per entry below it, depth first, the names of each folder sorted
// by their code units: "<relative path>\" for a folder, "<relative path>",
// a tab and the file's digest for a file. None when the item is not there or
// any part of it cannot be listed or read: then nothing is claimed of it.
std::optional<std::u16string> itemFingerprint(std::u16string_view path);
