// The run's report (report_log.h): its header when it is made, and its
// footer and Notepad when the run is done with it.
#include "control/report_log.h"

#include <string>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/places.h"
#include "system/report_sink.h"
#include "system/scanner.h"

int createLog(int newLog) {
  auto path = makeLogPath();
  if (!path) return 0;
  if (!reportLog().openForWrite(*path, newLog == 0)) return 0;
  if (!newLog) return 1;

  logHeader(u"QuorelFix");

  logit(u"Firefox version ");
  auto version = getRegSZValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Mozilla\\Mozilla Firefox", u"CurrentVersion");
  logit(version ? std::u16string_view(*version) : std::u16string_view(u"[Unable to determine]"));
  logit(u"\r\n");
  return 1;
}

void finishLog() {
  logit(u"\r\n\r\n-=E.O.F=-");
  reportLog().close();

  auto report = makeLogPath();
  if (!report) return;
  std::u16string notepad = expand(u"%systemroot%\\system32\\notepad.exe");
  std::u16string command = notepad + u" \"" + *report + u"\"";
  win::STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  win::PROCESS_INFORMATION started{};
  // A Notepad that does not start leaves the report on the desktop; nothing
  // waits for it.
  if (win::CreateProcessW(notepad.c_str(), command.data(), nullptr, nullptr, win::FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
    win::ScopedHandle process(started.hProcess);
    win::ScopedHandle thread(started.hThread);
  }
}
