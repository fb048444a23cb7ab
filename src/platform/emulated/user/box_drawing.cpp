// Drawing a message box at a terminal (box_drawing.h).
#include "platform/emulated/user/box_drawing.h"

#include <algorithm>
#include <cctype>

#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

constexpr win::UINT kButtonsMask = 0x0000000F;
constexpr win::UINT kDefaultButtonMask = 0x00000F00;

std::string repeated(char c, std::size_t n) { return std::string(n, c); }

}  // namespace

std::vector<BoxButton> boxButtons(win::UINT style) {
  using namespace win;
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

std::size_t boxDefaultButton(win::UINT style) {
  return std::min<std::size_t>((style & kDefaultButtonMask) >> 8, boxButtons(style).size() - 1);
}

std::vector<std::u16string> wrapBoxText(std::u16string_view text, std::size_t width) {
  std::vector<std::u16string> lines;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(u'\n', start);
    std::u16string_view para = text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
    if (!para.empty() && para.back() == u'\r') para.remove_suffix(1);
    while (para.size() > width) {
      std::size_t cut = para.rfind(u' ', width);
      if (cut == std::u16string_view::npos || cut == 0) cut = width;
      lines.emplace_back(para.substr(0, cut));
      para.remove_prefix(cut < para.size() && para[cut] == u' ' ? cut + 1 : cut);
    }
    lines.emplace_back(para);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string boxDrawing(std::u16string_view caption, std::u16string_view text, win::UINT style, std::size_t columns) {
  const std::size_t outer = std::clamp(columns, kBoxMinColumns, kBoxMaxColumns);
  const std::size_t width = outer - 4;  // "| " and " |"
  const std::string rule = "+" + repeated('-', outer - 2) + "+\n";
  std::string out;
  const auto row = [&](std::u16string_view line) {
    out += "| " + toUtf8(line) + repeated(' ', width - std::min(width, line.size())) + " |\n";
  };
  out += rule;
  for (const auto& line : wrapBoxText(caption, width)) row(line);
  out += rule;
  for (const auto& line : wrapBoxText(text, width)) row(line);
  row(u"");
  std::string labels;
  for (const auto& b : boxButtons(style)) labels += (labels.empty() ? "" : "   ") + std::string(b.label);
  const std::u16string centred = toUtf16(repeated(' ', width > labels.size() ? (width - labels.size()) / 2 : 0) + labels);
  for (const auto& line : wrapBoxText(centred, width)) row(line);
  out += rule;
  return out;
}

std::string boxPrompt(win::UINT style) {
  const auto bs = boxButtons(style);
  const std::string def = bs[boxDefaultButton(style)].label;
  if (bs.size() == 1) return "Press Enter for " + def + ": ";
  return "Choose a button (Enter: " + def + "): ";
}

std::string boxKeysHint(win::UINT style) {
  const auto bs = boxButtons(style);
  std::string keys;
  for (std::size_t i = 0; i < bs.size(); ++i) {
    if (i > 0) keys += i + 1 == bs.size() ? " or " : ", ";
    keys += static_cast<char>(std::toupper(static_cast<unsigned char>(bs[i].key)));
  }
  return "Type " + keys + ", or press Enter for " + std::string(bs[boxDefaultButton(style)].label) + ".\n";
}

}  // namespace emu
