// The report log: the desktop folder every file location derives from, and
// QuorelFix.txt on it, written as raw UTF-16LE without a byte-order mark.
// Every write is flushed at once, so the file on disk always holds all that
// was written, also when the process is killed or Windows restarts.
#include <array>

#include "control/report_log.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/scanner.h"
#include "system/text_viewer.h"

std::FILE* logfile = nullptr;

namespace {

// The data model keeps the desktop folder and the report path to MAX_PATH
// characters. A longer path is refused rather than cut short, since a cut
// path would name some other folder.
constexpr std::size_t kLongestPath = win::MAX_PATH;

constexpr char16_t kReportName[] = u"\\QuorelFix.txt";
constexpr char16_t kHeaderVersion[] = u"03.07.10.1";

}  // namespace

std::optional<std::u16string> getDesktopFolder() {
  auto raw = getRegSZValue(win::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                           u"Desktop");
  if (!raw) return std::nullopt;
  std::u16string folder = expand(*raw);
  if (folder.size() > kLongestPath) return std::nullopt;
  return folder;
}

std::optional<std::u16string> makeLogPath() {
  auto desktop = getDesktopFolder();
  if (!desktop) return std::nullopt;
  std::u16string path = *desktop + kReportName;
  if (path.size() > kLongestPath) return std::nullopt;
  return path;
}

void logHeader(std::u16string_view program) {
  std::u16string first(program);
  first += u" by quillfen (";
  logit(first);
  logit(kHeaderVersion);
  logit(u")\r\n");

  win::SYSTEMTIME now{};
  win::GetLocalTime(&now);
  std::array<char16_t, 1024> line{};
  win::wsprintfW(line.data(), u"Log created at %02u:%02u on %02u/%02u/%u ", unsigned{now.wHour},
                 unsigned{now.wMinute}, unsigned{now.wDay}, unsigned{now.wMonth}, unsigned{now.wYear});
  logit(line.data());
  // Where %username% is not defined the text stays as written.
  logit(expand(u"(%username%)\r\n"));
}

int createLog(int newLog) {
  auto path = makeLogPath();
  if (!path) return 0;
  logfile = win::_wfopen(path->c_str(), newLog ? u"wb" : u"ab");
  if (!logfile) return 0;
  if (!newLog) return 1;

  logHeader(u"QuorelFix");

  logit(u"Firefox version ");
  auto version = getRegSZValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Mozilla\\Mozilla Firefox", u"CurrentVersion");
  logit(version ? std::u16string_view(*version) : std::u16string_view(u"[Unable to determine]"));
  logit(u"\r\n");
  return 1;
}

void writeUtf16(std::FILE* stream, std::u16string_view text) {
  // Two bytes per code unit, low byte first, whatever the host's byte order.
  std::u16string_view rest = text;
  std::array<unsigned char, 512> bytes{};
  while (!rest.empty()) {
    std::size_t n = rest.size() < bytes.size() / 2 ? rest.size() : bytes.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
      bytes[2 * i] = static_cast<unsigned char>(rest[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<unsigned char>(rest[i] >> 8);
    }
    std::fwrite(bytes.data(), 1, 2 * n, stream);
    rest.remove_prefix(n);
  }
}

void logit(std::u16string_view text) {
  if (!logfile) return;
  writeUtf16(logfile, text);
  std::fflush(logfile);
}

void logiti(const char16_t* format, int value) {
  // wsprintfW writes at most 1024 characters, terminator included, so this
  // buffer holds any result, "%d" of INT_MIN (11 characters) included.
  std::array<char16_t, 1024> text{};
  win::wsprintfW(text.data(), format, value);
  logit(text.data());
}

void logOutcome(int rc) {
  if (rc == 0)
    logit(u"Success!");
  else
    logiti(u"Failed [%d]", rc);
}

void finishLog() {
  logit(u"\r\n\r\n-=E.O.F=-");
  if (logfile) {
    win::fclose(logfile);
    logfile = nullptr;
  }

  auto report = makeLogPath();
  if (!report) return;
  openInTextViewer(*report);
}
