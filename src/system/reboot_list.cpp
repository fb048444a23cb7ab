// The reboot list (reboot_list.h): made anew with its byte-order mark,
// appended to entry by entry, each flushed at once.
#include "system/reboot_list.h"

#include "platform/win32.h"
#include "system/report_sink.h"

void RebootList::open(const std::u16string& path) {
  rebootLog_ = win::_wfopen(path.c_str(), u"wb");
  if (rebootLog_) {
    static constexpr unsigned char kMark[] = {0xFF, 0xFE};
    std::fwrite(kMark, 1, sizeof(kMark), rebootLog_);
    std::fflush(rebootLog_);
  }
  allowReboot_ = rebootLog_ != nullptr;
  doReboot_ = false;
}

void RebootList::add(std::u16string_view path) {
  // Without an open list nothing is scheduled, so no restart is asked for in
  // vain.
  if (rebootLog_ == nullptr) return;
  writeUtf16(rebootLog_, path);
  writeUtf16(rebootLog_, u"\r\n");
  std::fflush(rebootLog_);
  doReboot_ = true;
}

int RebootList::close() {
  if (rebootLog_ == nullptr) return 0;
  const int rc = win::fclose(rebootLog_);
  rebootLog_ = nullptr;
  return rc;
}

RebootList& rebootList() {
  static RebootList list;
  return list;
}

void addReboot(std::u16string_view path) { rebootList().add(path); }
