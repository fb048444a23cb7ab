// Undo records: the registry as it was before each change, in regedit's
// format, and the manifest of every quarantine move, both appended to files
// in the backup folder and flushed at once.
#include "system/undo_records.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/scoped.h"
#include "system/item_fingerprint.h"
#include "system/list.h"
#include "system/places.h"
#include "system/record_format.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text.h"

namespace {

constexpr char16_t kClasses[] = u"Software\\Classes\\";
constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services\\";

std::optional<std::u16string> recordPath(const char16_t* name) {
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) return std::nullopt;
  return backupFilePath(*desktop, name);
}

// Appends `text` to one of the record files, beginning a new (or empty) file
// with the byte-order mark and `firstLine`. 0, or the code of why it cannot
// be written: the open's, or ERROR_WRITE_FAULT for a write that failed.
win::DWORD appendRecord(const char16_t* name, std::u16string_view firstLine, std::u16string_view text) {
  std::optional<std::u16string> path = recordPath(name);
  if (!path) return win::ERROR_PATH_NOT_FOUND;
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  const bool fresh = !win::GetFileAttributesExW(path->c_str(), win::GetFileExInfoStandard, &data) ||
                     (data.nFileSizeLow == 0 && data.nFileSizeHigh == 0);
  win::ScopedFile file(win::_wfopen(path->c_str(), u"ab"));
  if (!file) {
    const win::DWORD error = win::GetLastError();
    return error ? error : win::ERROR_ACCESS_DENIED;
  }
  std::u16string all;
  if (fresh) {
    all.push_back(u'\xFEFF');
    all.append(firstLine);
  }
  all.append(text);
  writeUtf16(file.get(), all);
  return std::fflush(file.get()) == 0 && !std::ferror(file.get()) ? 0 : win::ERROR_WRITE_FAULT;
}

win::DWORD appendUndo(std::u16string_view text) {
  std::u16string first(REGEDIT_HEADER);
  first += u"\r\n";
  return appendRecord(UNDO_FILE_NAME, first, text);
}

win::DWORD appendManifest(std::u16string_view text) { return appendRecord(MANIFEST_NAME, u"", text); }

// Where a key named through HKEY_CLASSES_ROOT really lives: the user's copy
// when there is one (reads and deletions go there first), else the machine's.
void resolveRoot(win::HKEY& root, std::u16string& subKey) {
  if (root != win::HKEY_CLASSES_ROOT) return;
  const std::u16string user = kClasses + subKey;
  win::ScopedKey key;
  if (win::RegOpenKeyExW(win::HKEY_CURRENT_USER, user.c_str(), 0, win::KEY_READ, key.receive()) ==
      win::ERROR_SUCCESS) {
    root = win::HKEY_CURRENT_USER;
    subKey = user;
  } else {
    root = win::HKEY_LOCAL_MACHINE;
    subKey = kClasses + subKey;
  }
}

// The key's path with its names as stored, so that a key put back keeps
// its letter case; from a name not found on, the path as given.
std::u16string storedKeyPath(win::HKEY root, const std::u16string& subKey) {
  std::u16string stored;
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t end = subKey.find(u'\\', start);
    if (end == std::u16string::npos) end = subKey.size();
    const std::u16string wanted = subKey.substr(start, end - start);
    win::ScopedKey parent;
    if (win::RegOpenKeyExW(root, stored.c_str(), 0, win::KEY_READ, parent.receive()) != win::ERROR_SUCCESS)
      return stored.empty() ? subKey : stored + u"\\" + subKey.substr(start);
    StringList names = getSubkeys(parent.get());
    std::u16string name = wanted;
    for (const StringNode* n = names.head.get(); n; n = n->next.get()) {
      if (equalNoCase(n->text, wanted)) {
        name = n->text;
        break;
      }
    }
    freeStringList(names);
    stored += stored.empty() ? name : u"\\" + name;
    start = end + 1;
  }
  return stored;
}

// The key's block and those of all its subkeys, depth first, as regedit
// exports a tree.
win::LONG exportTree(win::HKEY root, const std::u16string& subKey, std::u16string& text) {
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(root, subKey.c_str(), 0, win::KEY_READ, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  std::vector<RegValue> values;
  rc = getValues(key.get(), values);
  if (rc != win::ERROR_SUCCESS) return rc;
  if (!text.empty() && text.back() == u'\n') text += u"\r\n";
  text += keyLine(root, subKey);
  for (const RegValue& v : values) text += regeditValueLine(v) + u"\r\n";
  StringList names = getSubkeys(key.get());
  for (const StringNode* n = names.head.get(); n && rc == win::ERROR_SUCCESS; n = n->next.get())
    rc = exportTree(root, subKey + u"\\" + n->text, text);
  freeStringList(names);
  return rc;
}

// A record of data that could not be read: the companion names the item and
// says it cannot put it back.
int recordUnreadable(const std::u16string& place, win::LONG rc) {
  std::array<char16_t, 64> code{};
  win::wsprintfW(code.data(), u"[%d] ", static_cast<int>(rc));
  std::u16string text = u"\r\n";
  text += UNDO_NOT_READ;
  text += code.data();
  text += place + u"\r\n";
  return appendUndo(text) == 0 ? 1 : 0;
}

// The names in a folder, sorted; the quarantine move's landing is the one
// name that a move adds.
std::vector<std::u16string> folderNames(const std::u16string& folder) {
  std::vector<std::u16string> names;
  StringList found = listFolder(folder, u"*", LIST_BOTH, 0);
  for (const StringNode* n = found.head.get(); n; n = n->next.get()) names.push_back(n->text);
  freeStringList(found);
  std::sort(names.begin(), names.end());
  return names;
}

std::u16string parentOf(const std::u16string& path) { return path.substr(0, path.rfind(u'\\')); }

// A registry record as appended: a blank line, its text, and its check.
std::u16string checkedRecord(const std::u16string& body) {
  std::u16string text = u"\r\n" + body;
  text += UNDO_CHECK;
  text += recordCheck(body) + u"\r\n";
  return text;
}

}  // namespace

