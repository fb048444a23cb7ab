// qfmachine: the emulated machine's own tool. Subcommands:
//   boot <image>   restart the machine (RunOnce entries run)
//   new <image>    create a small valid image
//   show <image>   print the machine's state and its journal
#pragma once

#include <filesystem>

namespace qfmachine {

int boot(const std::filesystem::path& image);
int newImage(const std::filesystem::path& image);
int show(const std::filesystem::path& image);

}  // namespace qfmachine
