// Windows paths as text (windows_path.h).
#include "platform/emulated/machine/windows_path.h"

#include "platform/emulated/machine/text.h"

namespace emu {

namespace {
bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
}  // namespace

std::optional<WindowsPath> parseWindowsPath(std::u16string_view path) {
  // "C:" alone and "C:name" are relative to the drive's current folder, which
  // the emulated process does not have.
  if (path.size() < 3 || path[1] != u':' || !isSeparator(path[2])) return std::nullopt;
  char16_t d = upcase(path[0]);
  if (d < u'A' || d > u'Z') return std::nullopt;
  WindowsPath out;
  out.drive = d;
  for (std::size_t i = 2; i < path.size();) {
    std::size_t end = i;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    const std::u16string_view part = path.substr(i, end - i);
    if (part.empty() || part == u".") {
    } else if (part == u"..") {
      if (!out.components.empty()) out.components.pop_back();
    } else {
      out.components.emplace_back(part);
    }
    i = end + 1;
  }
  out.trailingSeparator = isSeparator(path.back());
  return out;
}

std::u16string windowsText(const WindowsPath& path) {
  std::u16string out{path.drive, u':'};
  for (const auto& c : path.components) {
    out += u'\\';
    out += c;
  }
  if (path.components.empty()) out += u'\\';
  return out;
}

WindowsPath childPath(const WindowsPath& path, std::u16string_view name) {
  WindowsPath out = path;
  out.components.emplace_back(name);
  out.trailingSeparator = false;
  return out;
}

bool sameOrInside(const WindowsPath& inner, const WindowsPath& outer) {
  if (inner.drive != outer.drive || inner.components.size() < outer.components.size()) return false;
  for (std::size_t i = 0; i < outer.components.size(); ++i) {
    if (!equalNoCase(inner.components[i], outer.components[i])) return false;
  }
  return true;
}

}  // namespace emu
