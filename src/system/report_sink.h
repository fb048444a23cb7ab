// The report sink: the run's one report file, the program's one diagnostic
// channel, which every part writes through logit and logiti. The report is
// raw UTF-16LE without a byte-order mark, and every write is flushed at once,
// so the file on disk always holds all that was written, also when the
// process is killed or Windows restarts. What a report holds and when it is
// opened and finished is the business of the programs above: QuorelFix's
// run sequence and QuorelRestore, each with its own report.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// One report file: opened once, written to, closed. Writes while it is not
// open are dropped.
class ReportLog {
 public:
  // Creates the file anew (`append` false: any file of that name is
  // truncated) or opens it for appending. True when the report is open; a
  // report already open is left as it is and false returned.
  [[nodiscard]] bool openForWrite(const std::u16string& path, bool append);
  // Writes the code units as UTF-16LE and flushes them.
  void write(std::u16string_view text);
  // Closes the report; nothing when it is not open.
  void close();
  [[nodiscard]] bool isOpen() const { return file_ != nullptr; }

 private:
  // Not closed when the process ends without close(): on the path that
  // restarts Windows the report stays open, every byte of it already flushed.
  std::FILE* file_ = nullptr;
};

// The process's report, the one logit and logiti write to.
ReportLog& reportLog();

void logit(std::u16string_view text);
// `format` holds exactly one "%d".
void logiti(const char16_t* format, int value);
// The outcome of a change: "Success!" for 0, else "Failed [%d]" with the code.
void logOutcome(int rc);
// The first two lines of a report: "<program> by quillfen (<version>)" and
// "Log created at ..." with the local time and the user name.
void logHeader(std::u16string_view program);
// Writes the code units as UTF-16LE, unflushed.
void writeUtf16(std::FILE* stream, std::u16string_view text);
