// The shell's file calls on the emulated drives: SHFileOperationW (FO_MOVE)
// and SHCreateDirectoryExW. Where XP and later releases answer differently,
// SHFileOperationW answers as the image's [windows] version. Both are
// declared with the rest of the seam in win32.h.
#include <set>
#include <string>
#include <vector>

#include "platform/emulated/files/files.h"
#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/files/item_access.h"
#include "platform/emulated/files/wildcard.h"
#include "platform/emulated/machine/host_error.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {
namespace fs = std::filesystem;

// SHFileOperationW's own results for a folder moved onto itself or onto a
// file, and a file moved onto a folder (shell32's DE_* codes).
constexpr int DE_SAMEFILE = 0x71;
constexpr int DE_FLDDESTISFILE = 0x7E;
constexpr int DE_FILEDESTISFLD = 0x80;
// What XP answers for a move it would have to ask about and cannot.
constexpr int CANCELLED = 1223;  // ERROR_CANCELLED

bool onXp() { return emu::windowsVersion() == emu::WindowsVersion::Xp; }

// A source that is not there: 2 from Vista on, 1026 on XP.
int missingSource() { return onXp() ? DE_ERROR_INVALID_PATH : static_cast<int>(ERROR_FILE_NOT_FOUND); }

// A double-zero-terminated list.
std::vector<std::u16string> splitList(LPCWSTR list) {
  std::vector<std::u16string> out;
  if (!list) return out;
  for (const char16_t* p = list; *p; p += out.back().size() + 1) out.emplace_back(p);
  return out;
}

// An absolute drive-letter path with nothing Windows forbids in its names;
// the last name of a source may hold wildcards.
std::optional<emu::WindowsPath> shellPath(const std::u16string& text, bool wildcardsInName) {
  auto path = emu::parseWindowsPath(text);
  if (!path) return std::nullopt;
  for (std::size_t i = 0; i < path->components.size(); ++i) {
    const bool last = i + 1 == path->components.size();
    if (!emu::isValidName(path->components[i], wildcardsInName && last)) return std::nullopt;
  }
  return path;
}

bool isFolder(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(host, ec);
}

// "b.txt" -> "b (2).txt", "b (3).txt", ...; "name" -> "name (2)". A folder's
// name has no extension, nor has a name whose only dot leads it.
std::u16string collisionName(const std::u16string& name, bool folder, int n) {
  std::size_t dot = folder ? std::u16string::npos : name.rfind(u'.');
  if (dot == 0) dot = std::u16string::npos;
  const std::u16string number = emu::toUtf16(" (" + std::to_string(n) + ")");
  if (dot == std::u16string::npos) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

struct Move {
  emu::WindowsPath from;
  fs::path fromHost;
  bool folder = false;
  emu::WindowsPath to;
  bool replace = false;  // the target exists and gives way (file replaced, folder merged)
};

// Moves the content of one host folder into another, replacing files and
// merging folders of the same name, then removes the emptied source; 0 or
// the Windows code of the host's failure.
DWORD mergeFolders(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  std::vector<fs::path> children;
  for (const auto& e : fs::directory_iterator(from, ec)) children.push_back(e.path());
  if (ec) return emu::windowsErrorFromErrno(ec.value());
  for (const auto& child : children) {
    const std::u16string name = emu::toUtf16(child.filename().string());
    fs::path existing;
    for (const auto& e : fs::directory_iterator(to, ec)) {
      if (emu::equalNoCase(emu::toUtf16(e.path().filename().string()), name)) existing = e.path();
    }
    if (!existing.empty()) {
      if (isFolder(child) && isFolder(existing)) {
        if (DWORD failed = mergeFolders(child, existing)) return failed;
        continue;
      }
      fs::remove_all(existing, ec);
      if (ec) return emu::windowsErrorFromErrno(ec.value());
    }
    if (DWORD failed = emu::moveHostItem(child, to / child.filename())) return failed;
  }
  fs::remove(from, ec);
  return ec ? emu::windowsErrorFromErrno(ec.value()) : 0;
}

// Walks `path` down from its drive root, passing the folders that exist and
// making those that do not, each journalled as made by `call`. 0 when the
// whole path is a folder now (`made` tells whether any was made);
// ERROR_FILE_EXISTS when its last name is a file, ERROR_PATH_NOT_FOUND when
// a file stands on the way, or the Windows code of the host's failure.
DWORD makeFolderPath(const emu::WindowsPath& path, std::string_view call, bool& made) {
  made = false;
  emu::WindowsPath walk{path.drive, {}, false};
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    walk.components.push_back(path.components[i]);
    const bool last = i + 1 == path.components.size();
    if (auto existing = emu::findHostPath(walk)) {
      if (isFolder(*existing)) continue;
      return last ? ERROR_FILE_EXISTS : ERROR_PATH_NOT_FOUND;
    }
    const fs::path host = emu::hostPathFor(walk);
    std::error_code ec;
    if (!fs::create_directory(host, ec)) {
      if (!ec) continue;  // a folder made there meanwhile, beside the machine
      return emu::windowsErrorFromErrno(ec.value(), {ERROR_PATH_NOT_FOUND, ERROR_ALREADY_EXISTS});
    }
    emu::noteAdded(host.native(), true);
    emu::journal(std::string(call) + " folder=" + emu::journalPath(walk));
    made = true;
  }
  return 0;
}

