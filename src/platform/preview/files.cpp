// The file calls of the preview layer: the items moved away, moved in, made
// and written are kept as effects over the backend's drives, and the queries
// and listings answer through them. A move is answered with the code it would
// get: the item is opened for deletion with the sharing a move needs (a
// folder, each of its files), which is what a move does first.
#include <algorithm>
#include <map>
#include <memory>

#include "platform/preview/layer.h"
#include "platform/preview/overlay.h"
#include "platform/preview/sink.h"

namespace preview {
namespace {

std::map<std::u16string, FileEffect>& effects() {
  static std::map<std::u16string, FileEffect> map;
  return map;
}

// The path in one spelling, case kept.
std::u16string normal(std::u16string_view path) {
  std::u16string out;
  for (char16_t c : path) {
    if (c == u'/') c = u'\\';
    if (c == u'\\' && !out.empty() && out.back() == u'\\') continue;
    out.push_back(c);
  }
  while (out.size() > 1 && out.back() == u'\\') out.pop_back();
  return out;
}

bool isDots(const char16_t* name) { return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0)); }

// The wildcards of a search's last name, for the items only the effects have:
// '*' any run of characters, '?' one; "*.*" is everything.
bool matches(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*") return true;
  if (pattern.empty()) return name.empty();
  if (pattern[0] == u'*') {
    for (std::size_t i = 0; i <= name.size(); ++i)
      if (matches(pattern.substr(1), name.substr(i))) return true;
    return false;
  }
  if (name.empty()) return false;
  if (pattern[0] != u'?' && upper(pattern.substr(0, 1)) != upper(name.substr(0, 1))) return false;
  return matches(pattern.substr(1), name.substr(1));
}

void setName(win::WIN32_FIND_DATAW& data, std::u16string_view name) {
  std::size_t n = std::min<std::size_t>(name.size(), win::MAX_PATH - 1);
  std::copy_n(name.data(), n, data.cFileName);
  data.cFileName[n] = 0;
  data.cAlternateFileName[0] = 0;
}

// The record of an existing item, as a listing of its folder would show it.
win::WIN32_FIND_DATAW recordOf(const Item& item, std::u16string_view name) {
  win::WIN32_FIND_DATAW data{};
  if (item.effect && item.effect->origin.empty()) {
    data = item.effect->data;
  } else {
    win::WIN32_FILE_ATTRIBUTE_DATA a{};
    if (win::qf_backend_GetFileAttributesExW(item.backend.c_str(), win::GetFileExInfoStandard, &a)) {
      data.dwFileAttributes = a.dwFileAttributes;
      data.ftCreationTime = a.ftCreationTime;
      data.ftLastAccessTime = a.ftLastAccessTime;
      data.ftLastWriteTime = a.ftLastWriteTime;
      data.nFileSizeHigh = a.nFileSizeHigh;
      data.nFileSizeLow = a.nFileSizeLow;
    }
  }
  setName(data, name);
  return data;
}

FileEffect madeFolder(std::u16string_view path) {
  FileEffect made{true, true, nameOf(path), {}, {}};
  made.data.dwFileAttributes = win::FILE_ATTRIBUTE_DIRECTORY;
  setName(made.data, made.name);
  return made;
}

// The item at `from` now at `to`.
void moveItem(const Item& item, std::u16string_view from, std::u16string_view to) {
  FileEffect moved{true, item.folder, nameOf(to), item.backend, recordOf(item, nameOf(to))};
  if (item.effect) moved.origin = item.effect->origin;
  removeItem(from);
  addItem(to, std::move(moved));
}

