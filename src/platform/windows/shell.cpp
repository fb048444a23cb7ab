// The shell's file operations (shell32).
#include "platform/windows/api.h"

#include <shellapi.h>
#include <shlobj.h>

namespace win {
using namespace bridge;

// The 32-bit SDK packs SHFILEOPSTRUCTW to 1-byte alignment (shellapi.h wraps
// it in pshpack1.h), so fAnyOperationsAborted sits at offset 18 there and at 20
// in the seam's naturally aligned structure; the 64-bit layouts agree. The
// structure is therefore copied field by field, not passed through.
int SHFileOperationW(SHFILEOPSTRUCTW* lpFileOp) {
  ::SHFILEOPSTRUCTW op{};
  op.hwnd = native(lpFileOp->hwnd);
  op.wFunc = lpFileOp->wFunc;
  op.pFrom = wide(lpFileOp->pFrom);
  op.pTo = wide(lpFileOp->pTo);
  op.fFlags = lpFileOp->fFlags;
  op.fAnyOperationsAborted = lpFileOp->fAnyOperationsAborted;
  op.hNameMappings = lpFileOp->hNameMappings;
  op.lpszProgressTitle = wide(lpFileOp->lpszProgressTitle);
  int result = ::SHFileOperationW(&op);
  lpFileOp->fAnyOperationsAborted = op.fAnyOperationsAborted;
  lpFileOp->hNameMappings = op.hNameMappings;
  return result;
}

int SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa) {
  return ::SHCreateDirectoryExW(native(hwnd), wide(pszPath), as<::SECURITY_ATTRIBUTES>(psa));
}

}  // namespace win
