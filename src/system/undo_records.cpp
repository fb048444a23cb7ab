// Undo records: the registry as it was before each change, in regedit's
// format, and the manifest of every quarantine move, both appended to files
// in the backup folder and flushed at once.
#include "system/undo_records.h"

#include <algorithm>
#include <array>
#include <optional>

#include "control/report_log.h"
#include "platform/scoped.h"
#include "system/text.h"
#include "system/list.h"
#include "system/md5.h"
#include "system/scanner.h"

namespace {

constexpr char16_t kBackupFolder[] = u"\\QuorelFix Backups\\";
constexpr char16_t kClasses[] = u"Software\\Classes\\";

// Regedit wraps a value's hexadecimal bytes so that no line passes 80
// characters, going on after ",\" on a line indented by two blanks.
constexpr std::size_t kWrapColumn = 77;

std::optional<std::u16string> recordPath(const char16_t* name) {
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) return std::nullopt;
  return *desktop + kBackupFolder + name;
}

// Appends `text` to one of the record files, beginning a new (or empty) file
// with the byte-order mark and `firstLine`. False when it cannot be written.
bool appendRecord(const char16_t* name, std::u16string_view firstLine, std::u16string_view text) {
  std::optional<std::u16string> path = recordPath(name);
  if (!path) return false;
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  const bool fresh = !win::GetFileAttributesExW(path->c_str(), win::GetFileExInfoStandard, &data) ||
                     (data.nFileSizeLow == 0 && data.nFileSizeHigh == 0);
  win::ScopedFile file(win::_wfopen(path->c_str(), u"ab"));
  if (!file) return false;
  std::u16string all;
  if (fresh) {
    all.push_back(u'\xFEFF');
    all.append(firstLine);
  }
  all.append(text);
  writeUtf16(file.get(), all);
  return std::fflush(file.get()) == 0 && !std::ferror(file.get());
}

bool appendUndo(std::u16string_view text) {
  std::u16string first(REGEDIT_HEADER);
  first += u"\r\n";
  return appendRecord(UNDO_FILE_NAME, first, text);
}

bool appendManifest(std::u16string_view text) { return appendRecord(MANIFEST_NAME, u"", text); }

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

// Every value of an open key in enumeration order, names as stored and data
// exact. 0, or the first failing call's code.
win::LONG readValues(win::HKEY key, std::vector<RegValue>& values) {
  win::DWORD count = 0, longestName = 0, longestData = 0;
  win::LONG rc = win::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                       &longestName, &longestData, nullptr, nullptr);
  if (rc != win::ERROR_SUCCESS) return rc;
  std::vector<char16_t> name(longestName + 1, u'\0');
  std::vector<std::uint8_t> data(longestData + 2, 0);
  for (win::DWORD index = 0;; ++index) {
    win::DWORD nameLength = static_cast<win::DWORD>(name.size());
    win::DWORD dataSize = static_cast<win::DWORD>(data.size());
    win::DWORD type = 0;
    rc = win::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
    if (rc == static_cast<win::LONG>(win::ERROR_MORE_DATA)) {
      // A value grew while it was read: room for it, and the same index again.
      name.assign(16384, u'\0');
      data.assign(std::max<std::size_t>(data.size() * 2, dataSize + 2), 0);
      --index;
      continue;
    }
    if (rc == static_cast<win::LONG>(win::ERROR_NO_MORE_ITEMS)) return win::ERROR_SUCCESS;
    if (rc != win::ERROR_SUCCESS) return rc;
    values.push_back(RegValue{std::u16string(name.data(), nameLength), type,
                              std::vector<std::uint8_t>(data.begin(), data.begin() + dataSize)});
  }
}

std::u16string keyLine(win::HKEY root, const std::u16string& subKey) {
  return u"[" + rootName(root) + u"\\" + subKey + u"]\r\n";
}

