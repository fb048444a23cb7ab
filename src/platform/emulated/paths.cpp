#include "platform/emulated/paths.h"

#include "platform/emulated/image.h"
#include "platform/emulated/text.h"

namespace emu {
namespace fs = std::filesystem;

namespace {
bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

constexpr std::uint32_t kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kPathNotFound = 3;  // ERROR_PATH_NOT_FOUND
}  // namespace

std::optional<WindowsPath> parseWindowsPath(std::u16string_view path) {
  // "C:" alone and "C:name" are relative to the drive's current folder, which
  // the emulated process does not have.
  if (path.size() < 3 || path[1] != u':' || !isSeparator(path[2])) return std::nullopt;
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
    if (isSeparator(path[i])) {
      flush();
    } else {
      part.push_back(path[i]);
    }
  }
  out.trailingSeparator = isSeparator(path.back());
  flush();
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

bool isValidName(std::u16string_view name, bool wildcards) {
  for (char16_t c : name) {
    if (c < 32) return false;
    switch (c) {
      case u'<': case u'>': case u':': case u'"': case u'|': case u'/': case u'\\':
        return false;
      case u'*': case u'?':
        if (!wildcards) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

fs::path driveRoot(char16_t drive) {
  std::string name = "drive_";
  name.push_back(static_cast<char>(upcase(drive) - u'A' + 'a'));
  return image().root / name;
}

namespace {
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

Lookup lookUp(const WindowsPath& path) {
  fs::path cur = driveRoot(path.drive);
  std::error_code ec;
  // Most paths are written with the case they were created with: one stat of
  // the whole host path answers them, where the walk below costs two per
  // component. The host cannot hold a name below a file, so an existing exact
  // path also satisfies "every component before the last is a folder".
  fs::path exact = cur;
  for (const auto& c : path.components) exact /= toUtf8(c);
  if (!path.components.empty() && fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec)
    return {exact, 0};
  if (!fs::is_directory(cur, ec)) return {std::nullopt, kPathNotFound};
  std::size_t first = 0;
  // A missing item in a folder written with its own case: only the last name
  // needs the case-insensitive search.
  if (path.components.size() > 1 && fs::is_directory(exact.parent_path(), ec)) {
    cur = exact.parent_path();
    first = path.components.size() - 1;
  }
  for (std::size_t i = first; i < path.components.size(); ++i) {
    // Everything before the last component must be a folder.
    if (i > 0 && !fs::is_directory(cur, ec)) return {std::nullopt, kPathNotFound};
    auto next = findChild(cur, path.components[i]);
    if (!next) return {std::nullopt, i + 1 == path.components.size() ? kFileNotFound : kPathNotFound};
    cur = *next;
  }
  return {cur, 0};
}

std::optional<fs::path> findHostPath(const WindowsPath& path) { return lookUp(path).host; }

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
