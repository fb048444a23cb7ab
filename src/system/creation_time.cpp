// Placeholder until the inventory's creation-time stamp lands.
#include "system/scanner.h"

void printFolderCreationTime(std::u16string_view) {}
