// Message boxes, restart and user32's formatter.
#include "platform/windows/api.h"

namespace win {
using namespace bridge;

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return ::MessageBoxW(native(hWnd), wide(lpText), wide(lpCaption), uType);
}

BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) { return ::ExitWindowsEx(uFlags, dwReason); }

// wsprintfW is variadic; its va_list twin does the formatting, with the
// same 1024-character limit.
int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int written = ::wvsprintfW(wide(lpOut), wide(lpFmt), args);
  va_end(args);
  return written;
}

}  // namespace win
