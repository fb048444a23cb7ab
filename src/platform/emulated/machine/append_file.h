// Appending whole to a host file: the one routine that writes the journal's
// lines and registry.reg's blocks.
#pragma once

#include <string>
#include <string_view>

namespace emu {

// Appends `bytes` to the host file `path` (created, mode 0644, when missing)
// through one descriptor opened for appending, so that what is written
// reaches the system at once and lands whole at the end, also when the
// process is killed right after. A write interrupted by a signal is retried.
// Returns 0, or the host's errno (ENOSPC for a write that takes nothing).
[[nodiscard]] int appendToFile(const std::string& path, std::string_view bytes);

}  // namespace emu
