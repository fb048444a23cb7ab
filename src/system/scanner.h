// Queries of the machine: registry strings, the subkeys and values of an
// open key, folder listings, running processes, byte signatures in files
// (content_match.cpp), environment references expanded, and the
// creation-time stamp of the inventory (creation_time.cpp, the one that
// writes: to the report, through the sink of report_sink.h). None changes
// the machine; "none" results mean absent or unreadable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/list.h"

// One registry value: its stored name (empty for the default value), type
// and exact bytes.
struct RegValue {
  std::u16string name;
  win::DWORD type = 0;
  std::vector<std::uint8_t> data;
};

// The value's data exactly as stored (type not examined, terminator supplied
// when the data lacks one), or none. valueName none reads the default value.
std::optional<std::u16string> getRegSZValue(win::HKEY root, const char16_t* subKey,
                                            const char16_t* valueName);
// Names of the subkeys of an open key, in enumeration order; empty names skipped.
StringList getSubkeys(win::HKEY key);
// Names of the REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ values of an open key;
// the unnamed default value is never listed.
StringList getSZValues(win::HKEY key);
// Every value of an open key in enumeration order, names as stored and data
// exact, appended to `values`. 0, or the first failing call's code.
[[nodiscard]] win::LONG getValues(win::HKEY key, std::vector<RegValue>& values);
// The entries directly in `folder` that match the wildcard `pattern`:
// folders when `folders` is nonzero, plain files otherwise, both for
// LIST_BOTH; "." and ".." left out. Bare names, or with `fullPaths` nonzero
// folder + "\" + name.
inline constexpr int LIST_BOTH = -1;
StringList listFolder(std::u16string_view folder, std::u16string_view pattern, int folders, int fullPaths);
// A found entry's name: up to its terminator, or the whole field when the
// name fills it.
std::u16string_view foundName(const win::WIN32_FIND_DATAW& entry);
// Bare names of the entries directly in `folder`: folders when `folders` is
// nonzero, plain files otherwise; "." and ".." left out.
StringList getFiles(std::u16string_view folder, int folders);
// An open handle (terminate, read, query, synchronize) to a running process
// whose executable's file name equals imageName without regard to case.
win::ScopedHandle getProcHandle(std::u16string_view imageName);
// 1 when `signature` occurs anywhere in the file, else 0. Searches from the
// start of the file whatever its position; leaves the position unspecified.
int fileContains(std::FILE* file, const char* signature);
// %name% references expanded; the text as given when nothing could be
// expanded, an empty string for none.
std::u16string expand(std::u16string_view text);
// Appends " [hh:mm dd/mm/yyyy]" (creation time, UTC) or " [Error code: %d]".
void printFolderCreationTime(std::u16string_view path);
