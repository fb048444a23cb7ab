// The general sweep: definition tables of services, autorun values, folders
// and files, the privileges it enables first, and the Java plug-in heuristic
// last. The run sequence closes the reboot list when it returns.
#pragma once

#include <string_view>

#include "system/list.h"

// Full paths (folder + "\" + name) of the entries directly in `folder` that
// match `pattern`: folders when `folders` is nonzero, plain files otherwise.
StringList findFiles(std::u16string_view folder, std::u16string_view pattern, int folders);
void genScan();
