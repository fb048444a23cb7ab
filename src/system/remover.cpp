// The quarantine move, the registry deletion and blanking primitives, and the
// remove-and-report step that every caller of deleteFile shares.
#include "system/remover.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "platform/scoped.h"
#include "system/places.h"
#include "system/reboot_list.h"
#include "system/report_sink.h"
#include "system/text.h"
#include "system/undo_records.h"

namespace {

// The flags of the quarantine move: no progress window, no question, no error
// box, missing folders made without asking, and an item already present at the
// destination (from an earlier removal) kept, the moved one renamed.
constexpr win::FILEOP_FLAGS kMoveFlags = win::FOF_SILENT | win::FOF_RENAMEONCOLLISION |
                                         win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR |
                                         win::FOF_NOERRORUI;
static_assert(kMoveFlags == 0x61C);

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The names of a path as Windows resolves them: separators of either kind,
// empty names and "." dropped, ".." taking back the name before it. Windows
// drops the trailing dots and blanks of a name, so they are dropped here too,
// and a name made only of dots and blanks is taken as ".." when it holds two
// dots or more, as nothing otherwise; either reading errs on the side of
// refusing. None when a ".." would climb above the first name, which is the
// drive's own (the letter of a mirrored path, "C:" of a path). The names are
// views into `path`.
using Names = std::vector<std::u16string_view>;
std::optional<Names> resolvedNames(std::u16string_view path) {
  Names names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    std::u16string_view name = path.substr(start, end - start);
    std::size_t dots = 0;
    for (char16_t c : name) dots += c == u'.';
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    if (!name.empty()) {
      names.push_back(name);
    } else if (dots >= 2) {
      if (names.size() <= 1) return std::nullopt;
      names.pop_back();
    }
    start = end + 1;
  }
  return names;
}

// Whether `inner` names the same item as `outer` or one below it.
bool sameOrBelow(const Names& inner, const Names& outer) {
  if (inner.size() < outer.size()) return false;
  for (std::size_t i = 0; i < outer.size(); ++i)
    if (!equalNoCase(inner[i], outer[i])) return false;
  return true;
}

// Items the quarantine must not take, whatever a removal script names: the
// backup folder, anything in it (it is removed already; the reboot list is
// there) and any folder that holds it (the shell would be asked to move the
// backup folder into itself), and the report being written.
bool isOwnItem(const Names& item, std::u16string_view desktop) {
  // The names are views into these texts.
  const std::u16string backupPath = backupFolderPath(desktop);
  const std::u16string ownReport = reportPath(desktop);
  const std::optional<Names> backup = resolvedNames(backupPath);
  const std::optional<Names> report = resolvedNames(ownReport);
  if (backup && (sameOrBelow(item, *backup) || sameOrBelow(*backup, item))) return true;
  return report && item.size() == report->size() && sameOrBelow(item, *report);
}

}  // namespace

int deleteFile(std::u16string_view path) {
  // Paths travel as zero-terminated text through the shell; a zero unit
  // inside a view would turn the shell's double-terminated source into a
  // list of two items. The text ends at the first zero, as it would for any
  // C string.
  path = untilTerminator(path);
  // A path written with a trailing separator names the item before it. Its
  // mirror must not end in one: the parent made for the move would then be
  // the item's own mirrored place, and the shell would rename the moved item
  // beside it ("tail (2)") instead of putting it there.
  while (path.size() > 3 && isSeparator(path.back())) path.remove_suffix(1);
  // The destination is built from the drive letter and the text from the
  // third character on: only an absolute drive-letter path has those parts.
  // A relative or UNC path, or a device name, would be moved from somewhere
  // else than its mirrored place says; nothing is made for it.
  const bool letter = path.size() >= 1 && asciiUpper(path[0]) >= u'A' && asciiUpper(path[0]) <= u'Z';
  if (path.size() < 3 || !letter || path[1] != u':' || !isSeparator(path[2])) return win::DE_ERROR_INVALID_PATH;

  std::u16string mirrored;
  mirrored.push_back(path[0]);
  mirrored.append(path.substr(2));
  // Within the drive letter's folder of the backup folder, where a user looks
  // to restore it: a ".." may climb only within that folder.
  const std::optional<Names> mirroredNames = resolvedNames(mirrored);
  if (!mirroredNames || mirroredNames->empty()) return win::DE_ERROR_INVALID_PATH;

  // Without the desktop folder there is no backup folder to move into.
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) return win::DE_ERROR_INVALID_PATH;
  const std::optional<Names> item = resolvedNames(path);
  if (!item || isOwnItem(*item, *desktop)) return win::DE_ERROR_INVALID_PATH;

  // A quarantined item lands at <desktop>\QuorelFix Backups\<letter><rest>.
  std::u16string destination = backupFilePath(*desktop, mirrored);
  // Windows' path limit: a longer destination cannot be made, now or after a
  // restart, so it fails with a code that no reboot fallback schedules.
  if (destination.size() > win::MAX_PATH) return static_cast<int>(win::ERROR_FILENAME_EXCED_RANGE);

  // Create the parent first; its result is not looked at (the folder usually
  // exists already, and if it could not be made the move fails on its own).
  std::u16string parent = destination.substr(0, destination.rfind(u'\\'));
  win::SHCreateDirectoryExW(nullptr, parent.c_str(), nullptr);

  // The shell takes lists: each ends with a second terminator.
  std::u16string source(path);
  source.push_back(u'\0');
  destination.push_back(u'\0');

  win::SHFILEOPSTRUCTW op{};
  op.hwnd = nullptr;
  op.wFunc = win::FO_MOVE;
  op.pFrom = source.c_str();
  op.pTo = destination.c_str();
  op.fFlags = kMoveFlags;
  op.hNameMappings = nullptr;
  op.lpszProgressTitle = nullptr;
  // The manifest names the item before it moves, and where it landed after.
  MoveRecord record = recordMove(path, std::u16string_view(destination.c_str()));
  int result = win::SHFileOperationW(&op);
  recordMoveResult(record, result);
  return result;
}

