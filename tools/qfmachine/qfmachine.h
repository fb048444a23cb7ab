// qfmachine: the emulated machine's own tool. Subcommands:
//   boot <image>   restart the machine (RunOnce entries run)
//   new <image>    create a small valid image
//   show <image>   print the machine's state and its journal
//   import <image> <file.reg>   merge a regedit export into the image's registry
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qfmachine {

int boot(const std::filesystem::path& image);
int newImage(const std::filesystem::path& image);
int show(const std::filesystem::path& image);
int import(const std::filesystem::path& image, const std::filesystem::path& regFile);

// A value of HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce that
// holds a command line (REG_EXPAND_SZ expanded).
struct RunOnceEntry {
  std::u16string name;
  std::u16string command;
};
// The current image's RunOnce entries, in the order the key lists them.
std::vector<RunOnceEntry> runOnceEntries();

}  // namespace qfmachine
