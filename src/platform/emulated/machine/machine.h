// The emulated machine's state: everything that a run changes or keeps in
// memory, owned here and reset in one place, chooseMachine, when useImage
// chooses an image. Nothing of one image's state outlives the choice of the
// next, but what is listed below as kept on purpose.
//
// Held here:
//   the image's folder and release, and its machine.toml as read (config);
//   the saved state of machine.toml, typed (saved_state.h): services,
//     processes, the message-box answers left and the faults on files;
//   the handle table: process, thread, token and service handles;
//   the token's privileges and whether each is enabled;
//   the id of the last process CreateProcessW started.
//   the state of the parts below, each made by its part on first use, of a
//   type that only its part knows (declared here, defined there: the machine
//   includes none of its parts):
//     registry/state.cpp   the key trees of registry.reg, the open key handles
//                          (their values are never given again), the registry
//                          faults;
//     files/folder_index   the listed folders' indexes;
//     files/paths          the drives' host folders;
//     files/find           the open file searches (their ids are never given again).
// Kept across images on purpose:
//   the last-error code (last_error.cpp): the calling thread's own, as
//     Windows keeps it in the thread's TEB;
//   the failing-call test mode and its count of calls (call_faults.cpp):
//     chosen by the environment for a whole run;
//   the runtime's open streams (files/runtime_files.cpp): host files the
//     program holds open, stamped with the clock when it closes them or ends;
//   the SIDs AllocateAndInitializeSid made (kernel/security.cpp): the
//     program's memory until it calls FreeSid;
//   the folder watch (files/folder_index.cpp): the host's inotify instance
//     and its signal, which watch whatever folders are indexed.
#pragma once

#include <map>
#include <memory>
#include <optional>

#include <toml++/toml.h>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/saved_state.h"
#include "platform/win32.h"

namespace emu {

namespace reg {
struct RegistryState;  // registry/state.cpp
}
struct FolderIndexes;  // files/folder_index.cpp
struct DriveRoots;     // files/paths.cpp
struct FileSearches;   // files/find.cpp

struct Machine {
  Image image;
  toml::table config;  // machine.toml as read; saveConfig writes it with `saved`
  SavedState saved;
  HandleTable handles;
  // The token's privileges held (LUID -> attributes), read from [token] on first use.
  std::optional<std::map<win::DWORD, win::DWORD>> privileges;
  win::DWORD lastStartedPid = 0;
  // The parts' own state (shared_ptr: destroyed here without its type known).
  std::shared_ptr<reg::RegistryState> registry;
  std::shared_ptr<FolderIndexes> folderIndexes;
  std::shared_ptr<DriveRoots> driveRoots;
  std::shared_ptr<FileSearches> fileSearches;
};

// A part's state in the current machine, made afresh on first use.
template <typename Part>
Part& partState(std::shared_ptr<Part>& slot) {
  if (!slot) slot = std::make_shared<Part>();
  return *slot;
}

// The machine of the current image; the image of QUORELFIX_IMAGE is chosen
// on first use.
Machine& machine();
// Makes `image` with its parsed machine.toml the current machine: one
// assignment, after which every part of the state starts afresh.
void chooseMachine(const Image& image, toml::table config);

}  // namespace emu
