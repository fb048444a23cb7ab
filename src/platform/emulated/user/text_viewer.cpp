// The terminal text viewer (text_viewer.h): [text_viewers] of machine.toml,
// and the file shown as a viewer reads it.
#include "platform/emulated/user/text_viewer.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/files/paths.h"
#include "platform/emulated/kernel/command_line.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

// Text of a file as a text viewer reads it: UTF-16LE (with or without its
// byte-order mark), or UTF-8.
std::string decodeTextFile(const std::string& bytes) {
  std::size_t start = 0;
  bool utf16 = false;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    utf16 = true;
    start = 2;
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return bytes.substr(3);
  } else {
    std::size_t zeros = 0;
    for (std::size_t i = 1; i < bytes.size(); i += 2) zeros += bytes[i] == 0;
    utf16 = bytes.size() >= 2 && zeros * 2 >= bytes.size() / 2;
  }
  if (!utf16) return bytes;
  std::u16string u;
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
    u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return toUtf8(u);
}

// The title of the text viewer a program file is ([text_viewers] of
// machine.toml: file name = title, names without regard to case), or none
// when it is no text viewer. Without the table, notepad.exe is the one.
std::optional<std::string> textViewerTitle(std::u16string_view program) {
  const toml::table* viewers = config()["text_viewers"].as_table();
  if (!viewers) return equalNoCase(program, u"notepad.exe") ? std::optional<std::string>("Notepad") : std::nullopt;
  for (const auto& [name, title] : *viewers)
    if (equalNoCase(toUtf16(name.str()), program)) return title.value_or<std::string>(std::string(name.str()));
  return std::nullopt;
}

// A text viewer started on a file in an interactive run: show the file.
void showInViewer(const std::string& title, std::u16string_view commandLine) {
  const std::vector<std::u16string> args = splitCommandLine(commandLine);
  if (args.size() < 2) return;
  const auto parsed = parseWindowsPath(args[1]);
  const auto host = parsed ? findHostPath(*parsed) : std::nullopt;
  std::printf("\n---- %s: %s ----\n", title.c_str(), toUtf8(args[1]).c_str());
  if (!host) {
    std::printf("(%s: cannot find the file)\n", title.c_str());
  } else {
    std::string bytes;
    if (std::FILE* f = std::fopen(host->c_str(), "rb")) {
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
      std::fclose(f);
    }
    std::string text;
    for (char c : decodeTextFile(bytes))
      if (c != '\r') text.push_back(c);
    std::fputs(text.c_str(), stdout);
  }
  std::printf("\n---- end of %s ----\n", title.c_str());
  std::fflush(stdout);
}

}  // namespace

void showIfTextViewer(std::u16string_view program, std::u16string_view commandLine) {
  if (!::isatty(0) || !::isatty(1)) return;
  if (const auto viewer = textViewerTitle(program)) showInViewer(*viewer, commandLine);
}

}  // namespace emu
