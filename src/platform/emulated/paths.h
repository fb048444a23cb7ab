// Windows paths on the emulated machine's drives: each drive letter is the
// folder drive_<letter> of the image, and names are looked up without regard
// to case (keeping the case they were created with), as on NTFS.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

struct WindowsPath {
  char16_t drive = 0;                     // upper-case drive letter
  std::vector<std::u16string> components; // folders and name below the drive root
  bool trailingSeparator = false;
};

// Splits an absolute drive-letter path ("C:\a\b", both separators accepted,
// "." and empty components dropped, ".." climbing within the drive). None for
// anything else (relative paths, UNC paths).
std::optional<WindowsPath> parseWindowsPath(std::u16string_view path);

// The host path of an existing item, resolving every component without
// regard to case; none when a component does not exist.
std::optional<std::filesystem::path> findHostPath(const WindowsPath& path);

// The host path where an item would be: existing components resolved without
// regard to case, the missing rest appended as written.
std::filesystem::path hostPathFor(const WindowsPath& path);

}  // namespace emu
