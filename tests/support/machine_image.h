// Building machine images for tests, running the program on them, and
// reading back what the run left: the report, the journal, files and the
// registry text.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qftest {

struct RunResult {
  int exitStatus = -1;   // the process's exit status (-1 when it did not exit normally)
  std::string out;       // standard output
  std::string err;       // standard error
};

// A fresh image folder under the test temp directory, removed by the
// destructor unless QF_KEEP_IMAGES is set in the environment.
class MachineImage {
 public:
  explicit MachineImage(std::string_view name);
  ~MachineImage();
  MachineImage(const MachineImage&) = delete;
  MachineImage& operator=(const MachineImage&) = delete;

  [[nodiscard]] const std::filesystem::path& root() const { return root_; }

  // Writes machine.toml (replacing it).
  void config(std::string_view toml);
  // Writes registry.reg in UTF-8 with the regedit header line prepended.
  void registry(std::string_view regBody);
  // Host path of a Windows path of the image ("C:\a\b" -> <root>/drive_c/a/b),
  // taking the components as written (no case-insensitive lookup).
  [[nodiscard]] std::filesystem::path host(std::string_view windowsPath) const;
  // Creates a file (and its folders) with the given bytes.
  void file(std::string_view windowsPath, std::string_view bytes);
  void folder(std::string_view windowsPath);
  [[nodiscard]] bool exists(std::string_view windowsPath) const;
  [[nodiscard]] std::string read(std::string_view windowsPath) const;

  // Runs the program on this image with the given arguments (argument 0 is
  // supplied). Standard input is not a terminal.
  RunResult run(const std::vector<std::string>& args = {}) const;
  // Boots the image (the machine tool's "boot"), which runs RunOnce entries.
  RunResult boot() const;

  [[nodiscard]] std::string journal() const;        // journal.txt as written
  [[nodiscard]] std::string registryText() const;   // registry.reg decoded to UTF-8

 private:
  std::filesystem::path root_;
};

// UTF-16LE bytes to UTF-8 (for reports), and back.
std::string fromUtf16le(std::string_view bytes);
std::string toUtf16le(std::string_view utf8);
// Reads a whole host file.
std::string slurp(const std::filesystem::path& path);

}  // namespace qftest
