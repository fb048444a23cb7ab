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
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

constexpr UINT kButtonsMask = 0x0000000F;
constexpr UINT kDefaultButtonMask = 0x00000F00;

struct Button {
  int id;
  const char* label;  // the key to press is in brackets
  char key;
};

std::vector<Button> buttons(UINT style) {
  switch (style & kButtonsMask) {
    case MB_OKCANCEL: return {{IDOK, "[O]K", 'o'}, {IDCANCEL, "[C]ancel", 'c'}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "[A]bort", 'a'}, {IDRETRY, "[R]etry", 'r'}, {IDIGNORE, "[I]gnore", 'i'}};
    case MB_YESNOCANCEL: return {{IDYES, "[Y]es", 'y'}, {IDNO, "[N]o", 'n'}, {IDCANCEL, "[C]ancel", 'c'}};
    case MB_YESNO: return {{IDYES, "[Y]es", 'y'}, {IDNO, "[N]o", 'n'}};
    case MB_RETRYCANCEL: return {{IDRETRY, "[R]etry", 'r'}, {IDCANCEL, "[C]ancel", 'c'}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, "[C]ancel", 'c'}, {IDTRYAGAIN, "[T]ry Again", 't'}, {IDCONTINUE, "C[o]ntinue", 'o'}};
    default: return {{IDOK, "[O]K", 'o'}};
  }
}

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

// Wraps text to lines of at most width characters (counted in code units).
std::vector<std::string> wrap(const std::u16string& text, std::size_t width) {
  std::vector<std::string> lines;
  std::u16string all = text;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find(u'\n', start);
    std::u16string para = all.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if (!para.empty() && para.back() == u'\r') para.pop_back();
    while (para.size() > width) {
      std::size_t cut = para.rfind(u' ', width);
      if (cut == std::u16string::npos || cut == 0) cut = width;
      lines.push_back(emu::toUtf8(para.substr(0, cut)));
      para.erase(0, cut == width ? cut : cut + 1);
    }
    lines.push_back(emu::toUtf8(para));
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::size_t columns(const std::string& utf8) { return emu::toUtf16(utf8).size(); }

void drawBox(const std::u16string& caption, const std::u16string& text, const std::vector<Button>& bs) {
  constexpr std::size_t kWidth = 64;
  const std::string rule = "+" + std::string(kWidth + 2, '-') + "+\n";
  auto row = [&](const std::string& s) {
    std::printf("| %s%s |\n", s.c_str(), std::string(kWidth - std::min(kWidth, columns(s)), ' ').c_str());
  };
  std::printf("\n%s", rule.c_str());
  for (const auto& l : wrap(caption, kWidth)) row(l);
  std::printf("%s", rule.c_str());
  for (const auto& l : wrap(text, kWidth)) row(l);
  row("");
  std::string labels;
  for (const auto& b : bs) labels += (labels.empty() ? "" : "   ") + std::string(b.label);
  row(std::string(kWidth > labels.size() ? (kWidth - labels.size()) / 2 : 0, ' ') + labels);
  std::printf("%s", rule.c_str());
}

// Asks at the terminal until a button is chosen; Enter takes the default
// button; the end of input dismisses the box.
int askAtTerminal(const std::u16string& caption, const std::u16string& text, UINT style) {
  const auto bs = buttons(style);
  const std::size_t def = std::min<std::size_t>((style & kDefaultButtonMask) >> 8, bs.size() - 1);
  drawBox(caption, text, bs);
  for (;;) {
    std::printf("Choose %s (Enter: %s): ", bs.size() == 1 ? "" : "a button", bs[def].label);
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
    answer = nextImageAnswer().value_or(dismissed(uType));
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
