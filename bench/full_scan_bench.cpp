// A full scan on a large machine image, against the time it takes just to
// read what the scan examines.
//
//   cmake --preset bench && cmake --build --preset bench -j2
//   build/bench/bench/full_scan_bench
//
// The image comes from QF_LARGE_IMAGE, or is generated once with
// tools/make-large-image/make_large_image.py into the temp folder (its
// defaults: 50 profiles of 40 extensions, 20,000 files in C:\WINDOWS, about
// 650 MB of files). Each run works on a fresh copy (drive folders hard-linked,
// so the copy is cheap and the scan's moves do not touch the original).
//
// Printed side by side, from one run:
//   scan_s   wall time of the whole program run (every scan, the report);
//   read_s   reading every file the scan examines once, and listing every
//            folder it lists once (the image's examined.txt), cache warm;
//   ratio    scan_s / read_s; the target is at most 2;
//   peak_MiB the run's peak resident memory, which must not grow with the size
//            of the files examined (compare a run with --big-mb 32 and 128).
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

namespace fs = std::filesystem;

extern char** environ;

namespace {

fs::path sourceDir() { return fs::path(__FILE__).parent_path().parent_path(); }

fs::path programPath() {
  if (const char* p = std::getenv("QF_PROGRAM")) return p;
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "QuorelFix";
}

// The large image: given, or generated once.
fs::path largeImage() {
  if (const char* p = std::getenv("QF_LARGE_IMAGE")) return p;
  fs::path image = fs::temp_directory_path() / "quorelfix-large-image";
  if (!fs::exists(image / "examined.txt")) {
    fs::remove_all(image);
    std::string cmd = "python3 '" + (sourceDir() / "tools/make-large-image/make_large_image.py").string() + "' '" +
                      image.string() + "'";
    if (std::system(cmd.c_str()) != 0) std::cerr << "generating the image failed\n";
  }
  return image;
}

// A working copy: the machine's own files copied, the drives hard-linked.
fs::path freshCopy(const fs::path& image) {
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

Examined readManifest(const fs::path& image) {
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
double readOnce(const Examined& ex) {
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

// Runs the program on the image, as a user answering Yes would.
Run runProgram(const fs::path& image) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).rfind("QUORELFIX_IMAGE=", 0) != 0) env.emplace_back(*e);
  env.push_back("QUORELFIX_IMAGE=" + image.string());
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  const std::string program = programPath().string();
  std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), cenv.data()) == 0) {
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

void BM_FullScan(benchmark::State& state) {
  const fs::path image = largeImage();
  const Examined examined = readManifest(image);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path work = freshCopy(image);
    readOnce(examined);  // warms the cache for both sides
    const double readSeconds = readOnce(examined);
    state.ResumeTiming();
    const Run run = runProgram(work);
    state.SetIterationTime(run.seconds);
    if (run.status != 0) state.SkipWithError("the program did not end with status 0");

    const double ratio = run.seconds / readSeconds;
    state.counters["scan_s"] = run.seconds;
    state.counters["read_s"] = readSeconds;
    state.counters["ratio"] = ratio;
    state.counters["peak_MiB"] = static_cast<double>(run.peakKiB) / 1024.0;
    state.counters["examined_MiB"] = static_cast<double>(examined.bytes) / (1024.0 * 1024.0);
    state.counters["largest_MiB"] = static_cast<double>(examined.largest) / (1024.0 * 1024.0);
    std::printf(
        "full scan %.3f s | read once %.3f s | ratio %.2f (target <= 2) | peak memory %.1f MiB | "
        "examined %zu files (%.1f MiB, largest %.1f MiB), %zu folders\n",
        run.seconds, readSeconds, ratio, static_cast<double>(run.peakKiB) / 1024.0, examined.files.size(),
        static_cast<double>(examined.bytes) / (1024.0 * 1024.0),
        static_cast<double>(examined.largest) / (1024.0 * 1024.0), examined.folders.size());
  }
}
BENCHMARK(BM_FullScan)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
