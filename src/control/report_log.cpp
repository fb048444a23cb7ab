// The run's report (report_log.h): its header when it is made, and its
// footer and Notepad when the run is done with it.
#include "control/report_log.h"

#include <string>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/places.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text_viewer.h"

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
  openInTextViewer(*report);
}
