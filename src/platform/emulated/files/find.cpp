// FindFirstFileW / FindNextFileW / FindClose on the emulated drives, with
// Windows' wildcard rules for the last component of the search path.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/emulated/files/files.h"
#include "platform/emulated/files/folder_index.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"

namespace emu {
namespace {
// Windows turns the pattern of a search into an NT expression: `?` becomes
// DOS_QM ('>'), `*` before a dot DOS_STAR ('<'), a dot before `?` or `*`
// DOS_DOT ('"'); trailing dots and blanks are dropped by path normalization,
// a dropped trailing dot still turning a `*` before it into DOS_STAR; and
// "*.*" is plain "*".
constexpr char16_t kStar = u'*';
constexpr char16_t kDosStar = u'<';
constexpr char16_t kDosQm = u'>';
constexpr char16_t kDosDot = u'"';

}  // namespace

std::u16string ntExpression(std::u16string_view pattern) {
  const bool endsWithDot = !pattern.empty() && pattern.back() == u'.';
  std::size_t n = pattern.size();
  while (n > 0 && (pattern[n - 1] == u'.' || pattern[n - 1] == u' ')) --n;
  const std::u16string_view kept = pattern.substr(0, n);
  if (kept == u"*.*") return u"*";
  std::u16string out;
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = kept[i];
    const char16_t next = i + 1 < n ? kept[i + 1] : (endsWithDot ? u'.' : u'\0');
    if (c == u'?') {
      out += kDosQm;
    } else if (c == u'*' && next == u'.') {
      out += kDosStar;
    } else if (c == u'.' && (next == u'?' || next == u'*')) {
      out += kDosDot;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {
// FsRtlIsNameInExpression's rules, ignoring case:
//   *  any run of characters;
//   <  any run of characters that does not take the name's last dot;
//   >  one character, or none at a dot or at the end of the name;
//   "  a dot, or nothing at the end of the name.
class Matcher {
 public:
  Matcher(std::u16string_view expr, std::u16string_view name)
      : expr_(expr), name_(name), lastDot_(name.rfind(u'.')),
        memo_((expr.size() + 1) * (name.size() + 1), -1) {}

  bool at(std::size_t e, std::size_t n) {
    std::int8_t& m = memo_[e * (name_.size() + 1) + n];
    if (m < 0) m = compute(e, n) ? 1 : 0;
    return m == 1;
  }

 private:
  bool compute(std::size_t e, std::size_t n) {
    const std::size_t end = name_.size();
    if (e == expr_.size()) return n == end;
    switch (expr_[e]) {
      case kStar:
        for (std::size_t j = n; j <= end; ++j)
          if (at(e + 1, j)) return true;
        return false;
      case kDosStar:
        for (std::size_t j = n; j <= end; ++j) {
          if (at(e + 1, j)) return true;
          if (j < end && name_[j] == u'.' && j == lastDot_) return false;
        }
        return false;
      case kDosQm:
        if (n == end || name_[n] == u'.') return at(e + 1, n);
        return at(e + 1, n + 1);
      case kDosDot:
        if (n == end) return at(e + 1, n);
        return name_[n] == u'.' && at(e + 1, n + 1);
      default:
        return n < end && upcase(name_[n]) == upcase(expr_[e]) && at(e + 1, n + 1);
    }
  }

  std::u16string_view expr_;
  std::u16string_view name_;
  std::size_t lastDot_;
  std::vector<std::int8_t> memo_;
};
}  // namespace

bool hasWildcards(std::u16string_view name) { return name.find_first_of(u"*?") != std::u16string_view::npos; }

bool expressionMatches(std::u16string_view expr, std::u16string_view name) {
  // The literal characters before the first wildcard stand for themselves:
  // a name that does not start with them is rejected without the matcher.
  const bool dots = name == u"." || name == u"..";
  const std::size_t literal = std::min(expr.find_first_of(u"*<>\""), expr.size());
  if (!dots && name.size() < literal) return false;
  for (std::size_t i = 0; !dots && i < literal; ++i)
    if (upcase(expr[i]) != upcase(name[i])) return false;
  if (Matcher(expr, name).at(0, 0)) return true;
  // NTFS reports "." and ".." for every expression made only of wildcards
  // ("?", "*." and "??." list them although neither name fits by the rules).
  if (dots)
    return !expr.empty() && expr.find_first_not_of(u"*<>") == std::u16string::npos;
  return false;
}

bool wildcardMatches(std::u16string_view pattern, std::u16string_view name) {
  return expressionMatches(ntExpression(pattern), name);
}

}  // namespace emu

namespace win {
namespace {
struct Search {
  std::vector<WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
};
std::map<std::uintptr_t, Search> searches;
std::uintptr_t lastSearchId = 0x4000;  // ids are never given twice, so a stale handle stays invalid

WIN32_FIND_DATAW findData(std::u16string_view name, const emu::ItemInfo& info) {
  WIN32_FIND_DATAW d{};
  d.dwFileAttributes = info.attributes;
  d.ftCreationTime = emu::toFILETIME(info.created);
  d.ftLastAccessTime = emu::toFILETIME(info.accessed);
  d.ftLastWriteTime = emu::toFILETIME(info.written);
  d.nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
  d.nFileSizeLow = static_cast<DWORD>(info.size & 0xFFFFFFFFu);
  name.copy(d.cFileName, std::min<std::size_t>(name.size(), MAX_PATH - 1));
  // No 8.3 short names on the emulated drives: cAlternateFileName stays empty.
  return d;
}

// The entries of `folder` that match `pattern`: "." and ".." first (not at a
// drive root), then the rest in NTFS order (names upper-cased, code unit by
// code unit). Sets `error` when the search cannot start.
std::vector<WIN32_FIND_DATAW> listFolder(LPCWSTR lpFileName, DWORD& error) {
  auto path = emu::parseWindowsPath(lpFileName ? lpFileName : u"");
  if (!path) {
    error = ERROR_PATH_NOT_FOUND;
    return {};
  }
  if (path->components.empty() || path->trailingSeparator) {
    // "C:\dir\" names no entry to look for (Windows fails it, as it fails "C:\").
    emu::Lookup folder = emu::lookUp(*path);
    error = folder.host ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    return {};
  }
  const std::u16string pattern = path->components.back();
  emu::WindowsPath folder = *path;
  folder.components.pop_back();
  for (const auto& c : folder.components) {
    if (!emu::isValidName(c, false)) {
      error = ERROR_INVALID_NAME;
      return {};
    }
  }
  if (!emu::isValidName(pattern, true)) {
    error = ERROR_INVALID_NAME;
    return {};
  }
  emu::Lookup found = emu::lookUp(folder);
  if (!found.host) {
    error = ERROR_PATH_NOT_FOUND;
    return {};
  }
  if (!found.folder) {
    error = ERROR_DIRECTORY;
    return {};
  }
  if (auto fault = emu::faultOn(folder); fault && !fault->attributes) {
    error = fault->code;
    return {};
  }
  std::vector<WIN32_FIND_DATAW> dots;
  if (!folder.components.empty()) {
    emu::WindowsPath parent = folder;
    parent.components.pop_back();
    // The folder was found through its real host names, so its host parent
    // is the parent's host folder.
    const std::filesystem::path parentHost = found.host->parent_path();
    const std::tuple<std::u16string_view, const emu::WindowsPath*, const std::filesystem::path*> dotEntries[] = {
        {u".", &folder, &*found.host}, {u"..", &parent, &parentHost}};
    for (const auto& [name, of, host] : dotEntries) {
      if (!emu::wildcardMatches(pattern, name)) continue;
      if (auto info = emu::itemInfo(*host, *of)) dots.push_back(findData(name, *info));
    }
  }
  std::vector<WIN32_FIND_DATAW> rest;
  // A pattern without wildcards names one entry; NTFS answers it from the
  // folder's index instead of listing the folder, and so do we. Patterns
  // ending in a dot or a blank keep the general path (they are rewritten).
  const bool plainName = pattern.find_first_of(u"*?<>\"") == std::u16string::npos && pattern != u"." &&
                         pattern != u".." && !pattern.empty() && pattern.back() != u'.' && pattern.back() != u' ';
  if (plainName) {
    emu::WindowsPath child = folder;
    child.components.push_back(pattern);
    emu::Lookup one = emu::lookUp(child);
    if (one.host) {
      const std::u16string name = emu::toUtf16(one.host->filename().string());
      if (auto info = emu::itemInfo(*one.host, emu::childPath(folder, name))) rest.push_back(findData(name, *info));
    }
  }
  if (!plainName) {
    // The folder's names from its index; matching the upper-cased names
    // answers as matching the names would, since matching ignores case.
    const std::u16string expression = emu::ntExpression(pattern);
    const std::string folderHost = found.host->native();
    const emu::FolderIndex* index = emu::folderIndex(folderHost);
    for (std::size_t i = 0; index && i < index->entries.size(); ++i) {
      const emu::FolderEntry& entry = index->entries[i];
      if (!emu::expressionMatches(expression, emu::upperName(*index, entry))) continue;
      const std::string_view hostName = emu::hostName(*index, entry);
      const std::u16string name = emu::toUtf16(hostName);
      std::string host = folderHost;
      host += '/';
      host += hostName;
      if (auto info = emu::itemInfo(host, emu::childPath(folder, name))) rest.push_back(findData(name, *info));
    }
  }
  std::sort(rest.begin(), rest.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    return emu::compareNoCase(a.cFileName, b.cFileName) < 0;
  });
  dots.insert(dots.end(), rest.begin(), rest.end());
  if (dots.empty()) error = ERROR_FILE_NOT_FOUND;
  return dots;
}
}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto code = emu::injectedFailure("FindFirstFileW")) return emu::failedWith<HANDLE>(*code, INVALID_HANDLE_VALUE);
  DWORD error = 0;
  std::vector<WIN32_FIND_DATAW> entries = listFolder(lpFileName, error);
  if (entries.empty()) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = entries.front();
  const std::uintptr_t id = (lastSearchId += 4);
  searches[id] = Search{std::move(entries), 1};
  return reinterpret_cast<HANDLE>(id);
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto code = emu::injectedFailure("FindNextFileW")) return emu::failedWith<BOOL>(*code, FALSE);
  auto it = searches.find(reinterpret_cast<std::uintptr_t>(hFindFile));
  if (it == searches.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Search& s = it->second;
  if (s.next >= s.entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = s.entries[s.next++];
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (auto code = emu::injectedFailure("FindClose")) return emu::failedWith<BOOL>(*code, FALSE);
  if (searches.erase(reinterpret_cast<std::uintptr_t>(hFindFile)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace win

namespace emu {

void endFileSearches() { win::searches.clear(); }

}  // namespace emu
