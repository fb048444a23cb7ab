// Splitting Windows command lines (command_line.h).
#include "platform/emulated/kernel/command_line.h"

namespace emu {
namespace {

bool blank(char16_t c) { return c == u' ' || c == u'\t'; }

// Argument 0 and the index after it.
std::size_t programName(std::u16string_view line, std::u16string* out) {
  std::size_t i = 0;
  if (i < line.size() && line[i] == u'"') {
    const std::size_t close = line.find(u'"', 1);
    const std::size_t end = close == std::u16string_view::npos ? line.size() : close;
    *out = std::u16string(line.substr(1, end - 1));
    return end == line.size() ? end : end + 1;
  }
  while (i < line.size() && !blank(line[i])) ++i;
  *out = std::u16string(line.substr(0, i));
  return i;
}

}  // namespace

std::u16string commandLineProgram(std::u16string_view line) {
  std::u16string name;
  programName(line, &name);
  return name;
}

std::vector<std::u16string> splitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> args;
  std::u16string arg;
  std::size_t i = programName(line, &arg);
  args.push_back(arg);
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size()) break;
    arg.clear();
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      if (line[i] == u'\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == u'\\') {
          ++n;
          ++i;
        }
        if (i < line.size() && line[i] == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2) {
            arg.push_back(u'"');
            ++i;
          }
        } else {
          arg.append(n, u'\\');
        }
        continue;
      }
      if (line[i] == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg.push_back(line[i++]);
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace emu
