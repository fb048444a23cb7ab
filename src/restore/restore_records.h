// QuorelRestore's reading of the two record files QuorelFix leaves in its
// backup folder (manifest.txt and undo.reg): the runs, and in each the items
// removed, with what is needed to put them back.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "system/record_format.h"

enum ItemKind { ITEM_FILE, ITEM_DELETED_VALUE, ITEM_BLANKED_VALUE, ITEM_DELETED_KEY, ITEM_DELETED_SERVICE };

// How much of an item's record could be read.
enum RecordState {
  RECORD_COMPLETE,    // everything needed to put it back
  RECORD_INCOMPLETE,  // cut short: the outcome or landing never written
  RECORD_DAMAGED,     // a line of it cannot be read
  RECORD_NOT_READ,    // QuorelFix could not read the data before the change
};

// One key of a registry record and its values, in the order recorded.
struct RegBlock {
  win::HKEY root = nullptr;
  std::u16string subKey;
  std::vector<RegValue> values;
};

struct RestoreItem {
  ItemKind kind = ITEM_FILE;
  RecordState state = RECORD_COMPLETE;
  std::u16string place;    // the original path, or the key (and value) as reports show it
  std::u16string landing;  // a file or folder: where it lies in the backup folder
  std::u16string content;  // a file or folder: its fingerprint as it landed ("" when not recorded)
  std::vector<RegBlock> blocks;  // registry: a value's key with the one value, or a whole tree; a service's key tree
  ServiceConfig service;         // a service: its configuration as the service manager reported it
};

struct RestoreRun {
  std::u16string stamp;  // the run line's time stamp ("" for records before any run line)
  std::vector<RestoreItem> items;
};

// Result of reading one record file.
enum RecordFileState { RECORDS_READ, RECORDS_MISSING, RECORDS_UNREADABLE, RECORDS_DAMAGED };

// Reads <backup>\manifest.txt and <backup>\undo.reg and pairs their runs (the
// n-th run of a time stamp in one file with the n-th of the same stamp in the
// other). Within a run, files and folders come first, then registry items,
// each in the order they were removed.
std::vector<RestoreRun> readRecords(const std::u16string& backup, RecordFileState& manifest, RecordFileState& undo);
