// QuorelPreview: QuorelFix's whole run over the preview layer, which makes
// none of the run's changes and answers for them as Windows would. The report
// the run would write becomes QuorelPreview.txt beside it, under a header of
// its own, with a closing section for the lines whose outcome could not be
// known in advance; it is opened in the text viewer.
#include <cstdio>
#include <string>

#include "control/QuorelFix.h"
#include "platform/preview/layer.h"
#include "platform/win32.h"
#include "system/places.h"
#include "system/privileges.h"
#include "system/text.h"

namespace {

constexpr char16_t kHeader[] =
    u"QuorelPreview by quillfen (03.07.10.1)\r\n"
    u"Preview only: nothing was changed. The report QuorelFix would write now follows, line for line.\r\n"
    u"\r\n";

void writeUtf16(std::FILE* file, std::u16string_view text) {
  for (char16_t c : text) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)};
    std::fwrite(bytes, 1, 2, file);
  }
}

// The closing section: the lines written as the run would write them whose
// outcome only the change itself can tell.
void writeUnknowns(const std::u16string& report) {
  const preview::Unknowns unknown = preview::unknownLines();
  if (unknown.lines.empty() && !unknown.restart) return;
  std::FILE* file = preview::openBackendFile(report, u"ab");
  if (!file) return;
  writeUtf16(file, u"\r\n\r\n========== Not Known in Advance ==========\r\n");
  writeUtf16(file, u"QuorelFix would write these lines as above; their outcome is the answer to the change itself.");
  for (const std::u16string& line : unknown.lines) {
    writeUtf16(file, u"\r\n");
    writeUtf16(file, line);
  }
  if (unknown.restart)
    writeUtf16(file, u"\r\nQuorelFix would restart Windows here: what its reboot pass does after the restart cannot be known in advance.");
  std::fflush(file);
  preview::closeBackendFile(file);
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

void openInViewer(const std::u16string& report) {
  char16_t notepad[win::MAX_PATH + 1] = {};
  const win::DWORD n = win::ExpandEnvironmentStringsW(u"%systemroot%\\system32\\notepad.exe", notepad, win::MAX_PATH + 1);
  if (n == 0 || n > win::MAX_PATH + 1) return;
  const std::u16string viewer(notepad);
  (void)preview::startProcess(viewer, viewer + u" \"" + report + u"\"");
}

}  // namespace

constexpr char kUsage[] =
    "QuorelPreview shows what QuorelFix would do, and changes nothing.\n"
    "\n"
    "  QuorelPreview             the report QuorelFix would write, as QuorelPreview.txt on the desktop\n"
    "  QuorelPreview <script>    the same with the removal script QuorelFix would carry out first\n"
    "  QuorelPreview /?          show this text\n";

int main(int argc, char** argv) {
  // As QuorelFix answers it: the usage text, no box and no preview.
  if (argc >= 2 && isUsageSwitch(argv[1])) {
    std::fputs(kUsage, stdout);
    std::fflush(stdout);
    return 0;
  }
  if (!isAdmin()) {
    preview::showBox(u"You must be an Administrator to use QuorelPreview.", u"QuorelPreview - Error",
                     win::MB_OK | win::MB_ICONERROR);
    return 0;
  }
  preview::redirectReport(REPORT_NAME, u"QuorelPreview.txt", kHeader);
  runQuorelFix(argc, argv);

  const std::u16string report = preview::previewReportPath();
  if (report.empty()) {
    // The run stopped before its report: its box says why.
    const auto& boxes = preview::boxesAsked();
    preview::showBox(boxes.empty() ? u"Unable to create logfile." : boxes.back().c_str(), u"QuorelPreview - Error",
                     win::MB_OK | win::MB_ICONERROR);
    std::fputs("\n\nNo preview was written; nothing was changed.\n", stdout);
    return 0;
  }
  writeUnknowns(report);
  std::fputs(("\n\nNothing was changed. The preview is in " + narrow(report) + "\n").c_str(), stdout);
  std::fflush(stdout);
  openInViewer(report);
  return 0;
}
