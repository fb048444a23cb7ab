// The machine state that machine.toml keeps from run to run: the services,
// the running processes and the message-box answers not yet given. Read from
// the configuration in one place when an image is chosen, and written back
// into it in one place before machine.toml is rewritten.
//
// Each entry remembers the table of the configuration it was read from:
// writing back changes only the keys whose value changed and removes the
// tables of entries that are gone, so every key the machine does not model
// (and every entry it cannot read) stays as the image has it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <toml++/toml.h>

#include "platform/win32.h"

namespace emu {

// [[service]]
struct Service {
  std::u16string name;                         // as stored; looked up without regard to case
  win::DWORD state = win::SERVICE_RUNNING;     // state
  bool acceptsStop = true;                     // accepts_stop
  bool stopsAtOnce = true;                     // stops_at_once
  win::DWORD openError = 0;                    // open_error
  win::DWORD deleteError = 0;                  // delete_error
  win::DWORD stopError = 0;                    // stop_error
  bool markedForDeletion = false;              // marked_for_deletion
  const void* source = nullptr;                // its table in the configuration
  // Read from its key under HKLM\SYSTEM\CurrentControlSet\Services, with no
  // [[service]] entry: stopped; written to machine.toml once its state is
  // more than the key says (marked for deletion).
  bool fromKey = false;
};

// [[process]]
struct Process {
  win::DWORD pid = 0;                          // pid
  std::u16string path;                         // path
  bool openable = true;                        // openable
  bool endsWhenTerminated = true;              // ends_when_terminated
  const void* source = nullptr;
};

// [message_boxes] answers
struct MessageBoxAnswer {
  std::optional<int> id;                       // none: a name that is no answer
  std::string written;                         // the answer as the image writes it (a name), for messages
  const void* source = nullptr;
};

struct SavedState {
  std::vector<Service> services;
  std::vector<Process> processes;
  std::vector<MessageBoxAnswer> answers;      // the next answer first
};

// A service state's name in machine.toml: "stopped", "running", ...
const char* serviceStateName(win::DWORD state);

// The saved state of a configuration, which must outlive it unchanged but
// for writeSavedState.
SavedState readSavedState(const toml::table& config);
// Brings the configuration up to `state`: removed entries' tables erased,
// changed values assigned.
void writeSavedState(const SavedState& state, toml::table& config);

}  // namespace emu