int planMoves(const SHFILEOPSTRUCTW& op, std::vector<Move>& moves) {
  const std::vector<std::u16string> sources = splitList(op.pFrom);
  const std::vector<std::u16string> targets = splitList(op.pTo);
  if (sources.empty()) return 0;
  if (targets.empty()) return static_cast<int>(ERROR_FILE_NOT_FOUND);
  const bool multiDest = (op.fFlags & FOF_MULTIDESTFILES) != 0;
  const bool rename = (op.fFlags & FOF_RENAMEONCOLLISION) != 0;

  // Every path is checked before anything is looked up, and every item before
  // anything moves: a failed operation moves nothing.
  std::vector<emu::WindowsPath> from;
  std::vector<emu::WindowsPath> to;
  for (const auto& s : sources) {
    auto p = shellPath(s, true);
    if (!p || p->components.empty()) return DE_ERROR_INVALID_PATH;
    from.push_back(*p);
  }
  for (const auto& t : targets) {
    auto p = shellPath(t, false);
    if (!p) return DE_ERROR_INVALID_PATH;
    to.push_back(*p);
  }

  std::set<fs::path> planned;  // targets taken by earlier items of this operation
  for (std::size_t i = 0; i < from.size(); ++i) {
    const emu::WindowsPath& dest = multiDest && i < to.size() ? to[i] : to.front();
    // Several sources to one destination, or a wildcard source: the
    // destination is the folder that receives them.
    bool into = (!multiDest && from.size() > 1) || emu::hasWildcards(from[i].components.back());
    std::vector<emu::WindowsPath> items;
    if (emu::hasWildcards(from[i].components.back())) {
      emu::WindowsPath folder = from[i];
      folder.components.pop_back();
      auto host = emu::findHostPath(folder);
      if (!host || !isFolder(*host)) return missingSource();
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(*host, ec)) {
        const std::u16string name = emu::toUtf16(e.path().filename().string());
        if (emu::wildcardMatches(from[i].components.back(), name)) items.push_back(emu::childPath(folder, name));
      }
      if (items.empty()) return missingSource();
    } else {
      items.push_back(from[i]);
    }
    for (const auto& item : items) {
      emu::Lookup found = emu::lookUp(item);
      if (!found.host) return missingSource();
      Move m{item, *found.host, isFolder(*found.host), into ? emu::childPath(dest, item.components.back()) : dest};
      if (emu::sameOrInside(m.to, m.from)) {
        if (m.to.components.size() == m.from.components.size()) return DE_SAMEFILE;
        // A folder into its own subtree: XP leaves it where it is and reports
        // success. Below a file is no path at all: checked with the parent.
        if (m.folder) {
          if (onXp()) continue;
          return DE_DESTSUBTREE;
        }
      }
      if (DWORD denied = emu::itemDenial(m.from, m.fromHost, emu::ItemAccess::Move)) return static_cast<int>(denied);

      auto target = emu::findHostPath(m.to);
      if (target && !rename && !into && isFolder(*target)) {
        // An existing folder as the destination receives the item.
        m.to = emu::childPath(m.to, item.components.back());
        if (emu::sameOrInside(m.to, m.from)) {
          if (onXp()) continue;
          return DE_DESTSUBTREE;
        }
        target = emu::findHostPath(m.to);
      }
      if ((target || planned.count(emu::hostPathFor(m.to))) && rename) {
        const emu::WindowsPath wanted = m.to;
        for (int n = 2;; ++n) {
          m.to = wanted;
          m.to.components.back() = collisionName(wanted.components.back(), m.folder, n);
          if (!emu::findHostPath(m.to) && !planned.count(emu::hostPathFor(m.to))) break;
        }
        target.reset();
      }
      if (target) {
        if (m.folder != isFolder(*target)) return m.folder ? DE_FLDDESTISFILE : DE_FILEDESTISFLD;
        if (DWORD denied = emu::itemDenial(m.to, *target, emu::ItemAccess::Move)) return static_cast<int>(denied);
        m.replace = true;
      }
      // A file where a destination folder should be makes the path unusable.
      emu::WindowsPath parent = m.to;
      parent.components.pop_back();
      emu::WindowsPath walk = parent;
      while (!walk.components.empty() && !emu::findHostPath(walk)) walk.components.pop_back();
      if (auto h = emu::findHostPath(walk); !h || !isFolder(*h)) return DE_ERROR_INVALID_PATH;
      // XP asks before it makes a missing destination folder, unless
      // FOF_NOCONFIRMMKDIR answers for it; with no one to ask, it cancels.
      if (walk.components.size() < parent.components.size() && onXp() && !(op.fFlags & FOF_NOCONFIRMMKDIR))
        return CANCELLED;
      planned.insert(emu::hostPathFor(m.to));
      moves.push_back(std::move(m));
    }
  }
  return 0;
}

