// The one owner of the machine's state (machine.h), and its reset.
#include "platform/emulated/machine/machine.h"

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
  Machine chosenMachine;
  chosenMachine.image = image;
  chosenMachine.saved = readSavedState(config);
  chosenMachine.config = std::move(config);
  current = std::move(chosenMachine);
  chosen = true;
}

}  // namespace emu
