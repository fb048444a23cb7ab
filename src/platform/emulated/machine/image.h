// The machine image the emulated backend runs on: the image's folder and
// configuration, and the durable saving of changed machine state. The
// journal (journal.h) and the clock (clock.h), which every part of the
// machine uses, come with this header.
//
// The image is chosen by the environment variable QUORELFIX_IMAGE, the way
// WINEPREFIX chooses a Wine prefix. Without it, or with a folder that is no
// image, the first call through the seam prints a clear message to standard
// error and ends the process with status 2, before anything is changed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <toml++/toml.h>

// Every part of the machine journals and reads the clock: they come with the image.
#include "platform/emulated/machine/clock.h"
#include "platform/emulated/machine/journal.h"
#include "platform/win32.h"

namespace emu {

// The Windows release the machine answers as where releases differ
// ([windows] version in machine.toml): Windows XP SP3, or Windows Vista and
// every later release, which answer alike in what the machine models.
enum class WindowsVersion { Xp, Vista };

struct Image {
  std::filesystem::path root;  // the image folder
  WindowsVersion windows = WindowsVersion::Xp;
};

// The current image, loaded on first use.
const Image& image();
// The image folder QUORELFIX_IMAGE names; stops the process when it names none.
std::filesystem::path imageFolderFromEnvironment();
// Chooses an image folder (tests: another one, or the same one re-read): the
// machine starts afresh on it (machine.h).
void useImage(const std::filesystem::path& root);
// What a part of the machine reads of a newly chosen image before the
// program acts (the registry its registry.reg, the service manager the
// services' keys). A part registers its reader with a static ImageReader in
// its own file; useImage calls the readers by stage, lowest first, so that a
// part can build on what an earlier stage read.
using ReadImagePart = void (*)();
struct ImageReader {
  ImageReader(int stage, ReadImagePart read);
};
inline constexpr int kReadRegistryStage = 0;
inline constexpr int kReadServicesStage = 1;  // the services' keys are read from the registry
// Stops the process with status 2 and `why` on standard error: an image
// that cannot be read is refused before the program acts.
[[noreturn]] void refuseImage(const std::string& why);
// The release the current image answers as.
WindowsVersion windowsVersion();
// The parsed machine.toml of the current image, as read (what a run changes
// of it is the saved state, saved_state.h).
toml::table& config();
// Rewrites machine.toml after a change of machine state (an answer consumed,
// a process ended, a service deleted), so that the change survives the process:
// the configuration as read, with the saved state (saved_state.h) written into it.
// Returns 0, or the Windows code of the host's failure (also reported on
// stderr); the change stays made in memory either way.
win::DWORD saveConfig();

}  // namespace emu
