#include <cstdio>
#include <cstring>

#include "qfmachine.h"

namespace {
int usage() {
  std::fprintf(stderr,
               "usage: qfmachine boot <image>   restart the machine: run and delete its RunOnce entries\n"
               "       qfmachine new <image>    create a small machine image\n"
               "       qfmachine show <image>   print the machine's state and journal\n"
               "The image format is described in docs/machine-image.md.\n");
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  if (std::strcmp(argv[1], "boot") == 0) return qfmachine::boot(argv[2]);
  if (std::strcmp(argv[1], "new") == 0) return qfmachine::newImage(argv[2]);
  if (std::strcmp(argv[1], "show") == 0) return qfmachine::show(argv[2]);
  return usage();
}
