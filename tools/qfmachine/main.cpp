#include <cstdio>
#include <cstring>

#include "qfmachine.h"

namespace {
constexpr char kUsage[] =
    "usage: qfmachine boot <image>              restart the machine: run and delete its RunOnce entries\n"
    "       qfmachine new <image>               create a small machine image\n"
    "       qfmachine show <image>              print the machine's state and journal\n"
    "       qfmachine import <image> <file.reg> merge a regedit export into the image's registry\n"
    "The image format is described in docs/machine-image.md.\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "import") == 0) return qfmachine::import(argv[2], argv[3]);
  if (argc != 3) return usage();
  if (std::strcmp(argv[1], "boot") == 0) return qfmachine::boot(argv[2]);
  if (std::strcmp(argv[1], "new") == 0) return qfmachine::newImage(argv[2]);
  if (std::strcmp(argv[1], "show") == 0) return qfmachine::show(argv[2]);
  return usage();
}
