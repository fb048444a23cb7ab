// Loading the machine image and saving changed machine state.
#include "platform/emulated/machine/image.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/emulated/machine/folder_entries.h"
#include "platform/emulated/machine/host_error.h"
#include "platform/emulated/machine/machine.h"

namespace emu {
namespace fs = std::filesystem;

// Stops the process before anything is changed: a run without a machine has
// nothing it could safely touch.
void refuseImage(const std::string& why) {
  std::fprintf(stderr, "QuorelFix (emulated Windows): %s\n", why.c_str());
  std::fflush(stderr);
  std::exit(2);
}

namespace {
[[noreturn]] void refuse(const std::string& why) { refuseImage(why); }

// Host folder listings, one buffer for each depth of the walk (the entries
// are looked at where they lie, none copied out).
using WalkBuffers = std::vector<std::unique_ptr<char[]>>;

// One host folder below a drive folder and every folder below it, in the
// order of a recursive listing: refuses at the first symbolic link. Listed
// with getdents64 and opened with openat itself: the runtime's folder walk
// asks every folder's kind and flags first (three more host calls a folder,
// over every folder of the image, before the program does anything). False
// when the host fails other than by refusing access to a folder, which ends
// the walk.
bool refuseLinksWithin(int folder, const fs::path& shown, WalkBuffers& buffers, std::size_t depth) {
  if (buffers.size() <= depth) buffers.push_back(std::make_unique_for_overwrite<char[]>(kFolderBufferSize));
  return forEachEntry(folder, buffers[depth].get(), [&](std::string_view name, unsigned char type, const char* cname) {
    if (type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(folder, cname, &st, AT_SYMLINK_NOFOLLOW) == 0)
        type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_LNK)
      refuse("the machine image holds a symbolic link, " + (shown / name).string() +
             "; an image holds plain files and folders only, and the machine acts on nothing outside it.");
    if (type != DT_DIR) return true;
    const int below = ::openat(folder, cname, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (below < 0) return errno == EACCES;  // a folder the host will not list is passed over
    const bool walked = refuseLinksWithin(below, shown / name, buffers, depth + 1);
    ::close(below);
    return walked;
  });
}

// The machine acts on its image's host files by path, and a host would follow
// a symbolic link out of the image: a script line naming a file below the link
// would move a host file that belongs to no image into the backup folder. An
// image is plain files and folders, so a link anywhere below a drive folder
// (or a drive folder that is one) stops the machine before it acts.
void refuseLinks(const fs::path& root) {
  std::error_code ec;
  WalkBuffers buffers;
  for (const auto& drive : fs::directory_iterator(root, ec)) {
    const std::string name = drive.path().filename().string();
    if (name.rfind("drive_", 0) != 0) continue;
    std::error_code linkError;
    if (drive.is_symlink(linkError))
      refuse("the machine image's drive folder " + drive.path().string() +
             " is a symbolic link; an image holds plain files and folders only.");
    const int folder = ::open(drive.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) continue;
    refuseLinksWithin(folder, drive.path(), buffers, 0);
    ::close(folder);
  }
}

// [windows] version: "xp" (the default) or "vista". Anything else stops the
// machine as a configuration that does not parse does.
WindowsVersion readWindowsVersion(const toml::table& parsed, const fs::path& file) {
  const toml::node* windows = parsed.get("windows");
  if (!windows) return WindowsVersion::Xp;
  const toml::table* table = windows->as_table();
  if (!table)
    refuse("the machine image's configuration cannot be read: " + file.string() +
           ": windows must be a table, [windows] with version = \"xp\" or \"vista\".");
  const toml::node* version = table->get("version");
  if (!version) return WindowsVersion::Xp;
  const std::optional<std::string> name = version->value<std::string>();
  if (name == "xp") return WindowsVersion::Xp;
  if (name == "vista") return WindowsVersion::Vista;
  std::ostringstream shown;
  shown << toml::node_view<const toml::node>(version);
  refuse("the machine image's configuration cannot be read: " + file.string() +
         ": [windows] version must be \"xp\" (Windows XP SP3) or \"vista\" (Windows Vista and later), not " +
         shown.str() + ".");
}

struct RegisteredReader {
  int stage;
  ReadImagePart read;
};

// Kept in a function's static, so that readers registered from other files'
// static initializers find it made, in whatever order those run.
std::vector<RegisteredReader>& imageReaders() {
  static std::vector<RegisteredReader> readers;
  return readers;
}

}  // namespace

ImageReader::ImageReader(int stage, ReadImagePart read) {
  std::vector<RegisteredReader>& readers = imageReaders();
  auto at = readers.begin();
  while (at != readers.end() && at->stage <= stage) ++at;
  readers.insert(at, RegisteredReader{stage, read});
}

const Image& image() { return machine().image; }

fs::path imageFolderFromEnvironment() {
  const char* root = std::getenv("QUORELFIX_IMAGE");
  if (!root || !*root)
    refuse("QUORELFIX_IMAGE is not set. Set it to a machine image folder (see docs/machine-image.md), "
           "for example: QUORELFIX_IMAGE=/path/to/image QuorelFix");
  return root;
}

void useImage(const fs::path& root) {
  std::error_code ec;
  const fs::path file = root / "machine.toml";
  if (!fs::is_directory(root, ec)) refuse("the machine image folder " + root.string() + " does not exist.");
  if (!fs::is_regular_file(file, ec))
    refuse(root.string() + " is not a machine image: it holds no machine.toml (see docs/machine-image.md).");
  toml::table parsed;
  try {
    parsed = toml::parse_file(file.string());
  } catch (const toml::parse_error& e) {
    std::ostringstream where;
    where << file.string() << ":" << e.source().begin.line << ":" << e.source().begin.column << ": "
          << e.description();
    refuse("the machine image's configuration cannot be read: " + where.str());
  }
  refuseLinks(root);
  const WindowsVersion windows = readWindowsVersion(parsed, file);
  Image chosen;
  chosen.root = fs::absolute(root, ec);
  if (ec) chosen.root = root;
  chosen.windows = windows;
  chooseMachine(chosen, std::move(parsed));
  // The parts read the image now (registry.reg first), so that a line they
  // cannot read refuses the image before the program acts.
  for (const RegisteredReader& reader : imageReaders()) reader.read();
}

WindowsVersion windowsVersion() { return image().windows; }

toml::table& config() { return machine().config; }

win::DWORD saveConfig() {
  Machine& m = machine();
  // Written beside and renamed over the old file, so that a killed process
  // leaves either the old or the new state, never half a file.
  const fs::path file = m.image.root / "machine.toml";
  fs::path temp = file;
  temp += ".new";
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << "# Rewritten by the emulated machine when its state changed (comments are not kept).\n";
    out << withSavedState(m.saved, m.config) << "\n";
    out.flush();
    if (!out) {
      const win::DWORD code = windowsErrorFromErrno(errno);
      std::fprintf(stderr, "QuorelFix (emulated Windows): cannot write %s (error %lu)\n", temp.string().c_str(),
                   static_cast<unsigned long>(code));
      return code;
    }
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  if (!ec) return 0;
  const win::DWORD code = windowsErrorFromErrno(ec.value());
  std::fprintf(stderr, "QuorelFix (emulated Windows): cannot replace %s (error %lu)\n", file.string().c_str(),
               static_cast<unsigned long>(code));
  return code;
}

}  // namespace emu
