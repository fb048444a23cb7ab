// Running a program other than QuorelFix (the seam demo, the contract tests)
// on a machine image: the image is handed over in QUORELFIX_IMAGE, standard
// input is empty, standard output is captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/machine_image.h"

namespace qftest {

RunResult runProgramOn(const MachineImage& image, const std::filesystem::path& program,
                       const std::vector<std::string>& args);

}  // namespace qftest
