// The run's report, QuorelFix.txt on the desktop: made with its header
// (the Firefox version line included) at the start of an interactive run or
// opened for appending in the reboot pass, and finished with its footer and
// Notepad. Every part writes to it through the sink (system/report_sink.h).
#pragma once

// newLog nonzero: create the report and write its header; 0: open it for
// appending. 1 when the report is open, else 0.
int createLog(int newLog);
// Footer, close, and Notepad on the report.
void finishLog();
