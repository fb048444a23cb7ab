// The general sweep: definition tables of services, autorun values, folders
// and files, the privileges it enables first, and the closing of the reboot list.
#pragma once

#include <string_view>

#include "system/list.h"

// Full paths (folder + "\" + name) of the entries directly in `folder` that
// match `pattern`: folders when `folders` is nonzero, plain files otherwise.
StringList findFiles(std::u16string_view folder, std::u16string_view pattern, int folders);
int genScan();