void startUndoRun(std::u16string_view stamp) {
  std::u16string undo = u"\r\n";
  undo += UNDO_RUN;
  undo += stamp;
  undo += u"\r\n";
  (void)appendUndo(undo);
  std::u16string manifest(MANIFEST_RUN);
  manifest += stamp;
  manifest += u"\r\n";
  (void)appendManifest(manifest);
}

int recordValue(win::HKEY root, const char16_t* subKey, const char16_t* valueName, UndoValueChange change) {
  std::u16string path = subKey ? subKey : u"";
  resolveRoot(root, path);
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(root, path.c_str(), 0, win::KEY_READ, key.receive());
  if (rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return 0;  // nothing there to change
  const std::u16string wanted = valueName ? valueName : u"";
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(valuePlace(root, path, wanted), rc);
  std::vector<RegValue> values;
  rc = getValues(key.get(), values);
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(valuePlace(root, path, wanted), rc);
  auto found = std::find_if(values.begin(), values.end(),
                            [&](const RegValue& v) { return equalNoCase(v.name, wanted); });
  if (found == values.end()) return 0;
  std::u16string body(change == VALUE_BLANKED ? UNDO_BLANKED_VALUE : UNDO_DELETED_VALUE);
  body += u"\r\n" + keyLine(root, path) + regeditValueLine(*found) + u"\r\n";
  return appendUndo(checkedRecord(body)) == 0 ? 1 : 0;
}

int recordKeyTree(win::HKEY root, const char16_t* subKey) {
  std::u16string path = subKey ? subKey : u"";
  resolveRoot(root, path);
  // A missing key, and an empty path (the root itself, which no deletion
  // removes), leave nothing to record.
  if (path.empty()) return 0;
  win::ScopedKey probe;
  win::LONG rc = win::RegOpenKeyExW(root, path.c_str(), 0, win::KEY_READ, probe.receive());
  if (rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return 0;
  probe.reset();
  path = storedKeyPath(root, path);
  std::u16string tree;
  rc = exportTree(root, path, tree);
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(keyPlace(root, path), rc);
  std::u16string body(UNDO_DELETED_KEY);
  body += u"\r\n" + tree;
  return appendUndo(checkedRecord(body)) == 0 ? 1 : 0;
}

win::DWORD recordService(const char16_t* name, const ServiceConfig& config) {
  std::u16string path = kServicesKey;
  path += name;
  std::u16string stored = name;
  std::u16string tree;
  win::ScopedKey probe;
  win::LONG rc = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, win::KEY_READ, probe.receive());
  probe.reset();
  // A service without a key (the service manager knows it, the registry has
  // lost it) is recorded with its configuration alone.
  if (rc != static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) {
    if (rc != win::ERROR_SUCCESS) return static_cast<win::DWORD>(rc);
    path = storedKeyPath(win::HKEY_LOCAL_MACHINE, path);
    stored = path.substr(path.rfind(u'\\') + 1);
    rc = exportTree(win::HKEY_LOCAL_MACHINE, path, tree);
    if (rc != win::ERROR_SUCCESS) return static_cast<win::DWORD>(rc);
  }
  return appendUndo(checkedRecord(serviceRecordLines(stored, config) + tree));
}

void recordRegistryResult(int begun, int code) {
  if (!begun) return;
  std::array<char16_t, 32> line{};
  win::wsprintfW(line.data(), u"%d\r\n", code);
  std::u16string text(UNDO_RESULT);
  text += line.data();
  (void)appendUndo(text);
}

MoveRecord recordMove(std::u16string_view original, std::u16string_view destination) {
  MoveRecord record;
  std::u16string line(MANIFEST_MOVE);
  line += original;
  line += u"\r\n";
  if (appendManifest(line) != 0) return record;
  record.begun = 1;
  record.original = original;
  record.destination = destination;  // deleteFile hands no trailing backslash
  record.occupied = win::GetFileAttributesW(record.destination.c_str()) != win::INVALID_FILE_ATTRIBUTES;
  if (record.occupied) record.before = folderNames(parentOf(record.destination));
  return record;
}

void recordMoveResult(const MoveRecord& record, int code) {
  if (!record.begun) return;
  if (code != 0) {
    std::array<char16_t, 32> line{};
    win::wsprintfW(line.data(), u"%d\r\n", code);
    std::u16string text(MANIFEST_FAILED);
    text += line.data();
    (void)appendManifest(text);
    return;
  }
  std::u16string landing = record.destination;
  if (record.occupied) {
    // The shell renamed the item: it is the one name the move added. When
    // that is not clear, the record stays without its landing.
    const std::u16string parent = parentOf(record.destination);
    std::vector<std::u16string> after = folderNames(parent);
    std::vector<std::u16string> added;
    std::set_difference(after.begin(), after.end(), record.before.begin(), record.before.end(),
                        std::back_inserter(added));
    if (added.size() != 1) return;
    landing = parent + u"\\" + added.front();
  }
  // What moved, as it lies in the backup folder now: QuorelRestore tells by
  // it whatever is at the original place later.
  const std::optional<std::u16string> content = itemFingerprint(landing);
  (void)appendManifest(landedLine(record.original, landing, content ? *content : std::u16string()));
}
