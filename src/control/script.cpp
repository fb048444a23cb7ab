// Removal scripts: reading a script line by line in either encoding and
// running it into the backup folder; an item that could not be moved goes to
// the reboot list for the pass after the restart.
#include "control/script.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "detectors/genscan_privileges.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/places.h"
#include "system/remover.h"
#include "system/report_sink.h"
#include "system/text.h"

namespace {

constexpr char16_t kCR = u'\r';
constexpr int kLF = '\n';

// One UTF-16LE code unit; false at the end of the file or on a read error
// (a lone last byte is no unit).
bool readUnit(std::FILE* stream, char16_t& unit) {
  int low = std::fgetc(stream);
  if (low == EOF) return false;
  int high = std::fgetc(stream);
  if (high == EOF) return false;
  unit = static_cast<char16_t>(low | (high << 8));
  return true;
}

// Whether the 8-bit path ends in the report's own file name, compared byte
// for byte without regard to ASCII case: each byte stands for the code unit
// of the same value.
bool namesTheReport(std::string_view path) {
  const std::u16string_view name = REPORT_NAME;
  if (path.size() < name.size()) return false;
  std::u16string tail;
  for (char byte : path.substr(path.size() - name.size())) tail.push_back(static_cast<unsigned char>(byte));
  return equalNoCase(tail, name);
}

}  // namespace

std::optional<std::u16string> getLine(std::FILE* stream, int wide) {
  std::u16string line;
  bool appended = false;
  // Like the zero-terminated text the line becomes, a zero unit or byte
  // ends the line's text; the rest of the line is read and dropped.
  bool cut = false;
  if (wide) {
    char16_t unit = 0;
    bool more = readUnit(stream, unit);
    while (more && unit != kCR) {
      appended = true;
      cut = cut || unit == 0;
      if (!cut) line.push_back(unit);
      more = readUnit(stream, unit);
    }
    // The unit after the CR (normally LF) goes with it.
    if (more) {
      char16_t dropped = 0;
      readUnit(stream, dropped);
    }
  } else {
    // 8-bit lines end at LF alone; a CR before it stays in the line. Each
    // byte becomes the code unit of the same value.
    int byte = std::fgetc(stream);
    while (byte != EOF && byte != kLF) {
      appended = true;
      cut = cut || byte == 0;
      if (!cut) line.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
      byte = std::fgetc(stream);
    }
  }
  if (!appended) return std::nullopt;
  return line;
}

void parseScript(const char* scriptPath, int rebootPass) {
  if (namesTheReport(scriptPath)) {
    logit(u"\r\nIllegal script name.");
    return;
  }
  int elevation = elevate();
  if (elevation != 0) logiti(u"\r\nElevation failed [%d].", elevation);

  win::ScopedFile script(win::fopen(scriptPath, "rb"));
  if (!script) {
    logiti(u"\r\nUnable to open script [%d].", static_cast<int>(win::GetLastError()));
    return;
  }

  // A byte-order mark FF FE selects UTF-16LE and is consumed; anything else
  // is 8-bit text read from the first byte.
  int wide = 0;
  char16_t mark = 0;
  if (readUnit(script.get(), mark) && mark == u'\xFEFF') {
    wide = 1;
  } else {
    std::clearerr(script.get());
    std::fseek(script.get(), 0, SEEK_SET);
  }

  const Removal row = rebootPass ? REMOVE_SCRIPT_LINE_AFTER_RESTART : REMOVE_SCRIPT_LINE;
  while (std::optional<std::u16string> line = getLine(script.get(), wide)) removeAndReport(row, *line);
}
