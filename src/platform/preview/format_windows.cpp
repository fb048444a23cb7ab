// wsprintfW on Windows for the preview layer: variadic, so it is not passed
// through the backend but formatted by its va_list twin, as the backend does.
#include "platform/win32.h"

#include <windows.h>

namespace win {

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  int written = ::wvsprintfW(reinterpret_cast<wchar_t*>(lpOut), reinterpret_cast<const wchar_t*>(lpFmt), args);
  va_end(args);
  return written;
}

}  // namespace win
