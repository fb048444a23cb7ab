// QuorelRestore: lists what QuorelFix removed, run by run, and puts items
// back from the backup folder and the undo records, never over anything that
// has taken their place since.
#pragma once

#include "restore/restore_records.h"

// Whether an item can be put back now, and if not, why.
enum ItemStatus {
  STATUS_RESTORABLE,
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

// The whole program: no argument lists, "all" or item numbers restore.
// Returns the exit status: 0, or 1 when the records cannot be read or the
// arguments are not understood.
int runQuorelRestore(int argc, char** argv);
