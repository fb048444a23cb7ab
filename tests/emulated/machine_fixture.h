// A machine image switched to for one test: the emulated machine's calls
// act on it in-process.
#pragma once

#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "support/machine_image.h"

namespace qftest {

struct Machine {
  MachineImage image;
  Machine(std::string_view name, std::string_view toml) : image(name) {
    image.config(toml);
    emu::useImage(image.root());
  }
  // machine.toml as the machine left it, read afresh.
  [[nodiscard]] toml::table saved() const { return toml::parse_file((image.root() / "machine.toml").string()); }
};

}  // namespace qftest
