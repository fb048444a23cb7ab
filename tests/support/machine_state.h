// The state of a machine image that a removal changes and a restore puts
// back: every file and folder of its drives with its bytes, and every
// registry key and value with its type and bytes, read through the seam.
// QuorelFix's own traces (its report and QuorelRestore's on the desktop, the
// backup folder with all it holds) are left out, so two states compare equal
// when everything else is as it was. The RunOnce value of a restart is no
// such trace: Windows takes it at the restart.
#pragma once

#include <map>
#include <set>
#include <string>

#include "support/machine_image.h"

namespace qftest {

struct MachineState {
  std::map<std::string, std::string> files;  // drive path -> bytes ("<folder>" for a folder)
  std::set<std::string> registry;            // "key" and "key\\name type=N bytes" lines, names as stored
};

MachineState machineState(const MachineImage& image);

// The lines of one state missing from the other, for a readable failure.
std::string stateDifference(const MachineState& expected, const MachineState& actual);

}  // namespace qftest