// The folders of `path` that are missing are made, as SHCreateDirectoryExW
// makes them: 0 when any was made, ERROR_ALREADY_EXISTS when the whole path
// was there, ERROR_FILE_EXISTS or ERROR_PATH_NOT_FOUND when a file is in the way.
int makeFolders(std::u16string_view path) {
  const std::u16string whole = normal(path);
  bool made = false;
  for (std::size_t end = whole.find(u'\\'); ; end = whole.find(u'\\', end + 1)) {
    const bool last = end == std::u16string::npos;
    const std::u16string prefix = whole.substr(0, last ? whole.size() : end);
    if (prefix.size() > 2) {  // past the drive
      Item item = findItem(prefix);
      if (item.exists && !item.folder) return static_cast<int>(last ? win::ERROR_FILE_EXISTS : win::ERROR_PATH_NOT_FOUND);
      if (!item.exists) {
        addItem(prefix, madeFolder(prefix));
        made = true;
      }
    }
    if (last) break;
  }
  return made ? 0 : static_cast<int>(win::ERROR_ALREADY_EXISTS);
}

// "b.txt" -> "b (2).txt"; a folder's name, and a name whose only dot leads
// it, have no extension.
std::u16string collisionName(const std::u16string& name, bool folder, int n) {
  std::size_t dot = folder ? std::u16string::npos : name.rfind(u'.');
  if (dot == 0) dot = std::u16string::npos;
  std::string number = " (" + std::to_string(n) + ")";
  std::u16string suffix(number.begin(), number.end());
  if (dot == std::u16string::npos) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

std::vector<std::u16string> splitList(const char16_t* list) {
  std::vector<std::u16string> out;
  if (!list) return out;
  for (const char16_t* p = list; *p; p += out.back().size() + 1) out.emplace_back(p);
  return out;
}

// A listing the effects change: its records, read out in order.
struct Search {
  std::vector<win::WIN32_FIND_DATAW> records;
  std::size_t next = 0;
};
std::map<win::HANDLE, std::unique_ptr<Search>>& searches() {
  static std::map<win::HANDLE, std::unique_ptr<Search>> map;
  return map;
}

// The backend's records for a search; false with the last error set when it
// failed otherwise than by finding nothing.
bool backendRecords(const std::u16string& query, std::vector<win::WIN32_FIND_DATAW>& out) {
  win::WIN32_FIND_DATAW data{};
  win::HANDLE h = win::qf_backend_FindFirstFileW(query.c_str(), &data);
  if (h == win::INVALID_HANDLE_VALUE) return win::qf_backend_GetLastError() == win::ERROR_FILE_NOT_FOUND;
  do out.push_back(data);
  while (win::qf_backend_FindNextFileW(h, &data));
  win::qf_backend_FindClose(h);
  return true;
}

// Streams the layer made in place of files the program writes.
std::set<std::FILE*>& sinks() {
  static std::set<std::FILE*> set;
  return set;
}

struct Redirect {
  std::u16string reportName, previewName, header;
  std::u16string path;   // the preview's report, once opened
  std::FILE* stream = nullptr;
  std::vector<long> unknown;  // offsets in the preview's report
  bool restart = false;
  std::vector<std::u16string> boxes;
};
Redirect& redirect() {
  static Redirect r;
  return r;
}

bool writes(std::u16string_view mode) {
  return mode.find_first_of(u"wa+") != std::u16string_view::npos;
}

std::FILE* openForWriting(const std::u16string& path) {
  Redirect& r = redirect();
  const std::u16string name = nameOf(normal(path));
  if (!r.reportName.empty() && upper(name) == upper(r.reportName)) {
    const std::u16string folder = parentOf(normal(path));
    const bool first = r.path.empty();
    if (first) r.path = folder + u"\\" + r.previewName;
    std::FILE* file = win::qf_backend__wfopen(r.path.c_str(), first ? u"wb" : u"ab");
    if (!file) return nullptr;
    if (first) {
      for (char16_t c : r.header) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)};
        std::fwrite(bytes, 1, 2, file);
      }
      std::fflush(file);
    }
    r.stream = file;
    FileEffect written{true, false, name, {}, {}};
    written.data.dwFileAttributes = win::FILE_ATTRIBUTE_ARCHIVE;
    setName(written.data, name);
    addItem(path, written);
    return file;
  }
  Item item = findItem(path);
  if (!item.exists && item.error != win::ERROR_FILE_NOT_FOUND) {
    win::qf_backend_SetLastError(item.error);
    return nullptr;
  }
  if (item.exists && item.folder) {
    win::qf_backend_SetLastError(win::ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::FILE* sink = openSink();
  if (!sink) return nullptr;
  sinks().insert(sink);
  if (!item.exists || !item.effect) {
    FileEffect written{true, false, nameOf(path), {}, {}};
    if (item.exists) written.data = recordOf(item, written.name);
    written.data.dwFileAttributes = win::FILE_ATTRIBUTE_ARCHIVE;
    setName(written.data, written.name);
    addItem(path, written);
  }
  return sink;
}

std::FILE* openForReading(const std::u16string& path, const char16_t* mode) {
  Item item = findItem(path);
  if (!item.exists) {
    win::qf_backend_SetLastError(item.error);
    return nullptr;
  }
  // A file the program wrote in this run: its bytes went nowhere.
  if (item.backend.empty()) {
    markUnknown();
    win::qf_backend_SetLastError(win::ERROR_SHARING_VIOLATION);
    return nullptr;
  }
  return win::qf_backend__wfopen(item.backend.c_str(), mode);
}

}  // namespace

