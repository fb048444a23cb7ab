// Everything that changes the machine: the quarantine move into the backup
// folder, registry deletion and blanking, and the remove-and-report step by
// which every caller turns a move into report text and, when the item is
// locked, into an entry of the reboot list.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32.h"
#include "system/list.h"

struct REG_DEF {
  win::HKEY root;
  const char16_t* subKey;
  const char16_t* valueName;  // none: the key itself, or its default value
};

// Moves a file or folder to <desktop>\QuorelFix Backups\<drive letter><rest of
// path>. 0, or the shell's result code.
int deleteFile(std::u16string_view path);
// Deletes a value, or (valueName none) the whole key tree. 0 or a Windows code.
int deleteRegDef(win::HKEY root, const char16_t* subKey, const char16_t* valueName);
// Deletes the node's value, or the key itself when it has no subkeys.
int deleteReg(const RegNode& item);
// Stores `text` as REG_SZ (terminator included) in an existing key.
int setRegSZValue(const REG_DEF* def, std::u16string_view text);

// The callers of the remove-and-report step, each a row of REMOVALS.
enum Removal {
  REMOVE_SCRIPT_LINE,                // a line of a removal script, interactive run
  REMOVE_SCRIPT_LINE_AFTER_RESTART,  // a line of the reboot list, in the reboot pass
  REMOVE_EXTENSION_FOLDER,           // a flagged folder in an extensions folder
  REMOVE_REGISTERED_FOLDER,          // the folder a flagged registration names
  REMOVE_FOLDER_RULE,                // a folder that a folder rule of the sweep matched
  REMOVE_FILE_RULE,                  // a file that a file rule of the sweep matched
  REMOVE_JAVA_PLUGIN_DLL,            // the fake Java plug-in's DLL
  REMOVAL_COUNT
};

// Which failed moves go to the reboot list while it is open. A destination
// too long for Windows (206) never does, in any row: a restart does not
// shorten it.
enum RebootFallback {
  RETRY_ANY_FAILURE,  // whatever else the code
  RETRY_UNLESS_GONE,  // not an item missing (2) or a path invalid (1026)
  RETRY_NEVER,        // nothing is scheduled twice
};

struct REMOVAL_DEF {
  const char16_t* leadIn;     // written before the path
  const char16_t* separator;  // written after it
  int trimBackslash;          // 1: one trailing backslash left out of the path
  int notFound;               // 1: code 2 writes "Not found" and schedules nothing
  RebootFallback fallback;
};
extern const REMOVAL_DEF REMOVALS[REMOVAL_COUNT];

// The remove-and-report step: writes the row's lead-in, the path and the
// separator, moves the item, and writes the outcome: "Success!", "Not found"
// or "Failed [%d]", the last followed by " -> Delete on reboot" and an
// addReboot when allowReboot is set and the row's fallback takes the code.
// Returns deleteFile's code.
int removeAndReport(Removal row, std::u16string_view path);
