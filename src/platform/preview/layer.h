// QuorelPreview's layer over the seam: it defines every call of
// platform/win32.h, answers the reads from the backend through the effects
// of the changing calls it did not make, and makes none of those. What the
// entry and the tests ask of it besides the seam.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace preview {

// The report the previewed program writes (a file name, e.g. "QuorelFix.txt")
// and the file that takes its place in the same folder, which begins with
// `header` (UTF-16LE, as the report). Set before the program runs.
void redirectReport(std::u16string reportName, std::u16string previewName, std::u16string header);

// The path of the preview's report once the program opened its report; empty
// before.
const std::u16string& previewReportPath();

// The report lines whose outcome no call can tell in advance, as written
// (without their "\r\n"), read back from the preview's report; and the texts
// of the further notes (the restart).
struct Unknowns {
  std::vector<std::u16string> lines;
  bool restart = false;  // the program asked for Windows to restart
};
Unknowns unknownLines();

// The texts of the message boxes the program asked to show (none was shown).
const std::vector<std::u16string>& boxesAsked();

// Calls of the backend itself, for what the preview does as its own: its
// message box, opening its report, appending to it.
int showBox(const char16_t* text, const char16_t* caption, unsigned type);
bool startProcess(const std::u16string& application, std::u16string commandLine);
std::FILE* openBackendFile(const std::u16string& path, const char16_t* mode);
int closeBackendFile(std::FILE* file);

// Forgets every effect kept so far (the tests' fresh start).
void forgetEffects();

}  // namespace preview
