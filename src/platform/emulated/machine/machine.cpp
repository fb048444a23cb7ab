// The one owner of the machine's state (machine.h), and its reset.
#include "platform/emulated/machine/machine.h"

#include "platform/emulated/files/find.h"
#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/files/paths.h"
#include "platform/emulated/registry/state.h"

namespace emu {
namespace {
Machine current;
bool chosen = false;
}  // namespace

Machine& machine() {
  if (!chosen) useImage(imageFolderFromEnvironment());
  return current;
}

void chooseMachine(const Image& image, toml::table config) {
  current.image = image;
  current.config = std::move(config);
  current.saved = readSavedState(current.config);
  current.handles = {};
  current.privileges.reset();
  current.lastStartedPid = 0;
  reg::forgetRegistry();
  forgetFolderIndexes();
  forgetDriveRoots();
  endFileSearches();
  chosen = true;
}

}  // namespace emu
