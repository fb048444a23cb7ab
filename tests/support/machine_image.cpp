#include "support/machine_image.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/emulated/machine/text.h"

extern char** environ;

namespace qftest {
namespace fs = std::filesystem;

namespace {

std::string sanitize(std::string_view name) {
  std::string s;
  for (char c : name) s.push_back((std::isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_');
  return s;
}

fs::path testTempRoot() {
  const char* t = std::getenv("TEST_TMPDIR");
  fs::path base = t ? fs::path(t) : fs::temp_directory_path();
  return base / "quorelfix-images";
}

void writeBytes(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

RunResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  RunResult result;
  fs::path outFile = fs::temp_directory_path() / ("qf-out-" + std::to_string(getpid()) + "-" +
                                                  std::to_string(reinterpret_cast<std::uintptr_t>(&result)));
  fs::path errFile = outFile;
  errFile += ".err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string_view v(*e);
    if (v.rfind("QUORELFIX_IMAGE=", 0) == 0) continue;
    env.emplace_back(v);
  }
  for (const auto& e : extraEnv) env.push_back(e);
  std::vector<char*> cargv;
  for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.err = "posix_spawn failed for " + argv[0];
    return result;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(outFile);
  result.err = slurp(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return result;
}

}  // namespace

MachineImage::MachineImage(std::string_view name) {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string testName = info ? std::string(info->test_suite_name()) + "." + info->name() : "image";
  root_ = testTempRoot() / (sanitize(testName) + "-" + sanitize(name) + "-" + std::to_string(getpid()) + "-" +
                            std::to_string(counter++));
  fs::remove_all(root_);
  fs::create_directories(root_ / "drive_c");
}

MachineImage::~MachineImage() {
  if (!std::getenv("QF_KEEP_IMAGES")) {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
}

void MachineImage::config(std::string_view toml) { writeBytes(root_ / "machine.toml", toml); }

void MachineImage::registry(std::string_view body) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  text += body;
  writeBytes(root_ / "registry.reg", text);
}

fs::path MachineImage::host(std::string_view windowsPath) const {
  std::string p(windowsPath);
  if (p.size() < 2 || p[1] != ':') throw std::invalid_argument("not a drive path: " + p);
  char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
  fs::path out = root_ / (std::string("drive_") + drive);
  std::string rest = p.substr(2);
  std::string part;
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) out /= part;
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) out /= part;
  return out;
}

void MachineImage::file(std::string_view windowsPath, std::string_view bytes) {
  writeBytes(host(windowsPath), bytes);
}

void MachineImage::folder(std::string_view windowsPath) { fs::create_directories(host(windowsPath)); }

bool MachineImage::exists(std::string_view windowsPath) const { return fs::exists(host(windowsPath)); }

std::string MachineImage::read(std::string_view windowsPath) const { return slurp(host(windowsPath)); }

// With QF_STASH_IMAGES=<folder>, every image is copied there as it is just
// before the program's first run on it, with its arguments in args.txt (one a
// line): the reliability runs (tools/reliability) take the scenarios' images
// from there.
namespace {
void stashBeforeRun(const fs::path& root, const std::vector<std::string>& args) {
  const char* stash = std::getenv("QF_STASH_IMAGES");
  if (!stash || !*stash || fs::exists(root / "journal.txt")) return;  // stashed before its first run only
  const fs::path copy = fs::path(stash) / root.filename();
  std::error_code ec;
  if (fs::exists(copy, ec)) return;
  fs::create_directories(copy.parent_path(), ec);
  fs::copy(root, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  std::string lines;
  for (const auto& a : args) lines += a + "\n";
  writeBytes(copy / "args.txt", lines);
}
}  // namespace

RunResult MachineImage::run(const std::vector<std::string>& args) const {
  stashBeforeRun(root_, args);
  std::vector<std::string> argv{QF_PROGRAM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, {"QUORELFIX_IMAGE=" + root_.string()});
}

RunResult MachineImage::boot() const {
  return runProcess({QF_MACHINE_TOOL_PATH, "boot", root_.string()}, {});
}

std::string MachineImage::journal() const { return slurp(root_ / "journal.txt"); }

std::string MachineImage::registryText() const {
  std::string raw = slurp(root_ / "registry.reg");
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE)
    return fromUtf16le(std::string_view(raw).substr(2));
  return raw;
}

std::string fromUtf16le(std::string_view bytes) {
  std::u16string u;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return emu::toUtf8(u);
}

std::string toUtf16le(std::string_view utf8) {
  std::u16string u = emu::toUtf16(utf8);
  std::string out;
  for (char16_t c : u) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::string slurp(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace qftest
