// The reboot list, "reboot.txt" in the backup folder: the items a run could
// not move, for the reboot pass to try again after the restart; and the two
// flags that tie the fallback together.
#pragma once

#include <cstdio>
#include <string_view>

extern std::FILE* rebootLog;  // the open reboot list; none before openRebootList, after closeRebootList
extern int doReboot;          // 1 once addReboot has run in this run
extern int allowReboot;       // 1 from openRebootList on, when the list could be made

// Recreates the list with its byte-order mark; sets allowReboot when it is
// open, and clears doReboot.
void openRebootList(std::u16string_view path);
// Appends the path and CR LF, flushed, and sets doReboot; nothing without an
// open list. Callers test allowReboot.
void addReboot(std::u16string_view path);
// Closes the list: nothing may be scheduled after it. allowReboot keeps its
// value, so the run still knows the list was there. 0 or fclose's result.
int closeRebootList();