// ---------------------------------------------------------------- the effects
std::u16string upper(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out)
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 0x20);
  return out;
}

std::u16string pathKey(std::u16string_view path) { return upper(normal(path)); }

std::u16string parentOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

std::u16string nameOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

Item findItem(std::u16string_view path) {
  const std::u16string spelt = normal(path);
  const std::u16string key = upper(spelt);
  auto& map = effects();
  if (auto self = map.find(key); self != map.end()) {
    if (!self->second.present) return {false, win::ERROR_FILE_NOT_FOUND, false, {}, nullptr};
    return {true, 0, self->second.folder, self->second.origin, &self->second};
  }
  std::u16string backend = spelt;
  for (std::u16string above = parentOf(key); !above.empty(); above = parentOf(above)) {
    auto it = map.find(above);
    if (it == map.end()) continue;
    const FileEffect& e = it->second;
    if (!e.present || !e.folder) return {false, win::ERROR_PATH_NOT_FOUND, false, {}, nullptr};
    if (e.origin.empty()) return {false, win::ERROR_FILE_NOT_FOUND, false, {}, nullptr};
    backend = e.origin + spelt.substr(above.size());  // below a moved folder
    break;
  }
  const win::DWORD attributes = win::qf_backend_GetFileAttributesW(backend.c_str());
  if (attributes == win::INVALID_FILE_ATTRIBUTES) return {false, win::qf_backend_GetLastError(), false, {}, nullptr};
  return {true, 0, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0, backend, nullptr};
}

void removeItem(std::u16string_view path) {
  const std::u16string key = pathKey(path);
  auto& map = effects();
  for (auto it = map.lower_bound(key + u"\\"); it != map.end() && it->first.starts_with(key + u"\\");)
    it = map.erase(it);
  map[key] = FileEffect{false, false, nameOf(path), {}, {}};
}

void addItem(std::u16string_view path, FileEffect effect) {
  const std::u16string key = pathKey(path);
  effects()[key] = std::move(effect);
}

std::vector<const FileEffect*> effectsIn(std::u16string_view folder) {
  const std::u16string prefix = pathKey(folder) + u"\\";
  std::vector<const FileEffect*> out;
  auto& map = effects();
  for (auto it = map.lower_bound(prefix); it != map.end() && it->first.starts_with(prefix); ++it)
    if (it->first.find(u'\\', prefix.size()) == std::u16string::npos) out.push_back(&it->second);
  return out;
}

