// How long the host calls of one full scan take on their own, without any of
// the program's work between them: the floor under the full scan's time on
// the emulated machine.
//
//   cmake --preset bench && cmake --build --preset bench -j2
//   build/bench/bench/host_call_replay        (needs strace and python3)
//
// One run of the program on a fresh copy of the large image is traced
// (strace -xx -s 0), bench/host_calls.py keeps the file-system calls, and
// each round then replays them on another fresh copy at the same place:
// every open, read, listing, attribute query, watch, write, folder creation
// and rename, with the sizes the run used. Printed per round, beside the
// read-once time of full_scan_bench: the replay's time, its ratio to reading,
// and the time each kind of call took.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "large_image.h"

namespace {

using namespace qfbench;

struct HostCall {
  std::string kind;
  long first = 0;   // a descriptor, or open's flags
  long second = 0;  // a size, an offset, or open's descriptor
  std::string path;
  std::string target;  // rename's new path
};

std::string fromHex(const std::string& hex) {
  std::string out;
  if (hex == "-") return out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<HostCall> readCalls(const fs::path& file) {
  std::vector<HostCall> calls;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    HostCall c;
    fields >> c.kind;
    std::string hex, hexTarget;
    if (c.kind == "open") {
      fields >> c.first >> c.second >> hex;
    } else if (c.kind == "read" || c.kind == "lseek" || c.kind == "write") {
      fields >> c.first >> c.second;
    } else if (c.kind == "close" || c.kind == "getdents" || c.kind == "fstat" || c.kind == "inotify") {
      fields >> c.first;
    } else if (c.kind == "rename") {
      fields >> hex >> hexTarget;
    } else {
      fields >> hex;
    }
    c.path = fromHex(hex);
    c.target = fromHex(hexTarget);
    calls.push_back(std::move(c));
  }
  return calls;
}

struct Tally {
  long calls = 0;
  double seconds = 0;
};

// Replays the calls in order; descriptors the run got are mapped to the ones
// the replay gets.
double replay(const std::vector<HostCall>& calls, std::map<std::string, Tally>& tally) {
  std::unordered_map<long, int> fds;
  auto fd = [&](long traced) {
    auto it = fds.find(traced);
    return it == fds.end() ? static_cast<int>(traced) : it->second;
  };
  std::vector<char> buffer(1 << 20, 'x');
  int notify = -1;
  std::uintmax_t seen = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const HostCall& c : calls) {
    const auto before = std::chrono::steady_clock::now();
    if (c.kind == "open") {
      int flags = O_CLOEXEC;
      if (c.first & 1) flags |= O_DIRECTORY;
      if (c.first & 2) flags |= O_WRONLY;
      if (c.first & 4) flags |= O_RDWR;
      if (c.first & 8) flags |= O_CREAT;
      if (c.first & 16) flags |= O_APPEND;
      if (c.first & 32) flags |= O_TRUNC;
      const int got = ::open(c.path.c_str(), flags, 0644);
      if (c.second >= 0) fds[c.second] = got;
    } else if (c.kind == "close") {
      ::close(fd(c.first));
      fds.erase(c.first);
    } else if (c.kind == "read") {
      if (c.first > 2) {
        const ssize_t got = ::read(fd(c.first), buffer.data(), std::min<std::size_t>(c.second, buffer.size()));
        if (got > 0) seen += static_cast<std::uintmax_t>(got);
      }
    } else if (c.kind == "getdents") {
      ::syscall(SYS_getdents64, fd(c.first), buffer.data(), 32768);
    } else if (c.kind == "statx") {
      struct statx sx {};
      ::statx(AT_FDCWD, c.path.c_str(), 0, STATX_ALL, &sx);
    } else if (c.kind == "stat") {
      struct stat st {};
      ::stat(c.path.c_str(), &st);
    } else if (c.kind == "fstat") {
      struct stat st {};
      ::fstat(fd(c.first), &st);
    } else if (c.kind == "lseek") {
      ::lseek(fd(c.first), c.second, SEEK_SET);
    } else if (c.kind == "write") {
      if (c.first > 2) {
        [[maybe_unused]] const ssize_t wrote = ::write(fd(c.first), buffer.data(), static_cast<std::size_t>(c.second));
      }
    } else if (c.kind == "inotify") {
      notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      fds[c.first] = notify;
    } else if (c.kind == "watch") {
      ::inotify_add_watch(notify, c.path.c_str(),
                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                              IN_ONLYDIR);
    } else if (c.kind == "mkdir") {
      ::mkdir(c.path.c_str(), 0755);
    } else if (c.kind == "rename") {
      ::rename(c.path.c_str(), c.target.c_str());
    }
    Tally& t = tally[c.kind];
    ++t.calls;
    t.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  }
  for (const auto& [traced, mine] : fds) ::close(mine);
  benchmark::DoNotOptimize(seen);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  const fs::path image = largeImage();
  const Examined examined = readManifest(image);
  const fs::path trace = fs::path(programPath()).parent_path() / "host-calls.strace";
  const fs::path list = fs::path(programPath()).parent_path() / "host-calls.txt";

  if (runProgram(freshCopy(image), {"strace", "-o", trace.string(), "-xx", "-s", "0"}).status != 0) {
    std::fprintf(stderr, "the traced run failed (is strace installed?)\n");
    return 1;
  }
  const std::string convert =
      "python3 '" + (sourceDir() / "bench/host_calls.py").string() + "' '" + trace.string() + "' '" + list.string() + "'";
  if (std::system(convert.c_str()) != 0) {
    std::fprintf(stderr, "converting the trace failed\n");
    return 1;
  }
  const std::vector<HostCall> calls = readCalls(list);

  for (int round = 0; round < 5; ++round) {
    freshCopy(image);
    readOnce(examined);  // warms the cache for both sides
    const double readSeconds = readOnce(examined);
    std::map<std::string, Tally> tally;
    const double replaySeconds = replay(calls, tally);
    std::printf("host calls alone %.3f s | read once %.3f s | ratio %.2f | %zu calls:", replaySeconds, readSeconds,
                replaySeconds / readSeconds, calls.size());
    for (const auto& [kind, t] : tally) std::printf(" %s %ld %.1f ms,", kind.c_str(), t.calls, t.seconds * 1000);
    std::printf("\n");
  }
  return 0;
}