// The key's block and those of all its subkeys, depth first, as regedit
// exports a tree.
win::LONG exportTree(win::HKEY root, const std::u16string& subKey, std::u16string& text) {
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(root, subKey.c_str(), 0, win::KEY_READ, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  std::vector<RegValue> values;
  rc = readValues(key.get(), values);
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
int recordUnreadable(win::HKEY root, const std::u16string& place, win::LONG rc) {
  std::array<char16_t, 64> code{};
  win::wsprintfW(code.data(), u"[%d] ", static_cast<int>(rc));
  std::u16string text = u"\r\n";
  text += UNDO_NOT_READ;
  text += code.data();
  text += rootName(root) + u"\\" + place + u"\r\n";
  return appendUndo(text) ? 1 : 0;
}

std::u16string hexByte(std::uint8_t b) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  return {kDigits[b >> 4], kDigits[b & 0xF]};
}

// The names in a folder, sorted; the quarantine move's landing is the one
// name that a move adds.
std::vector<std::u16string> folderNames(const std::u16string& folder) {
  std::vector<std::u16string> names;
  win::WIN32_FIND_DATAW found{};
  win::ScopedFind find(win::FindFirstFileW((folder + u"\\*").c_str(), &found));
  if (!find) return names;
  do {
    std::u16string name(found.cFileName);
    if (name != u"." && name != u"..") names.push_back(name);
  } while (win::FindNextFileW(find.get(), &found));
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

std::u16string recordCheck(std::u16string_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, bytes.data(), static_cast<unsigned int>(bytes.size()));
  unsigned char digest[16];
  MD5Final(digest, &context);
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string check;
  for (unsigned char b : digest) {
    check.push_back(kDigits[b >> 4]);
    check.push_back(kDigits[b & 0xF]);
  }
  return check;
}

std::u16string withoutTrailingBackslashes(std::u16string_view path) {
  while (path.size() > 3 && path.back() == u'\\') path.remove_suffix(1);
  return std::u16string(path);
}

std::u16string rootName(win::HKEY root) {
  if (root == win::HKEY_LOCAL_MACHINE) return u"HKEY_LOCAL_MACHINE";
  if (root == win::HKEY_CURRENT_USER) return u"HKEY_CURRENT_USER";
  if (root == win::HKEY_CLASSES_ROOT) return u"HKEY_CLASSES_ROOT";
  if (root == win::HKEY_USERS) return u"HKEY_USERS";
  return u"HKEY_UNKNOWN";
}

std::u16string regeditValueLine(const RegValue& value) {
  std::u16string line;
  if (value.name.empty()) {
    line = u"@=";
  } else {
    line = u"\"";
    for (char16_t c : value.name) {
      if (c == u'\\' || c == u'"') line.push_back(u'\\');
      line.push_back(c);
    }
    line += u"\"=";
  }
  const std::vector<std::uint8_t>& d = value.data;
  // Text as text when regedit's "..." form gives back exactly these bytes:
  // whole units, one terminator at the end, none before it, no line breaks.
  if (value.type == win::REG_SZ && d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 &&
      d[d.size() - 2] == 0) {
    std::u16string text;
    bool plain = true;
    for (std::size_t i = 0; i + 2 < d.size() && plain; i += 2) {
      auto c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
      plain = c >= 0x20;
      if (c == u'\\' || c == u'"') text.push_back(u'\\');
      text.push_back(c);
    }
    if (plain) return line + u"\"" + text + u"\"";
  }
  if (value.type == win::REG_DWORD && d.size() == 4) {
    std::u16string text = u"dword:";
    for (int i = 3; i >= 0; --i) text += hexByte(d[static_cast<std::size_t>(i)]);
    return line + text;
  }
  if (value.type == win::REG_BINARY) {
    line += u"hex:";
  } else {
    std::array<char16_t, 32> type{};
    win::wsprintfW(type.data(), u"hex(%x):", static_cast<unsigned>(value.type));
    line += type.data();
  }
  std::size_t column = line.size();
  for (std::size_t i = 0; i < d.size(); ++i) {
    line += hexByte(d[i]);
    column += 2;
    if (i + 1 == d.size()) break;
    line.push_back(u',');
    ++column;
    if (column >= kWrapColumn) {
      line += u"\\\r\n  ";
      column = 2;
    }
  }
  return line;
}

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
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(root, path + u"\\\\" + wanted, rc);
  std::vector<RegValue> values;
  rc = readValues(key.get(), values);
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(root, path + u"\\\\" + wanted, rc);
  auto found = std::find_if(values.begin(), values.end(),
                            [&](const RegValue& v) { return equalNoCase(v.name, wanted); });
  if (found == values.end()) return 0;
  std::u16string body(change == VALUE_BLANKED ? UNDO_BLANKED_VALUE : UNDO_DELETED_VALUE);
  body += u"\r\n" + keyLine(root, path) + regeditValueLine(*found) + u"\r\n";
  return appendUndo(checkedRecord(body)) ? 1 : 0;
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
  if (rc != win::ERROR_SUCCESS) return recordUnreadable(root, path, rc);
  std::u16string body(UNDO_DELETED_KEY);
  body += u"\r\n" + tree;
  return appendUndo(checkedRecord(body)) ? 1 : 0;
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
  if (!appendManifest(line)) return record;
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
  // The check covers the original path too, written on the move line.
  std::u16string text(MANIFEST_LANDED);
  text += landing + u"\t" + recordCheck(record.original + u"\t" + landing) + u"\r\n";
  (void)appendManifest(text);
}
