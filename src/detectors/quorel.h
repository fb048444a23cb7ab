// The Firefox extension infection: where extensions live, the tests that
// flag a folder, the sweep that removes flagged folders and registrations,
// and the inventory of what remains.
#pragma once

#include <string>
#include <string_view>

#include "system/list.h"

int isQuorel(std::u16string_view folder);
int isMalExt(std::u16string_view folder);
// %programfiles%\Mozilla Firefox\extensions\ expanded (trailing backslash).
std::u16string getFFExtPath();
// Full paths of the profiles' "extensions" folders, each ending in "\extensions\".
StringList getFFProfileExtensionPaths();
StringList getFFExtFolders(std::u16string_view extensionsFolder);
// Registered extensions of HKLM\SOFTWARE\Mozilla\Firefox\Extensions; *openResult
// receives the code of opening the key.
RegList getRegExtensions(int* openResult);

void quorelFind();
void quorelLog();
