// The emulated service manager's links to the registry and to the boot.
#pragma once

#include <string_view>

namespace emu {

// Deletes HKLM\SYSTEM\CurrentControlSet\Services\<name>, the service's entry
// in the registry, as Windows does when a service marked for deletion goes
// (its last handle closed while stopped, or at the next boot). Nothing
// happens when the image has no such key.
void deleteServiceKey(std::u16string_view name);

// Adds a stopped service for each key under
// HKLM\SYSTEM\CurrentControlSet\Services that has Type, Start and ImagePath
// (a service's entry as regedit exports it) and no [[service]] entry of the
// same name (useImage has it called once the registry is read).
void addServicesFromKeys();

// What a boot does to the services: every service marked for deletion goes,
// with its key. Whether any went; the caller saves the machine's state.
bool removeServicesMarkedForDeletion();

}  // namespace emu
