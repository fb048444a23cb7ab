// QuorelRestore's side of a removed service: where the service stands now,
// and making it again from its record.
#pragma once

#include "restore/restore_records.h"

enum ServicePlace {
  SERVICE_PLACE_FREE,    // no service of that name, nor a key of it
  SERVICE_PLACE_TAKEN,   // a service of that name is there, or its key
  SERVICE_PLACE_MARKED,  // the removed service itself, marked for deletion until the restart
};

// Where the recorded service stands. The service still marked for deletion
// is told by its configuration: the recorded one, its start disabled (the
// service manager disables a service it marks), or the manager's own 1072.
// A manager that cannot be asked counts as free: the restore then says why.
ServicePlace servicePlace(const RestoreItem& item);

// Makes the service again, stopped, from its recorded configuration, then
// puts its key tree back as recorded: the service's key holds exactly the
// recorded values (those the service manager wrote and the record lacks go),
// its subkeys are made with theirs. 0, or the failing call's code:
// ERROR_SERVICE_MARKED_FOR_DELETE and ERROR_SERVICE_EXISTS from the making
// as the service manager answers them.
int restoreService(const RestoreItem& item);
