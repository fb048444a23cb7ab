// CreateFileW for an existing item (OPEN_EXISTING), as QuorelPreview asks it:
// whether a file can be opened for deletion with the sharing a move needs.
// The handle is a kernel handle, closed with CloseHandle; nothing is read or
// written through it, and opening is no side effect (nothing is journalled).
#include "platform/emulated/files/files.h"
#include "platform/emulated/files/item_access.h"
#include "platform/emulated/files/runtime_files.h"
#include "platform/emulated/machine/call_faults.h"
#include "platform/emulated/machine/handles.h"

namespace win {

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  if (auto code = emu::injectedFailure("CreateFileW")) return emu::failedWith<HANDLE>(*code, INVALID_HANDLE_VALUE);
  // Only existing items are opened: making files goes through the runtime.
  if (dwCreationDisposition != OPEN_EXISTING) return emu::failedWith<HANDLE>(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  DWORD error = 0;
  auto item = emu::existingItem(lpFileName, error);
  if (!item) return emu::failedWith<HANDLE>(error, INVALID_HANDLE_VALUE);
  // A folder opens only for backup semantics.
  if (item->folder && !(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))
    return emu::failedWith<HANDLE>(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  // Another program's hold on the item ([[fault.file]]) denies any open of it.
  if (DWORD denied = emu::itemDenial(item->path, item->host, emu::ItemAccess::Open))
    return emu::failedWith<HANDLE>(denied, INVALID_HANDLE_VALUE);
  // This process's own streams share reading and writing, never deletion: an
  // open for deletion of a file it holds, or one that does not share writing
  // with it, is a sharing violation.
  const bool conflicts = (dwDesiredAccess & DELETE) != 0 || (dwShareMode & FILE_SHARE_WRITE) == 0;
  if (!item->folder && conflicts) {
    if (DWORD held = emu::heldOpenWithin(item->host)) return emu::failedWith<HANDLE>(held, INVALID_HANDLE_VALUE);
  }
  return emu::openHandle({emu::HandleKind::File, 0, dwDesiredAccess, {}});
}

}  // namespace win
