#include "system/text_viewer.h"

#include <string>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/scanner.h"

void openInTextViewer(std::u16string_view file) {
  std::u16string notepad = expand(u"%systemroot%\\system32\\notepad.exe");
  std::u16string command = notepad + u" \"" + std::u16string(file) + u"\"";
  win::STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  win::PROCESS_INFORMATION started{};
  if (win::CreateProcessW(notepad.c_str(), command.data(), nullptr, nullptr, win::FALSE, 0, nullptr, nullptr,
                          &startup, &started)) {
    win::ScopedHandle process(started.hProcess);
    win::ScopedHandle thread(started.hThread);
  }
}