namespace {
win::DWORD openForDeletion(const std::u16string& path, win::DWORD flags) {
  win::HANDLE h = win::qf_backend_CreateFileW(path.c_str(), win::DELETE,
                                              win::FILE_SHARE_READ | win::FILE_SHARE_WRITE | win::FILE_SHARE_DELETE,
                                              nullptr, win::OPEN_EXISTING, flags, nullptr);
  if (h == win::INVALID_HANDLE_VALUE) return win::qf_backend_GetLastError();
  win::qf_backend_CloseHandle(h);
  return 0;
}

win::DWORD folderDenial(const std::u16string& folder) {
  if (win::DWORD denied = openForDeletion(folder, win::FILE_FLAG_BACKUP_SEMANTICS)) return denied;
  std::vector<win::WIN32_FIND_DATAW> records;
  if (!backendRecords(folder + u"\\*", records)) return 0;
  for (const auto& r : records) {
    if (isDots(r.cFileName)) continue;
    const std::u16string child = folder + u"\\" + r.cFileName;
    const win::DWORD denied = (r.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) ? folderDenial(child)
                                                                                   : openForDeletion(child, 0);
    if (denied) return denied;
  }
  return 0;
}
}  // namespace

win::DWORD moveDenial(const Item& item) {
  if (item.backend.empty()) return 0;  // made in this run: nothing else holds it
  return item.folder ? folderDenial(item.backend) : openForDeletion(item.backend, 0);
}

// ---------------------------------------------------------------- the report
void redirectReport(std::u16string reportName, std::u16string previewName, std::u16string header) {
  Redirect& r = redirect();
  r.reportName = std::move(reportName);
  r.previewName = std::move(previewName);
  r.header = std::move(header);
}

const std::u16string& previewReportPath() { return redirect().path; }

void markUnknown() {
  Redirect& r = redirect();
  if (r.stream) r.unknown.push_back(std::ftell(r.stream));
}

void markRestart() { redirect().restart = true; }

void noteBox(const char16_t* text) { redirect().boxes.emplace_back(text ? text : u""); }

const std::vector<std::u16string>& boxesAsked() { return redirect().boxes; }

Unknowns unknownLines() {
  Redirect& r = redirect();
  Unknowns out;
  out.restart = r.restart;
  if (r.path.empty() || r.unknown.empty()) return out;
  std::FILE* file = win::qf_backend__wfopen(r.path.c_str(), u"rb");
  if (!file) return out;
  std::u16string text;
  for (unsigned char b[2]; std::fread(b, 1, 2, file) == 2;) text.push_back(static_cast<char16_t>(b[0] | b[1] << 8));
  win::qf_backend_fclose(file);
  // A line runs from the "\r\n" before the mark to the next one after it.
  for (long offset : r.unknown) {
    const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(offset) / 2, text.size());
    std::size_t start = text.rfind(u"\r\n", at == 0 ? 0 : at - 1);
    start = start == std::u16string::npos ? 0 : start + 2;
    std::size_t end = text.find(u"\r\n", at);
    std::u16string line = text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if (std::find(out.lines.begin(), out.lines.end(), line) == out.lines.end()) out.lines.push_back(line);
  }
  return out;
}

std::FILE* openBackendFile(const std::u16string& path, const char16_t* mode) {
  return win::qf_backend__wfopen(path.c_str(), mode);
}

int closeBackendFile(std::FILE* file) { return win::qf_backend_fclose(file); }

void forgetFileEffects() {
  effects().clear();
  searches().clear();
  redirect() = Redirect{};
}

}  // namespace preview

