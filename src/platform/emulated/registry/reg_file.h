// registry.reg: regedit's export format ("Windows Registry Editor Version
// 5.00") read into the key trees, and the blocks of the same format that
// record each change at the end of the file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/registry/tree.h"

namespace emu::reg {

enum class Hive { Machine, User };

struct RootedPath {
  Hive hive = Hive::Machine;
  Path path;  // below the hive's root
};

// "HKEY_LOCAL_MACHINE\a\b", "HKLM\a\b", "HKEY_CURRENT_USER\...", "HKCU\...";
// HKEY_CLASSES_ROOT (HKCR) stands for HKEY_LOCAL_MACHINE\Software\Classes, as
// regedit imports it. None for any other root.
std::optional<RootedPath> parseRootedPath(std::u16string_view text);
std::u16string_view hiveName(Hive hive);

// The file's encoding: UTF-16LE when it starts with the byte-order mark
// FF FE, else UTF-8 (a UTF-8 byte-order mark is skipped).
enum class Encoding { Utf16le, Utf8 };

struct RegText {
  std::u16string text;
  Encoding encoding = Encoding::Utf8;
};

RegText decodeRegFile(std::string_view bytes);
// Text to the file's bytes (no byte-order mark).
std::string encodeRegText(std::u16string_view text, Encoding encoding);

// A line of the file that cannot be read: its number (from 1) and what is
// wrong with it.
struct RegLineError {
  std::size_t line = 0;
  std::string what;
};

// Applies the file's blocks in order: key headers create keys, [-key] removes
// a tree, values are set ("name"=- deletes one); the header line
// ("Windows Registry Editor Version 5.00" or "REGEDIT4"), blank lines and
// comments are passed over, also further down, where a second export was
// appended. Stops at the first line it cannot read, and names it: the trees
// then hold what the lines before it made.
[[nodiscard]] std::optional<RegLineError> applyRegText(std::u16string_view text, const std::shared_ptr<Key>& machine,
                                                       const std::shared_ptr<Key>& user);

// Blocks appended for one change. Each starts with a line break, so a file
// that does not end with one still reads right.
std::u16string keyBlock(const Key& key);                         // "\r\n[path]\r\n"
std::u16string deletedKeyBlock(std::u16string_view fullPath);    // "\r\n[-path]\r\n"
// One value line ending in "\r\n": "name"="text" for a REG_SZ that is a
// terminated string the file's encoding can hold as text, else hex(N): bytes.
std::u16string valueLine(const Value& value, Encoding encoding);
std::u16string deletedValueLine(std::u16string_view name);        // "name"=-

}  // namespace emu::reg
