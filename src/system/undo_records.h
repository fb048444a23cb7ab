// Undo records: what QuorelFix writes into the backup folder before it
// changes anything, so that QuorelRestore can put every change back.
//
//   undo.reg      the registry values and key trees as they were, in
//                 regedit's format (UTF-16LE with its mark), so that a user
//                 can also import it by hand;
//   manifest.txt  every item moved into the backup folder: its original path
//                 and the path where it landed (UTF-16LE with its mark, one
//                 record per line, fields parted by a tab).
//
// Both files are appended to and flushed at every record; a run (and the
// reboot pass after it) begins with a run line in each. A record that cannot
// be written never stops the change it describes. docs/restore.md has the
// formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

// File names in the backup folder. Neither begins with an upper-case 'Q',
// which marks the rotated reports.
inline constexpr char16_t UNDO_FILE_NAME[] = u"undo.reg";
inline constexpr char16_t MANIFEST_NAME[] = u"manifest.txt";

inline constexpr std::u16string_view REGEDIT_HEADER = u"Windows Registry Editor Version 5.00";

// The comment lines of undo.reg and the record words of manifest.txt.
inline constexpr std::u16string_view UNDO_RUN = u"; run ";
inline constexpr std::u16string_view UNDO_DELETED_VALUE = u"; deleted value";
inline constexpr std::u16string_view UNDO_BLANKED_VALUE = u"; blanked value";
inline constexpr std::u16string_view UNDO_DELETED_KEY = u"; deleted key";
inline constexpr std::u16string_view UNDO_NOT_READ = u"; not read ";
inline constexpr std::u16string_view UNDO_CHECK = u"; check ";
inline constexpr std::u16string_view UNDO_RESULT = u"; result ";
inline constexpr std::u16string_view MANIFEST_RUN = u"run\t";
inline constexpr std::u16string_view MANIFEST_MOVE = u"move\t";
inline constexpr std::u16string_view MANIFEST_LANDED = u"landed\t";
inline constexpr std::u16string_view MANIFEST_FAILED = u"failed\t";

// One registry value: its stored name (empty for the default value), type
// and exact bytes.
struct RegValue {
  std::u16string name;
  win::DWORD type = 0;
  std::vector<std::uint8_t> data;
};

// What a registry change is about to do to its value.
enum UndoValueChange { VALUE_DELETED, VALUE_BLANKED };

// Writes the run lines that begin a run's records ("2010-07-03 14:05:09",
// " after restart" added in the reboot pass).
void startUndoRun(std::u16string_view stamp);

// Before a registry change: records the value (with its stored name, type
// and bytes) or the whole key tree. 1 when a record was begun and its result
// is to follow, 0 when there is nothing to record (the value or key is not
// there) or the undo file cannot be written.
int recordValue(win::HKEY root, const char16_t* subKey, const char16_t* valueName, UndoValueChange change);
int recordKeyTree(win::HKEY root, const char16_t* subKey);
// After the change: the result that closes a begun record.
void recordRegistryResult(int begun, int code);

// Around the quarantine move: the original path before it, the landing path
// or the failure after it. `destination` is where the move was asked to go;
// the shell may rename the item on a collision.
struct MoveRecord {
  int begun = 0;
  std::u16string original;
  std::u16string destination;
  bool occupied = false;                // the destination was taken before the move
  std::vector<std::u16string> before;   // the names beside it then
};
MoveRecord recordMove(std::u16string_view original, std::u16string_view destination);
void recordMoveResult(const MoveRecord& record, int code);

// The check that closes a record: the MD5 digest of its text (UTF-16LE), as
// 32 upper-case hexadecimal digits. A record whose text no longer gives its
// check was damaged and is not put back.
std::u16string recordCheck(std::u16string_view text);

// The path without the backslashes that end it (a drive's root keeps its
// own): C:\evil\ names the folder C:\evil.
std::u16string withoutTrailingBackslashes(std::u16string_view path);

// Regedit's text of one value ("name"=data) without the line end, and of a
// key's full name; shared with QuorelRestore's reader.
std::u16string regeditValueLine(const RegValue& value);
std::u16string rootName(win::HKEY root);
