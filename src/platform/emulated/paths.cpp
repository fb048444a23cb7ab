#include "platform/emulated/paths.h"

#include "platform/emulated/image.h"
#include "platform/emulated/text.h"

namespace emu {
namespace fs = std::filesystem;

std::optional<WindowsPath> parseWindowsPath(std::u16string_view path) {
  if (path.size() < 2 || path[1] != u':') return std::nullopt;
  char16_t d = upcase(path[0]);
  if (d < u'A' || d > u'Z') return std::nullopt;
  WindowsPath out;
  out.drive = d;
  std::u16string part;
  auto flush = [&] {
    if (part.empty() || part == u".") {
    } else if (part == u"..") {
      if (!out.components.empty()) out.components.pop_back();
    } else {
      out.components.push_back(part);
    }
    part.clear();
  };
  for (std::size_t i = 2; i < path.size(); ++i) {
    char16_t c = path[i];
    if (c == u'\\' || c == u'/') {
      flush();
    } else {
      part.push_back(c);
    }
  }
  out.trailingSeparator = !path.empty() && (path.back() == u'\\' || path.back() == u'/');
  flush();
  return out;
}

namespace {
fs::path driveRoot(char16_t drive) {
  std::string name = "drive_";
  name.push_back(static_cast<char>(drive - u'A' + 'a'));
  return image().root / name;
}

std::optional<fs::path> findChild(const fs::path& dir, const std::u16string& name) {
  std::error_code ec;
  fs::path exact = dir / toUtf8(name);
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (equalNoCase(toUtf16(entry.path().filename().string()), name)) return entry.path();
  }
  return std::nullopt;
}
}  // namespace

std::optional<fs::path> findHostPath(const WindowsPath& path) {
  fs::path cur = driveRoot(path.drive);
  std::error_code ec;
  if (!fs::is_directory(cur, ec)) return std::nullopt;
  for (const auto& c : path.components) {
    auto next = findChild(cur, c);
    if (!next) return std::nullopt;
    cur = *next;
  }
  return cur;
}

fs::path hostPathFor(const WindowsPath& path) {
  fs::path cur = driveRoot(path.drive);
  bool missing = false;
  for (const auto& c : path.components) {
    if (!missing) {
      auto next = findChild(cur, c);
      if (next) {
        cur = *next;
        continue;
      }
      missing = true;
    }
    cur /= toUtf8(c);
  }
  return cur;
}

}  // namespace emu
