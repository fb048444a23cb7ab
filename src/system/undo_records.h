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
// reboot pass after it) begins with a run line in each. A record of a
// registry change or a move that cannot be written does not stop the change
// it describes; a service is deleted only once its record is written.
// docs/restore.md has the formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "system/record_format.h"

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
// Before a service's deletion: the service under its name as stored, its
// configuration as the service manager reported it (read by the caller,
// which also judges by it), and its key tree under
// HKLM\SYSTEM\CurrentControlSet\Services. 0 when the record is written and
// its result is to follow; otherwise the code of the key that could not be
// read or of the record that could not be written, and the service stays.
[[nodiscard]] win::DWORD recordService(const char16_t* name, const ServiceConfig& config);
// After the change: the result that closes a begun record (a service's
// record is begun when recordService answered 0).
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
