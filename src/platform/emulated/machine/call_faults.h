// A test mode of the emulated machine: the N-th seam call of a run fails with
// a code that call plausibly fails with on Windows (access denied, sharing
// violation, not found, out of memory, disk full, ...), so that a test can
// make every call of a run fail in turn and check what the program does.
//
// Chosen by the environment, not by the image, since it belongs to one run:
//   QUORELFIX_FAIL_CALL=N     the N-th counted call fails with its first code
//   QUORELFIX_FAIL_CALL=N:K   ... with its K-th code (0-based)
//   QUORELFIX_CALL_LOG=FILE   every counted call appends "N name codes" to FILE
// Only calls that can fail are counted (GetLastError, Sleep, wsprintfW and
// the like are not). Nothing is counted or changed without these variables.
#pragma once

#include <optional>

#include "platform/win32.h"

namespace emu {

// The code the call named `call` fails with now, or none. Each seam function
// asks first, before it looks at its arguments or the machine.
std::optional<win::DWORD> injectedFailure(const char* call);

// For calls that report failure through the last-error code: sets it and
// returns the call's failure value.
template <typename T>
T failedWith(win::DWORD code, T result) {
  win::SetLastError(code);
  return result;
}

}  // namespace emu
