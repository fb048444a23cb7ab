// Run control: the run sequence, the report log, removal scripts with the
// reboot list, and the administrator check; and the process-wide state that
// the detectors share with it.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// ---------------------------------------------------------------- process-wide state
extern std::FILE* logfile;    // the open report; none before createLog, after finishLog
extern std::FILE* rebootLog;  // the open reboot list; closed at the end of genScan
extern int doReboot;          // 1 once addReboot has run in this run
extern int allowReboot;       // 1 while removals may fall back to the reboot list

// The whole program: returns the exit status (always 0).
int runQuorelFix(int argc, char** argv);

// ---------------------------------------------------------------- report log
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

// ---------------------------------------------------------------- removal scripts
// One line of a script: UTF-16LE code units up to CR (the unit after the CR
// dropped), or bytes up to LF converted unit for byte; none for an empty line
// or the end of the file.
std::optional<std::u16string> getLine(std::FILE* stream, int wide);
void parseScript(const char* scriptPath, int rebootPass);
// Appends the path and CR LF to the reboot list and sets doReboot.
void addReboot(std::u16string_view path);

// ---------------------------------------------------------------- privileges and environment
int isAdmin();
// %name% references expanded; an empty string for none.
std::u16string expand(std::u16string_view text);