DWORD carryOut(const Move& m) {
  emu::WindowsPath parent = m.to;
  parent.components.pop_back();
  // Missing destination folders are made: FOF_NOCONFIRMMKDIR's answer, and
  // from Vista on also without the flag (XP cancelled such a move when planned).
  bool made = false;
  if (DWORD failed = makeFolderPath(parent, "SHFileOperationW", made)) return failed;
  const fs::path target = emu::hostPathFor(m.to);
  DWORD failed = 0;
  if (m.replace && m.folder) {
    failed = mergeFolders(m.fromHost, target);
    emu::forgetFolderIndexes();  // a merge changes many folders
  } else {
    std::error_code ec;
    if (m.replace && fs::remove(target, ec)) emu::noteRemoved(target.native());
    failed = ec ? emu::windowsErrorFromErrno(ec.value()) : emu::moveHostItem(m.fromHost, target);
  }
  if (failed) return failed;
  std::string line = "SHFileOperationW from=" + emu::journalPath(m.from) + " to=" + emu::journalPath(m.to);
  if (m.replace) line += m.folder ? " target=merged" : " target=replaced";
  emu::journal(line);
  return 0;
}
}  // namespace

int SHFileOperationW(SHFILEOPSTRUCTW* lpFileOp) {
  if (auto code = emu::injectedFailure("SHFileOperationW")) return static_cast<int>(*code);
  if (!lpFileOp) return static_cast<int>(ERROR_INVALID_PARAMETER);
  lpFileOp->fAnyOperationsAborted = FALSE;
  // Only moves are emulated; the program asks for nothing else.
  if (lpFileOp->wFunc != FO_MOVE) return static_cast<int>(ERROR_INVALID_FUNCTION);
  std::vector<Move> moves;
  if (int planned = planMoves(*lpFileOp, moves); planned != 0) {
    if (planned == CANCELLED) lpFileOp->fAnyOperationsAborted = TRUE;
    return planned;
  }
  for (const Move& m : moves) {
    if (DWORD failed = carryOut(m)) return static_cast<int>(failed);
  }
  return 0;
}

int SHCreateDirectoryExW(HWND, LPCWSTR pszPath, const SECURITY_ATTRIBUTES*) {
  if (auto code = emu::injectedFailure("SHCreateDirectoryExW")) return emu::failedWith<int>(*code, static_cast<int>(*code));
  auto finish = [](DWORD code) {
    SetLastError(code);
    return static_cast<int>(code);
  };
  auto path = emu::parseWindowsPath(pszPath ? pszPath : u"");
  if (!path) return finish(ERROR_BAD_PATHNAME);
  for (const auto& c : path->components) {
    if (!emu::isValidName(c, false)) return finish(ERROR_PATH_NOT_FOUND);
  }
  auto root = emu::findHostPath(emu::WindowsPath{path->drive, {}, false});
  if (!root || !isFolder(*root)) return finish(ERROR_PATH_NOT_FOUND);
  if (path->components.empty()) return finish(ERROR_ALREADY_EXISTS);
  bool made = false;
  if (DWORD failed = makeFolderPath(*path, "SHCreateDirectoryExW", made)) return finish(failed);
  return finish(made ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
}

}  // namespace win
