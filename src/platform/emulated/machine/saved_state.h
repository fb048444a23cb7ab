// The machine state that machine.toml keeps from run to run: the services,
// the running processes, the message-box answers not yet given and the
// faults on files. Read from the configuration in one place when an image is
// chosen, and written into a copy of it in one place when machine.toml is
// rewritten; the configuration itself stays as read.
//
// Each entry remembers the position of the element of the configuration's
// list it was read from: writing back changes only the keys whose value
// changed and removes the elements of entries that are gone, so every key
// the machine does not model (and every entry it cannot read) stays as the
// image has it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <toml++/toml.h>

#include "platform/emulated/machine/windows_path.h"
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
  std::size_t source = 0;                      // its element of [[service]] as read
};

// [[process]]
struct Process {
  win::DWORD pid = 0;                          // pid
  std::u16string path;                         // path
  bool openable = true;                        // openable
  bool endsWhenTerminated = true;              // ends_when_terminated
  std::size_t source = 0;                      // its element of [[process]]
};

// [message_boxes] answers
struct MessageBoxAnswer {
  std::optional<int> id;                       // none: a name that is no answer
  std::string written;                         // the answer as the image writes it (a name), for messages
  std::size_t source = 0;                      // its element of answers
};

// [[fault.file]]: the item is locked or denied.
struct FileFault {
  std::optional<WindowsPath> path;             // path; none: no drive path, which no item is
  win::DWORD code = win::ERROR_SHARING_VIOLATION;  // code: what opening or moving the item fails with
  bool attributes = true;                      // attributes: attribute queries and listings still work
  bool untilBoot = false;                      // until_boot: the restart frees the item
  std::size_t source = 0;                      // its element of [[fault.file]]
};

struct SavedState {
  std::vector<Service> services;
  std::vector<Process> processes;
  std::vector<MessageBoxAnswer> answers;      // the next answer first
  std::vector<FileFault> fileFaults;          // in the order machine.toml lists them
};

// A service state's name in machine.toml: "stopped", "running", ...
const char* serviceStateName(win::DWORD state);

// The saved state of a configuration.
SavedState readSavedState(const toml::table& config);
// The configuration `state` was read from, brought up to it: removed
// entries' elements erased, changed values assigned.
toml::table withSavedState(const SavedState& state, const toml::table& config);

}  // namespace emu
