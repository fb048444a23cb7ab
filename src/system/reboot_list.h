// The reboot list, "reboot.txt" in the backup folder: the items a run could
// not move, for the reboot pass to try again after the restart; and the two
// flags that tie the fallback together.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// One reboot list: opened by the run sequence at the start of an interactive
// run, appended to entry by entry, each flushed at once, and closed right
// after the general sweep. The reboot pass never opens it.
class RebootList {
 public:
  // Recreates the list with its byte-order mark; allowReboot() is true from
  // here on when it could be made, and doReboot() is cleared.
  void open(const std::u16string& path);
  // Appends the path and CR LF, flushed, and sets doReboot(); nothing
  // without an open list. Callers test allowReboot() first.
  void add(std::u16string_view path);
  // Closes the list: nothing may be scheduled after it. allowReboot() keeps
  // its value, so the run still knows the list was there. 0 or fclose's result.
  int close();
  // True once open() made the list, in this run.
  [[nodiscard]] bool allowReboot() const { return allowReboot_; }
  // True once add() has written an entry in this run.
  [[nodiscard]] bool doReboot() const { return doReboot_; }

 private:
  std::FILE* rebootLog_ = nullptr;  // none before open, after close
  bool allowReboot_ = false;
  bool doReboot_ = false;
};

// The process's reboot list, the one addReboot appends to.
RebootList& rebootList();

// rebootList().add(path).
void addReboot(std::u16string_view path);
