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

// The remove-and-report step: writes the path and the separator, moves the
// item, writes "Success!" or "Failed [%d]" (+ " -> Delete on reboot" and an
// addReboot when allowReboot is set). Returns deleteFile's code.
int removeAndReport(std::u16string_view path, std::u16string_view separator);
