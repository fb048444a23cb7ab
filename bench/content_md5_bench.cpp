// Throughput of the signature search and of the MD5 fingerprint on one large
// file, each side by side with its yardstick in the same run:
//   fileContains  vs  `grep -c -F` for a signature the file does not hold;
//   md5           vs  OpenSSL's MD5 over the same file in the same chunks.
// Prints both ratios at the end (target: search >= 1.0, md5 >= 0.9).
//
//   content_md5_bench --file=PATH [Google Benchmark flags]
//
// bench/run-content-md5.sh builds this, makes a large test file and runs it.
// OpenSSL is loaded at run time (libcrypto.so.3), so the program itself never
// links it and this benchmark needs no extra build settings.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "platform/emulated/machine/image.h"
#include "system/md5.h"
#include "system/scanner.h"

namespace {

namespace fs = std::filesystem;

std::string gFile;            // the large host file
std::uintmax_t gFileSize = 0;
const char* const kSignature = "id=\"xulcache-overlay\"";  // absent from the file
std::u16string gImagePath;    // the same file, as seen on the emulated machine

// ---------------------------------------------------------------- OpenSSL, loaded at run time
struct OpenSsl {
  int (*init)(void*) = nullptr;
  int (*update)(void*, const void*, std::size_t) = nullptr;
  int (*final)(unsigned char*, void*) = nullptr;
};

OpenSsl loadOpenSsl() {
  OpenSsl ssl;
  void* lib = dlopen("libcrypto.so.3", RTLD_NOW);
  if (!lib) lib = dlopen("libcrypto.so", RTLD_NOW);
  if (!lib) return ssl;
  ssl.init = reinterpret_cast<int (*)(void*)>(dlsym(lib, "MD5_Init"));
  ssl.update = reinterpret_cast<int (*)(void*, const void*, std::size_t)>(dlsym(lib, "MD5_Update"));
  ssl.final = reinterpret_cast<int (*)(unsigned char*, void*)>(dlsym(lib, "MD5_Final"));
  return ssl;
}

const OpenSsl& openSsl() {
  static const OpenSsl ssl = loadOpenSsl();
  return ssl;
}

// ---------------------------------------------------------------- benchmarks
void BM_FileContains(benchmark::State& state) {
  std::FILE* f = std::fopen(gFile.c_str(), "rb");
  if (!f) return state.SkipWithError("cannot open the file");
  for (auto _ : state) benchmark::DoNotOptimize(fileContains(f, kSignature));
  std::fclose(f);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

void BM_GrepCountFixed(benchmark::State& state) {
  const std::string command = std::string("grep -c -F '") + kSignature + "' '" + gFile + "' > /dev/null";
  // grep exits with 1 when no line matches, which is the case measured.
  const int probe = std::system(command.c_str());
  if (probe == -1 || WEXITSTATUS(probe) != 1) return state.SkipWithError("grep did not run, or found the signature");
  for (auto _ : state) benchmark::DoNotOptimize(std::system(command.c_str()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

void BM_Md5(benchmark::State& state) {
  if (!md5(gImagePath)) return state.SkipWithError("the emulated machine cannot open files yet");
  for (auto _ : state) benchmark::DoNotOptimize(md5(gImagePath));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

void BM_OpenSslMd5(benchmark::State& state) {
  const OpenSsl& ssl = openSsl();
  if (!ssl.init || !ssl.update || !ssl.final) return state.SkipWithError("libcrypto.so.3 not found");
  std::array<unsigned char, 16384> chunk;
  alignas(16) unsigned char context[256];  // OpenSSL's MD5_CTX is 92 bytes
  for (auto _ : state) {
    std::FILE* f = std::fopen(gFile.c_str(), "rb");
    ssl.init(context);
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0;)
      ssl.update(context, chunk.data(), got);
    unsigned char digest[16];
    ssl.final(digest, context);
    std::fclose(f);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

// md5's read-and-digest loop over the host file, for when the emulated
// machine cannot open files.
void BM_Md5ChunkLoop(benchmark::State& state) {
  std::array<unsigned char, 16384> chunk;
  for (auto _ : state) {
    std::FILE* f = std::fopen(gFile.c_str(), "rb");
    MD5_CTX context;
    MD5Init(&context);
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), f)) > 0;)
      MD5Update(&context, chunk.data(), static_cast<unsigned>(got));
    unsigned char digest[16];
    MD5Final(digest, &context);
    std::fclose(f);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

// Console output as usual, and each benchmark's bytes per second kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rate;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (!run.error_occurred && it != run.counters.end()) rate[run.run_name.function_name] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// A machine image whose drive C: holds the large file (hard-linked, or
// copied across file systems), so md5 reads it through the emulated machine
// exactly as the program does.
bool makeImage(const fs::path& root) {
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root / "drive_c", ec);
  if (std::FILE* cfg = std::fopen((root / "machine.toml").c_str(), "w")) {
    std::fputs("[environment]\nUSERPROFILE = 'C:\\Documents and Settings\\Owner'\n", cfg);
    std::fclose(cfg);
  }
  if (std::FILE* reg = std::fopen((root / "registry.reg").c_str(), "w")) {
    std::fputs("Windows Registry Editor Version 5.00\r\n\r\n", reg);
    std::fclose(reg);
  }
  fs::create_hard_link(gFile, root / "drive_c" / "big.bin", ec);
  if (ec) fs::copy_file(gFile, root / "drive_c" / "big.bin", ec);
  if (ec) return false;
  emu::useImage(root);
  gImagePath = u"C:\\big.bin";
  return true;
}

}  // namespace

BENCHMARK(BM_GrepCountFixed)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_FileContains)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_OpenSslMd5)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Md5ChunkLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Md5)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--file=", 7) == 0) gFile = argv[i] + 7;
  std::error_code ec;
  if (gFile.empty() || (gFileSize = fs::file_size(gFile, ec), ec)) {
    std::fprintf(stderr, "usage: %s --file=PATH [benchmark flags]\n", argv[0]);
    return 2;
  }
  const fs::path imageRoot = fs::temp_directory_path() / ("qf-bench-image-" + std::to_string(getpid()));
  if (!makeImage(imageRoot)) {
    std::fprintf(stderr, "cannot place the file in a machine image under %s\n", imageRoot.c_str());
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  fs::remove_all(imageRoot, ec);

  auto ratio = [&](const char* ours, const char* theirs) -> double {
    auto a = reporter.rate.find(ours), b = reporter.rate.find(theirs);
    return (a == reporter.rate.end() || b == reporter.rate.end() || b->second == 0) ? -1 : a->second / b->second;
  };
  // A benchmark left out by a filter or skipped has no rate; its ratio shows as -1.
  std::printf("\nfile: %s (%ju bytes)\n", gFile.c_str(), gFileSize);
  std::printf("fileContains / grep -c -F throughput: %.2f (target >= 1.00)\n",
              ratio("BM_FileContains", "BM_GrepCountFixed"));
  if (reporter.rate.count("BM_Md5")) {
    std::printf("md5 / OpenSSL MD5 throughput:         %.2f (target >= 0.90)\n", ratio("BM_Md5", "BM_OpenSslMd5"));
  } else {
    // The emulated machine could not open the file: compare md5's own read
    // and digest loop over the host file instead.
    std::printf("md5 / OpenSSL MD5 throughput:         %.2f (target >= 0.90; md5's loop over the host file)\n",
                ratio("BM_Md5ChunkLoop", "BM_OpenSslMd5"));
  }
  return 0;
}
