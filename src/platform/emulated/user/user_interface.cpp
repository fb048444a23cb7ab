// Message boxes and the restart request.
//
// A message box is drawn in the terminal and answered there when standard
// input and output are both terminals. Otherwise it takes the next answer of
// [message_boxes] answers, and removes it from machine.toml at once, so a
// later run (the reboot pass, say) goes on with the answers after it. With no
// answer left, or on the end of input at a terminal, the box is dismissed as
// closing its window would: IDOK for a box with only OK, IDCANCEL for one
// with a Cancel button. MB_YESNO and MB_ABORTRETRYIGNORE boxes cannot be
// closed on Windows (their close button is disabled); here they answer IDNO
// and IDABORT, the answer that does least. A run never waits for input that
// cannot come.
//
// An answer from the image is taken as it stands, also one that the box's
// buttons could not give, so that a program's handling of odd results can
// be driven too.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/user/box_drawing.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

constexpr UINT kButtonsMask = 0x0000000F;

// The answer of a box dismissed without a button.
int dismissed(UINT style) {
  switch (style & kButtonsMask) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
  }
}

const char* dismissedName(UINT style) {
  switch (dismissed(style)) {
    case IDCANCEL: return "Cancel (IDCANCEL)";
    case IDNO: return "No (IDNO)";
    case IDABORT: return "Abort (IDABORT)";
    default: return "OK (IDOK)";
  }
}

// The next answer of the image, removed from it durably; none when none is left.
std::optional<int> nextImageAnswer() {
  std::vector<emu::MessageBoxAnswer>& answers = emu::machine().saved.answers;
  if (answers.empty()) return std::nullopt;
  const emu::MessageBoxAnswer next = answers.front();
  if (!next.id)
    std::fprintf(stderr, "QuorelFix (emulated Windows): message_boxes answer %s is no answer; the box is dismissed\n",
                 next.written.c_str());
  answers.erase(answers.begin());
  emu::saveConfig();
  return next.id;
}

// The terminal's width in columns: its window size, else $COLUMNS, else 80.
std::size_t terminalColumns() {
  struct winsize size {};
  if (::ioctl(1, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS"); columns && std::atoi(columns) > 0)
    return static_cast<std::size_t>(std::atoi(columns));
  return 80;
}

// Whether the cursor stands after text on its line, as the terminal reports
// it (ESC [6n; the answer ESC [row;column R). The program's console text may
// end without a line break ("Creating logfile... Done!"); a box after it
// needs one more to stand one blank line below. False when the terminal
// does not answer within a fifth of a second.
bool cursorAfterText() {
  termios saved {};
  if (::tcgetattr(0, &saved) != 0) return false;
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (::tcsetattr(0, TCSANOW, &raw) != 0) return false;
  std::fputs("\x1b[6n", stdout);
  std::fflush(stdout);
  std::string answer;
  pollfd in{0, POLLIN, 0};
  while (answer.size() < 32 && ::poll(&in, 1, 200) > 0) {
    char c = 0;
    if (::read(0, &c, 1) != 1) break;
    answer.push_back(c);
    if (c == 'R') break;
  }
  ::tcsetattr(0, TCSANOW, &saved);
  const std::size_t semicolon = answer.rfind(';');
  if (answer.empty() || answer.back() != 'R' || semicolon == std::string::npos) return false;
  return std::atoi(answer.c_str() + semicolon + 1) > 1;
}

// Asks at the terminal until a button is chosen; Enter takes the default
// button; the end of input dismisses the box. A key that answers no button
// gets a line that names the keys, and the prompt again.
int askAtTerminal(const std::u16string& caption, const std::u16string& text, UINT style) {
  const auto bs = emu::boxButtons(style);
  const std::size_t def = emu::boxDefaultButton(style);
  std::printf("%s\n%s", cursorAfterText() ? "\n" : "", emu::boxDrawing(caption, text, style, terminalColumns()).c_str());
  for (;;) {
    std::printf("%s", emu::boxPrompt(style).c_str());
    std::fflush(stdout);
    char line[256];
    if (!std::fgets(line, sizeof line, stdin)) {
      std::printf("\n");
      return dismissed(style);
    }
    std::string answer(line);
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    if (answer.empty()) return bs[def].id;
    const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
    for (const auto& b : bs)
      if (b.key == key) return b.id;
    std::printf("%s", emu::boxKeysHint(style).c_str());
  }
}

std::string hex(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02x", v);
  return buf;
}

}  // namespace

int MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  if (auto code = emu::injectedFailure("MessageBoxW")) return emu::failedWith<int>(*code, 0);
  const std::u16string text = lpText ? lpText : u"";
  const std::u16string caption = lpCaption ? lpCaption : u"Error";  // Windows' caption when none is given
  int answer;
  if (::isatty(0) && ::isatty(1)) {
    answer = askAtTerminal(caption, text, uType);
  } else {
    const bool noneLeft = emu::machine().saved.answers.empty();
    answer = nextImageAnswer().value_or(dismissed(uType));
    // A run without a terminal and without answers would otherwise end
    // without a word at its first box; a box with OK alone asks nothing.
    if (noneLeft && emu::boxButtons(uType).size() > 1)
      std::fprintf(stderr,
                   "QuorelFix (emulated Windows): no terminal and no answer left in [message_boxes] answers: the box "
                   "\"%s\" is answered %s, as closing it would\n",
                   emu::toUtf8(caption).c_str(), dismissedName(uType));
  }
  emu::journal("MessageBoxW text=" + emu::quoted(emu::toUtf8(text)) + " caption=" + emu::quoted(emu::toUtf8(caption)) +
               " style=" + hex(uType) + " answer=" + std::to_string(answer));
  return answer;
}

BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) {
  if (auto code = emu::injectedFailure("ExitWindowsEx")) return emu::failedWith<BOOL>(*code, FALSE);
  // The restart is recorded; the machine restarts when it is booted (qfmachine boot).
  emu::journal("ExitWindowsEx flags=" + hex(uFlags) + " reason=" + std::to_string(dwReason));
  return TRUE;
}

}  // namespace win
