// Windows paths as text: an absolute drive-letter path split into its
// drive and components, and back. The drives' files (files/paths.h) and the
// saved state's faults on files (saved_state.h) both name items so.
#pragma once

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
// anything else (relative and drive-relative paths such as "C:a", UNC paths).
std::optional<WindowsPath> parseWindowsPath(std::u16string_view path);

// "C:\a\b" for a parsed path (the drive root is "C:\").
std::u16string windowsText(const WindowsPath& path);

// The same path with one more component.
WindowsPath childPath(const WindowsPath& path, std::u16string_view name);

// True when `inner` is `outer` or lies below it (names compared without regard to case).
bool sameOrInside(const WindowsPath& inner, const WindowsPath& outer);

}  // namespace emu
