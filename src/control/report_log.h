// The report log: the desktop folder every file location derives from, and
// QuorelFix.txt on it, the program's one diagnostic channel, which every
// part writes through logit and logiti.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

extern std::FILE* logfile;  // the open report; none before createLog, after finishLog

// The "Desktop" shell folder of the current user, expanded; none when the
// value cannot be read or the expansion does not fit 260 characters.
std::optional<std::u16string> getDesktopFolder();
// <desktop>\QuorelFix.txt; none when the desktop folder is unknown or the
// path does not fit 260 characters.
std::optional<std::u16string> makeLogPath();
// newLog nonzero: create the report and write its header; 0: open it for
// appending. 1 when the report is open, else 0.
int createLog(int newLog);
void logit(std::u16string_view text);
// The first two lines of a report: "<program> by quillfen (<version>)" and
// "Log created at ..." with the local time and the user name.
void logHeader(std::u16string_view program);
// Writes the code units as UTF-16LE, unflushed.
void writeUtf16(std::FILE* stream, std::u16string_view text);
// `format` holds exactly one "%d".
void logiti(const char16_t* format, int value);
// The outcome of a change: "Success!" for 0, else "Failed [%d]" with the code.
void logOutcome(int rc);
// Footer, close, and Notepad on the report.
void finishLog();
