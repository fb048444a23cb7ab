// The reboot list: made anew with its byte-order mark at the start of an
// interactive run, appended to entry by entry, each flushed at once, and
// closed at the end of the general sweep.
#include "control/reboot_list.h"

#include <string>

#include "control/report_log.h"
#include "platform/win32.h"

std::FILE* rebootLog = nullptr;
int doReboot = 0;
int allowReboot = 0;

void openRebootList(std::u16string_view path) {
  rebootLog = win::_wfopen(std::u16string(path).c_str(), u"wb");
  if (rebootLog) {
    static constexpr unsigned char kMark[] = {0xFF, 0xFE};
    std::fwrite(kMark, 1, sizeof(kMark), rebootLog);
    std::fflush(rebootLog);
  }
  allowReboot = rebootLog ? 1 : 0;
  doReboot = 0;
}

void addReboot(std::u16string_view path) {
  // Without an open list nothing is scheduled, so no restart is asked for in
  // vain.
  if (rebootLog == nullptr) return;
  writeUtf16(rebootLog, path);
  writeUtf16(rebootLog, u"\r\n");
  std::fflush(rebootLog);
  doReboot = 1;
}

int closeRebootList() {
  if (rebootLog == nullptr) return 0;
  const int rc = win::fclose(rebootLog);
  rebootLog = nullptr;
  return rc;
}
