// A small valid machine image to start from: the fresh image of
// platform/emulated/machine/base_image.h, an administrator's Windows XP SP3
// desktop with Firefox running, one service, and the folders the program uses.
#include <cstdio>
#include <fstream>
#include <string_view>

#include "platform/emulated/machine/base_image.h"
#include "qfmachine.h"

namespace qfmachine {
namespace fs = std::filesystem;

namespace {

bool write(const fs::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int newImage(const fs::path& root) {
  std::error_code ec;
  if (fs::exists(root / "machine.toml", ec)) {
    std::fprintf(stderr, "qfmachine: %s already holds a machine image\n", root.c_str());
    return 1;
  }
  const fs::path c = root / "drive_c";
  for (std::string_view folder : emu::kFreshFolders) {
    fs::create_directories(c / folder, ec);
    if (ec) break;
  }
  bool written = !ec && write(root / "machine.toml", emu::freshMachineToml()) &&
                 write(root / "registry.reg", emu::kFreshRegistry);
  for (std::string_view file : emu::kFreshFiles) written = written && write(c / file, "");
  if (!written) {
    std::fprintf(stderr, "qfmachine: cannot create the image in %s\n", root.c_str());
    return 1;
  }
  std::printf("Created a machine image in %s\n", root.c_str());
  return 0;
}

}  // namespace qfmachine
