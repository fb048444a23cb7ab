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

#include <cstdio>

#include "large_image.h"

namespace {

using namespace qfbench;

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