// ---------------------------------------------------------------- the seam
namespace win {
using preview::findItem;
using preview::Item;

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  if (preview::effects().empty()) return qf_backend_FindFirstFileW(lpFileName, lpFindFileData);
  const std::u16string query = preview::normal(lpFileName ? lpFileName : u"");
  const std::u16string folder = preview::parentOf(query);
  const std::u16string pattern = preview::nameOf(query);
  const auto changed = preview::effectsIn(folder);
  Item where = folder.size() <= 2 ? Item{true, 0, true, folder, nullptr} : findItem(folder);
  if (changed.empty() && !where.effect && where.exists && where.backend == folder)
    return qf_backend_FindFirstFileW(lpFileName, lpFindFileData);
  if (!where.exists) {
    qf_backend_SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_unique<preview::Search>();
  auto& records = search->records;
  if (!where.backend.empty()) {
    if (!preview::backendRecords(where.backend + u"\\" + pattern, records)) return INVALID_HANDLE_VALUE;
  } else if (preview::matches(pattern, u".")) {
    for (const char16_t* dots : {u".", u".."}) {
      WIN32_FIND_DATAW d{};
      d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
      preview::setName(d, dots);
      records.push_back(d);
    }
  }
  for (const preview::FileEffect* e : changed) {
    const std::u16string key = preview::upper(e->name);
    std::erase_if(records, [&](const WIN32_FIND_DATAW& r) { return preview::upper(r.cFileName) == key; });
    if (e->present && preview::matches(pattern, e->name)) records.push_back(e->data);
  }
  // As NTFS lists a folder: "." and ".." first, the rest by upper-cased name.
  auto firstName = std::find_if(records.begin(), records.end(), [](const auto& r) { return !preview::isDots(r.cFileName); });
  std::stable_sort(firstName, records.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
    return preview::upper(a.cFileName) < preview::upper(b.cFileName);
  });
  if (records.empty()) {
    qf_backend_SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = records[0];
  search->next = 1;
  HANDLE h = search.get();
  preview::searches()[h] = std::move(search);
  return h;
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  auto it = preview::searches().find(hFindFile);
  if (it == preview::searches().end()) return qf_backend_FindNextFileW(hFindFile, lpFindFileData);
  preview::Search& s = *it->second;
  if (s.next >= s.records.size()) {
    qf_backend_SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = s.records[s.next++];
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (preview::searches().erase(hFindFile)) return TRUE;
  return qf_backend_FindClose(hFindFile);
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  Item item = findItem(lpFileName ? lpFileName : u"");
  if (!item.exists) {
    qf_backend_SetLastError(item.error);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (item.effect && item.effect->origin.empty()) return item.effect->data.dwFileAttributes;
  return qf_backend_GetFileAttributesW(item.backend.c_str());
}

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId, void* lpFileInformation) {
  Item item = findItem(lpFileName ? lpFileName : u"");
  if (!item.exists) {
    qf_backend_SetLastError(item.error);
    return FALSE;
  }
  if (!(item.effect && item.effect->origin.empty()))
    return qf_backend_GetFileAttributesExW(item.backend.c_str(), fInfoLevelId, lpFileInformation);
  if (fInfoLevelId != GetFileExInfoStandard) {
    qf_backend_SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const WIN32_FIND_DATAW& d = item.effect->data;
  *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation) = {d.dwFileAttributes, d.ftCreationTime,
                                                                 d.ftLastAccessTime, d.ftLastWriteTime,
                                                                 d.nFileSizeHigh, d.nFileSizeLow};
  return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  const std::u16string from = lpExistingFileName ? lpExistingFileName : u"";
  const std::u16string to = lpNewFileName ? lpNewFileName : u"";
  Item source = findItem(from);
  if (!source.exists) {
    qf_backend_SetLastError(source.error);
    return FALSE;
  }
  Item target = findItem(to);
  if (target.exists || target.error != ERROR_FILE_NOT_FOUND) {
    qf_backend_SetLastError(target.exists ? ERROR_ALREADY_EXISTS : target.error);
    return FALSE;
  }
  if (DWORD denied = preview::moveDenial(source)) {
    qf_backend_SetLastError(denied);
    return FALSE;
  }
  preview::moveItem(source, from, to);
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   const SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  Item item = findItem(lpFileName ? lpFileName : u"");
  if (!item.exists || item.backend.empty()) {
    qf_backend_SetLastError(item.exists ? ERROR_SHARING_VIOLATION : item.error);
    return INVALID_HANDLE_VALUE;
  }
  return qf_backend_CreateFileW(item.backend.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                                dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/) {
  const std::u16string path = lpPathName ? lpPathName : u"";
  Item item = findItem(path);
  if (item.exists || item.error != ERROR_FILE_NOT_FOUND) {
    qf_backend_SetLastError(item.exists ? ERROR_ALREADY_EXISTS : item.error);
    return FALSE;
  }
  preview::addItem(path, preview::madeFolder(preview::normal(path)));
  return TRUE;
}

int SHCreateDirectoryExW(HWND /*hwnd*/, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* /*psa*/) {
  return preview::makeFolders(pszPath ? pszPath : u"");
}

int SHFileOperationW(SHFILEOPSTRUCTW* lpFileOp) {
  if (!lpFileOp) return static_cast<int>(ERROR_INVALID_PARAMETER);
  lpFileOp->fAnyOperationsAborted = FALSE;
  if (lpFileOp->wFunc != FO_MOVE) return static_cast<int>(ERROR_INVALID_FUNCTION);
  const auto sources = preview::splitList(lpFileOp->pFrom);
  const auto targets = preview::splitList(lpFileOp->pTo);
  // One item to one place is what the program asks; anything else is
  // answered as done, and its line listed as not known.
  if (sources.size() != 1 || targets.size() != 1 ||
      sources[0].find_first_of(u"*?") != std::u16string::npos) {
    preview::markUnknown();
    return 0;
  }
  const std::u16string& from = sources[0];
  Item source = findItem(from);
  if (!source.exists) {
    // The shell looks at every source before it moves anything, so a move
    // of a missing item changes nothing: the backend answers it, with the
    // code of its release. One the effects moved away is asked as a name
    // beside it that is not there either.
    SHFILEOPSTRUCTW probe = *lpFileOp;
    std::u16string missing = from;
    if (source.error == ERROR_FILE_NOT_FOUND && qf_backend_GetFileAttributesW(from.c_str()) != INVALID_FILE_ATTRIBUTES)
      missing += u".qfpreview-missing";
    missing.push_back(u'\0');
    probe.pFrom = missing.c_str();
    const int rc = qf_backend_SHFileOperationW(&probe);
    lpFileOp->fAnyOperationsAborted = probe.fAnyOperationsAborted;
    return rc;
  }
  if (DWORD denied = preview::moveDenial(source)) return static_cast<int>(denied);
  std::u16string to = preview::normal(targets[0]);
  if (Item target = findItem(to); target.exists) {
    if (lpFileOp->fFlags & FOF_RENAMEONCOLLISION) {
      const std::u16string wanted = preview::nameOf(to);
      const std::u16string folder = preview::parentOf(to);
      for (int n = 2; findItem(to).exists; ++n) to = folder + u"\\" + preview::collisionName(wanted, source.folder, n);
    } else if (target.folder) {
      to += u"\\" + preview::nameOf(preview::normal(from));
    }
  }
  (void)preview::makeFolders(preview::parentOf(to));
  preview::moveItem(source, from, to);
  return 0;
}

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
  const std::u16string p = path ? path : u"";
  const char16_t* m = mode ? mode : u"";
  return preview::writes(m) ? preview::openForWriting(p) : preview::openForReading(p, m);
}

std::FILE* fopen(const char* path, const char* mode) {
  // 8-bit paths and modes, byte for byte.
  std::u16string p, m;
  for (const char* c = path ? path : ""; *c; ++c) p.push_back(static_cast<unsigned char>(*c));
  for (const char* c = mode ? mode : ""; *c; ++c) m.push_back(static_cast<unsigned char>(*c));
  return preview::writes(m) ? preview::openForWriting(p) : preview::openForReading(p, m.c_str());
}

int fclose(std::FILE* stream) {
  if (preview::sinks().erase(stream)) return std::fclose(stream);
  if (stream == preview::redirect().stream) preview::redirect().stream = nullptr;
  return qf_backend_fclose(stream);
}

}  // namespace win