// Each registry change is preceded by its undo record and followed by its
// result; a record that cannot be written does not stop the change.
int deleteRegDef(win::HKEY root, const char16_t* subKey, const char16_t* valueName) {
  if (valueName == nullptr) {
    const int begun = recordKeyTree(root, subKey);
    const int rc = win::SHDeleteKeyW(root, subKey);
    recordRegistryResult(begun, rc);
    return rc;
  }
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(root, subKey, 0, win::DELETE | win::KEY_SET_VALUE, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  const int begun = recordValue(root, subKey, valueName, VALUE_DELETED);
  rc = win::RegDeleteValueW(key.get(), valueName);
  recordRegistryResult(begun, rc);
  return rc;
}

// The lists carry their value names as strings; an empty name stands for "no
// value", so the node names the key itself.
int deleteReg(const RegNode& item) {
  win::ScopedKey key;
  win::LONG rc =
      win::RegOpenKeyExW(item.root, item.subKey.c_str(), 0, win::DELETE | win::KEY_SET_VALUE, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  if (!item.valueName.empty()) {
    const int begun = recordValue(item.root, item.subKey.c_str(), item.valueName.c_str(), VALUE_DELETED);
    rc = win::RegDeleteValueW(key.get(), item.valueName.c_str());
    recordRegistryResult(begun, rc);
    return rc;
  }
  // Only a key without subkeys goes this way; no tree is removed.
  const int begun = recordKeyTree(item.root, item.subKey.c_str());
  rc = win::RegDeleteKeyW(key.get(), u"");
  recordRegistryResult(begun, rc);
  return rc;
}

int setRegSZValue(const REG_DEF* def, std::u16string_view text) {
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(def->root, def->subKey, 0, win::KEY_SET_VALUE, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  std::u16string data(text);  // c_str() supplies the terminator that is stored too
  auto bytes = static_cast<win::DWORD>((data.size() + 1) * sizeof(char16_t));
  const int begun = recordValue(def->root, def->subKey, def->valueName, VALUE_BLANKED);
  rc = win::RegSetValueExW(key.get(), def->valueName, 0, win::REG_SZ,
                           reinterpret_cast<const win::BYTE*>(data.c_str()), bytes);
  recordRegistryResult(begun, rc);
  return rc;
}

// In the order of Removal: lead-in, separator, trim one backslash, "Not
// found" for 2, reboot fallback.
constexpr REMOVAL_DEF REMOVALS[REMOVAL_COUNT] = {
    // Script lines: what is missing or no path is so after a restart too,
    // and the reboot pass schedules nothing again.
    {u"\r\nDeleting \"", u"\" -> ", 0, 0, RETRY_UNLESS_GONE},  // REMOVE_SCRIPT_LINE
    {u"\r\nDeleting \"", u"\" -> ", 0, 0, RETRY_NEVER},        // REMOVE_SCRIPT_LINE_AFTER_RESTART
    // The sweeps remove only what they have just found: any failure is
    // tried again.
    {u"\r\nDeleting \"", u"\" -> ", 0, 0, RETRY_ANY_FAILURE},  // REMOVE_EXTENSION_FOLDER
    // Unquoted, and without the registered path's trailing backslash.
    {u"\r\nDeleting ", u" -> ", 1, 0, RETRY_ANY_FAILURE},        // REMOVE_REGISTERED_FOLDER
    {u"\r\nDeleting folder: \"", u"\" -> ", 0, 0, RETRY_ANY_FAILURE},  // REMOVE_FOLDER_RULE
    {u"\r\nDeleting file: \"", u"\" -> ", 0, 0, RETRY_ANY_FAILURE},    // REMOVE_FILE_RULE
    // A DLL that is not there is "Not found"; XP's shell answers 1026 for
    // it, which keeps its "Failed" line and is not scheduled either.
    {u"\r\nDeleting file: \"", u"\" -> ", 0, 1, RETRY_UNLESS_GONE},  // REMOVE_JAVA_PLUGIN_DLL
};
static_assert(REMOVALS[REMOVAL_COUNT - 1].leadIn != nullptr, "a row for every caller");

namespace {

bool schedules(RebootFallback fallback, int code) {
  if (code == static_cast<int>(win::ERROR_FILENAME_EXCED_RANGE)) return false;
  switch (fallback) {
    case RETRY_ANY_FAILURE: return true;
    case RETRY_UNLESS_GONE:
      return code != static_cast<int>(win::ERROR_FILE_NOT_FOUND) && code != win::DE_ERROR_INVALID_PATH;
    case RETRY_NEVER: return false;
  }
  return false;
}

}  // namespace

int removeAndReport(Removal row, std::u16string_view path) {
  const REMOVAL_DEF& def = REMOVALS[row];
  if (def.trimBackslash && !path.empty() && path.back() == u'\\') path.remove_suffix(1);
  path = untilTerminator(path);
  logit(def.leadIn);
  logit(path);
  logit(def.separator);
  const int result = deleteFile(path);
  if (def.notFound && result == static_cast<int>(win::ERROR_FILE_NOT_FOUND)) {
    logit(u"Not found");
    return result;
  }
  logOutcome(result);
  if (result != 0 && rebootList().allowReboot() && schedules(def.fallback, result)) {
    logit(u" -> Delete on reboot");
    addReboot(path);
  }
  return result;
}
