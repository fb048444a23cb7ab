// The machine image the emulated backend runs on, and the services every part
// of the emulated machine shares: the image's folder and configuration, the
// journal of side effects, and the durable saving of changed machine state.
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

#include "platform/win32.h"

namespace emu {

// The Windows release the machine answers as where releases differ
// ([windows] version in machine.toml): Windows XP SP3, or Windows Vista and
// every later release, which answer alike in what the machine models.
enum class WindowsVersion { Xp, Vista };

struct Image {
  std::filesystem::path root;  // the image folder
  WindowsVersion windows = WindowsVersion::Xp;
  // Incremented whenever useImage() switches images; parts of the machine that
  // cache state compare it and reload.
  std::uint64_t generation = 0;
};

// The current image, loaded on first use.
const Image& image();
// Tests: switch to another image folder (or re-read the same one), dropping
// every cached state of the machine.
void useImage(const std::filesystem::path& root);
// The release the current image answers as.
WindowsVersion windowsVersion();
// The parsed machine.toml of the current image.
toml::table& config();
// Rewrites machine.toml after a change of machine state (an answer consumed,
// a process ended, a service deleted), so that the change survives the process.
// Returns 0, or the Windows code of the host's failure (also reported on
// stderr); the change stays made in memory either way.
win::DWORD saveConfig();
// The emulated clock as a FILETIME value (100-ns intervals since 1601, UTC).
std::uint64_t nowFileTime();
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);
// Appends one line to <image>/journal.txt and flushes it at once.
void journal(std::string_view line);
// C-style quoting of a journal field: backslash, double quote, CR, LF and tab escaped.
std::string quoted(std::string_view utf8);

}  // namespace emu
