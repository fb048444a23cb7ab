// QuorelRestore: lists what QuorelFix removed, run by run, and puts items
// back from the backup folder and the undo records, never over anything that
// has taken their place since.
#pragma once

#include "restore/restore_records.h"

// Whether an item can be put back now, and if not, why.
enum ItemStatus {
  STATUS_RESTORABLE,
  STATUS_BACK_IN_PLACE,     // its place holds exactly what was recorded: nothing to do
  STATUS_NOT_IN_BACKUP,     // the file or folder is no longer in the backup folder
  STATUS_OCCUPIED,          // its original place is taken again
  STATUS_INCOMPLETE,        // the record was cut short
  STATUS_DAMAGED,           // the record cannot be read
  STATUS_NOT_READ,          // the data was never recorded
  STATUS_AFTER_RESTART,     // a service still marked for deletion: it can be made again after the restart
};

ItemStatus checkItem(const RestoreItem& item);
// Sets a recorded key's values into it with their recorded types and bytes
// (the key made when it is gone). 0, or the failing call's code.
win::LONG setValues(const RegBlock& block);
// Puts one item back (its status checked first). 0, or the failing call's code;
// -1 when the status forbids it.
int restoreItem(const RestoreItem& item, ItemStatus& status);

// The exit statuses (docs/restore.md).
enum RestoreExit {
  RESTORE_EXIT_DONE = 0,           // listed, or every item asked for is back in place
  RESTORE_EXIT_CANNOT_START = 1,   // the gate, no desktop, no backup folder or records, no report
  RESTORE_EXIT_NOT_ALL_BACK = 2,   // some item asked for is not back in place
  RESTORE_EXIT_BAD_ARGUMENTS = 3,  // an argument neither "all" nor an item number
};

// The whole program: no argument lists, "all" or item numbers restore, "/?"
// or "-?" prints the usage. Returns one of RestoreExit.
int runQuorelRestore(int argc, char** argv);
