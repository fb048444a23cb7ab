// The quarantine move, the registry deletion and blanking primitives, and the
// remove-and-report step that every caller of deleteFile shares.
#include "system/remover.h"

#include <cstddef>

#include "control/QuorelFix.h"
#include "platform/scoped.h"
#include "system/undo_records.h"

namespace {

// A quarantined item lands at <desktop>\QuorelFix Backups\<letter><rest>.
constexpr std::u16string_view kBackupFolder = u"\\QuorelFix Backups\\";

// The flags of the quarantine move: no progress window, no question, no error
// box, missing folders made without asking, and an item already present at the
// destination (from an earlier removal) kept, the moved one renamed.
constexpr win::FILEOP_FLAGS kMoveFlags = win::FOF_SILENT | win::FOF_RENAMEONCOLLISION |
                                         win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR |
                                         win::FOF_NOERRORUI;
static_assert(kMoveFlags == 0x61C);

// Paths travel as zero-terminated text through the shell; a zero unit inside
// a view would turn the shell's double-terminated source into a list of two
// items. The text ends at the first zero, as it would for any C string.
std::u16string_view untilZero(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Whether `mirrored` (the drive letter followed by the rest of the path), read
// the way Windows resolves "." and ".." in a path, stays within the folder of
// its drive letter inside the backup folder, where a user looks to restore it. A ".." may climb only within that folder. Windows drops trailing
// dots and blanks of a component, so a component made only of dots and blanks
// is taken as ".." when it holds two dots or more, and as nothing otherwise;
// either reading errs on the side of refusing.
bool staysInsideLetterFolder(std::u16string_view mirrored) {
  std::size_t depth = 0;
  std::size_t start = 0;
  while (start <= mirrored.size()) {
    std::size_t end = start;
    while (end < mirrored.size() && !isSeparator(mirrored[end])) ++end;
    std::size_t dots = 0;
    bool name = false;
    for (char16_t c : mirrored.substr(start, end - start)) {
      if (c == u'.') {
        ++dots;
      } else if (c != u' ') {
        name = true;
      }
    }
    if (name) {
      ++depth;
    } else if (dots >= 2) {
      if (depth <= 1) return false;  // climbs out of the drive letter's folder
      --depth;
    }
    start = end + 1;
  }
  return depth > 0;
}

}  // namespace

int deleteFile(std::u16string_view path) {
  path = untilZero(path);
  // The destination is built from the first character and the text from the
  // third on; anything shorter has no such parts.
  if (path.size() < 3) return win::DE_ERROR_INVALID_PATH;

  std::u16string mirrored;
  mirrored.push_back(path[0]);
  mirrored.append(path.substr(2));
  if (!staysInsideLetterFolder(mirrored)) return win::DE_ERROR_INVALID_PATH;

  // Without the desktop folder there is no backup folder to move into.
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) return win::DE_ERROR_INVALID_PATH;

  std::u16string destination = *desktop;
  destination.append(kBackupFolder);
  destination.append(mirrored);
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

int removeAndReport(std::u16string_view path, std::u16string_view separator) {
  path = untilZero(path);
  logit(path);
  logit(separator);
  int result = deleteFile(path);
  if (result == 0) {
    logit(u"Success!");
    return result;
  }
  logiti(u"Failed [%d]", result);
  // A destination too long for Windows stays too long after a restart.
  if (allowReboot && result != static_cast<int>(win::ERROR_FILENAME_EXCED_RANGE)) {
    logit(u" -> Delete on reboot");
    addReboot(path);
  }
  return result;
}
