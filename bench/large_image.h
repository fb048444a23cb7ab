// The large machine image the full-scan benchmarks run on, and the reading
// they are measured against. Shared by full_scan_bench and host_call_replay.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace qfbench {

namespace fs = std::filesystem;

inline fs::path sourceDir() { return QF_SOURCE_DIR; }

inline fs::path programPath() {
  if (const char* p = std::getenv("QF_PROGRAM")) return p;
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "QuorelFix";
}

// The large image: given, or generated once (from the fresh image of the
// qfmachine beside the program).
inline fs::path largeImage() {
  if (const char* p = std::getenv("QF_LARGE_IMAGE")) return p;
  fs::path image = fs::temp_directory_path() / "quorelfix-large-image";
  if (!fs::exists(image / "examined.txt")) {
    fs::remove_all(image);
    std::string cmd = "python3 '" + (sourceDir() / "tools/make-large-image/make_large_image.py").string() + "' '" +
                      image.string() + "' --qfmachine '" + (programPath().parent_path() / "qfmachine").string() + "'";
    if (std::system(cmd.c_str()) != 0) std::cerr << "generating the image failed\n";
  }
  return image;
}

// A working copy: the machine's own files copied, the drives hard-linked.
inline fs::path freshCopy(const fs::path& image) {
  fs::path work = image;
  work += "-run";
  fs::remove_all(work);
  fs::create_directories(work);
  for (const auto& entry : fs::directory_iterator(image)) {
    const fs::path name = entry.path().filename();
    if (entry.is_directory())
      fs::copy(entry.path(), work / name, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    else if (name != "journal.txt")
      fs::copy_file(entry.path(), work / name);
  }
  return work;
}

struct Examined {
  std::vector<fs::path> files;
  std::vector<fs::path> folders;
  std::uintmax_t bytes = 0;
  std::uintmax_t largest = 0;
};

inline Examined readManifest(const fs::path& image) {
  Examined ex;
  std::ifstream in(image / "examined.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 3) continue;
    fs::path p = image / line.substr(2);
    if (line[0] == 'F') {
      ex.files.push_back(p);
      const auto size = fs::file_size(p);
      ex.bytes += size;
      ex.largest = std::max(ex.largest, size);
    } else {
      ex.folders.push_back(p);
    }
  }
  return ex;
}

// Reads every examined file once, in 16 KiB pieces, and lists every folder.
inline double readOnce(const Examined& ex) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<char> buffer(16384);
  std::uintmax_t seen = 0;
  for (const auto& p : ex.files) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(p.c_str(), "rb"), &std::fclose);
    if (!f) continue;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0) seen += n;
  }
  for (const auto& d : ex.folders)
    for (const auto& entry : fs::directory_iterator(d)) seen += entry.path().native().size();
  benchmark::DoNotOptimize(seen);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Run {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

// Runs the program on the image, as a user answering Yes would; `wrapper`
// (a tracer and its arguments, found on PATH) runs it when given.
inline Run runProgram(const fs::path& image, const std::vector<std::string>& wrapper = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).rfind("QUORELFIX_IMAGE=", 0) != 0) env.emplace_back(*e);
  env.push_back("QUORELFIX_IMAGE=" + image.string());
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  std::vector<std::string> args = wrapper;
  args.push_back(programPath().string());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), cenv.data()) == 0) {
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

}  // namespace qfbench
