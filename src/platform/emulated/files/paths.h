// Windows paths on the emulated machine's drives: each drive letter is the
// folder drive_<letter> of the image, and names are looked up without regard
// to case (keeping the case they were created with), as on NTFS.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine/windows_path.h"

namespace emu {

// Whether a single name may stand in a Windows path: no control characters
// (1-31), none of < > : " | / \, and * ? only where wildcards are allowed.
bool isValidName(std::u16string_view name, bool wildcards);

// The host path of an existing item, resolving every component without
// regard to case; none when a component does not exist.
std::optional<std::filesystem::path> findHostPath(const WindowsPath& path);

// Looks an item up the way the Windows path resolver answers: the host path,
// or the error Windows gives for it (ERROR_FILE_NOT_FOUND when only the last
// component is missing, ERROR_PATH_NOT_FOUND when a folder on the way is
// missing or is a file).
struct Lookup {
  std::optional<std::filesystem::path> host;
  std::uint32_t error = 0;
  bool folder = false;  // the item found is a folder
};
Lookup lookUp(const WindowsPath& path);
// The same, for a caller that asked answeredFromMemory and then found nothing
// at the host path as written (`written`, from writtenHostPath): the host is
// not asked again.
Lookup lookUpOtherCase(const WindowsPath& path, const std::string& written);

// The host path exactly as written (no name resolved without regard to case).
std::string writtenHostPath(const WindowsPath& path);
// Whether lookUp answers this path from a listed folder, asking the host
// nothing; `written` is its writtenHostPath.
bool answeredFromMemory(const WindowsPath& path, std::string_view written);

// The host path where an item would be: existing components resolved without
// regard to case, the missing rest appended as written.
std::filesystem::path hostPathFor(const WindowsPath& path);

// The host folder of a drive (drive_c for C:).
std::filesystem::path driveRoot(char16_t drive);

}  // namespace emu
