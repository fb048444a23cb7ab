// The journal (journal.h): whole lines appended to <image>/journal.txt.
#include "platform/emulated/machine/journal.h"

#include <cstdio>

#include "platform/emulated/machine/append_file.h"
#include "platform/emulated/machine/image.h"

namespace emu {

void journal(std::string_view line) {
  std::string text(line);
  text.push_back('\n');
  // One write on a file opened for appending: the line lands whole and at
  // once, also when the process is killed right after.
  const std::string path = (image().root / "journal.txt").string();
  if (appendToFile(path, text) != 0) std::fprintf(stderr, "QuorelFix (emulated Windows): cannot write %s\n", path.c_str());
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out.push_back(c);
    }
  }
  return out + "\"";
}
}  // namespace emu
