#include "support/run_program.h"

#include <sys/wait.h>

#include <cstdio>

namespace qftest {
namespace {

// Single-quoted for /bin/sh: a quote inside becomes '\''.
std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

RunResult runProgramOn(const MachineImage& image, const std::filesystem::path& program,
                       const std::vector<std::string>& args) {
  std::string command = "QUORELFIX_IMAGE=" + shellQuoted(image.root().string()) + " " + shellQuoted(program.string());
  for (const auto& a : args) command += " " + shellQuoted(a);
  command += " </dev/null 2>&1";
  RunResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = ::pclose(pipe);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace qftest
