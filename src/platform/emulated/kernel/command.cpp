// The runtime's system(): a command line run through the command interpreter.
// The emulated machine has no interpreter; it records the command in the
// journal, prints nothing, and reports that the command ran and exited with 0.
#include <cerrno>

#include "platform/emulated/machine/call_faults.h"
#include "platform/emulated/machine/image.h"
#include "platform/win32.h"

namespace win {

int system(const char* command) {
  // system(NULL) asks whether an interpreter exists.
  if (!command) return 1;
  if (emu::injectedFailure("system")) {
    errno = ENOENT;  // no command interpreter could be started
    return -1;
  }
  emu::journal("system command=" + emu::quoted(command));
  return 0;
}

}  // namespace win
