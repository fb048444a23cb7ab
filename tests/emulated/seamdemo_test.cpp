// The seam demo on a machine image: the same program that runs on Windows
// reads and writes the emulated registry, lists an emulated folder and moves a
// file with the shell.
#include <gtest/gtest.h>

#include "support/machine_image.h"
#include "support/run_program.h"

namespace {

TEST(SeamDemo, CountsItsRunsListsAndMovesAFile) {
  qftest::MachineImage image("seamdemo");
  image.config("[environment]\nUSERPROFILE = 'C:\\Users\\Owner'\n");
  image.registry(
      "[HKEY_CURRENT_USER\\Software\\QuorelFixSeamDemo]\r\n"
      "\"Runs\"=dword:00000029\r\n\r\n");
  image.file("C:\\demo\\in\\b.txt", "bb");
  image.file("C:\\demo\\in\\a.txt", "a");
  image.folder("C:\\demo\\in\\sub");
  image.folder("C:\\demo\\out");

  qftest::RunResult run = qftest::runProgramOn(image, QF_SEAMDEMO_PATH, {"C:\\demo\\in", "C:\\demo\\out"});

  EXPECT_EQ(run.out,
            "registry: HKEY_CURRENT_USER\\Software\\QuorelFixSeamDemo: RegCreateKeyExW 0 (opened)\n"
            "registry: Runs read: 0, 41\n"
            "registry: Runs written: 0, 42\n"
            "registry: Greeting read back: 0, type 1, 46 bytes, \"hello through the seam\"\n"
            "files: C:\\demo\\in\\*\n"
            "  . <folder>\n"
            "  .. <folder>\n"
            "  a.txt 1 bytes\n"
            "  b.txt 2 bytes\n"
            "  sub <folder>\n"
            "files: end of listing: 18\n"
            "move: C:\\demo\\in\\a.txt -> C:\\demo\\out\\a.txt: SHFileOperationW 0\n"
            "seamdemo: done\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_FALSE(image.exists("C:\\demo\\in\\a.txt"));
  EXPECT_EQ(image.read("C:\\demo\\out\\a.txt"), "a");
  // The registry text the run leaves holds the new count, in one of the forms
  // regedit imports.
  std::string registry = image.registryText();
  EXPECT_TRUE(registry.find("\"Runs\"=dword:0000002a") != std::string::npos ||
              registry.find("\"Runs\"=hex(4):2a,00,00,00") != std::string::npos)
      << registry;
}

}  // namespace
