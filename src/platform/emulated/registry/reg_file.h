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

// Applies the file's blocks in order: key headers create keys, [-key] removes
// a tree, values are set ("name"=- deletes one). Lines it does not understand
// are skipped, as regedit skips them.
void applyRegText(std::u16string_view text, const std::shared_ptr<Key>& machine, const std::shared_ptr<Key>& user);

// Blocks appended for one change. Each starts with a line break, so a file
// that does not end with one still reads right.
std::u16string keyBlock(const Key& key);                         // "\r\n[path]\r\n"
std::u16string deletedKeyBlock(std::u16string_view fullPath);    // "\r\n[-path]\r\n"
// One value line ending in "\r\n": "name"="text" for a REG_SZ that is a
// terminated string the file's encoding can hold as text, else hex(N): bytes.
std::u16string valueLine(const Value& value, Encoding encoding);
std::u16string deletedValueLine(std::u16string_view name);        // "name"=-

}  // namespace emu::reg
