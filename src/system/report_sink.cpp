// The report sink (report_sink.h): the report file and the writes to it.
#include "system/report_sink.h"

#include <array>

#include "platform/win32.h"
#include "system/scanner.h"

namespace {

constexpr char16_t kHeaderVersion[] = u"03.07.10.1";

}  // namespace

bool ReportLog::openForWrite(const std::u16string& path, bool append) {
  if (file_) return false;
  file_ = win::_wfopen(path.c_str(), append ? u"ab" : u"wb");
  return file_ != nullptr;
}

void ReportLog::write(std::u16string_view text) {
  if (!file_) return;
  writeUtf16(file_, text);
  std::fflush(file_);
}

void ReportLog::close() {
  if (!file_) return;
  win::fclose(file_);
  file_ = nullptr;
}

ReportLog& reportLog() {
  static ReportLog report;
  return report;
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

void logit(std::u16string_view text) { reportLog().write(text); }

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
