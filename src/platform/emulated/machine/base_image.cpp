// The base machine image's texts (base_image.h).
#include "platform/emulated/machine/base_image.h"

namespace emu {

std::string windowsToml(std::string_view version) {
  return "[windows]\nversion = \"" + std::string(version) + "\"\n";
}

std::string freshMachineToml() {
  return windowsToml("xp") + std::string(kOwnerEnvironmentToml) + "WINDIR = 'C:\\WINDOWS'\n" +
         std::string(kFixedClockToml) + std::string(kProgramOnDesktopToml) + std::string(kAdministratorTokenToml) +
         "failing_calls = {}\n" + std::string(kSystemProcessToml) + R"(
[[process]]
pid = 2740
path = 'C:\Program Files\Mozilla Firefox\firefox.exe'

[service_manager]
open_error = 0

[[service]]
name = "Spooler"
state = "running"
accepts_stop = true

[message_boxes]
answers = []
)";
}

}  // namespace emu
