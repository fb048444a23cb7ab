// QuorelRestore's run: the administrator gate, the list of what QuorelFix
// removed, and the restore with its report, QuorelRestore.txt beside
// QuorelFix's report on the desktop, written in the same plain style.
#include "restore/QuorelRestore.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "restore/restore_service.h"
#include "system/item_fingerprint.h"
#include "system/places.h"
#include "system/privileges.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text.h"
#include "system/text_viewer.h"

namespace {

// One listed item: its number is its place in this list, counted from 1.
struct NumberedItem {
  const RestoreRun* run;
  const RestoreItem* item;
};

// The console's texts are 8-bit: characters beyond ASCII show as '?'; the
// report has them exactly.
void console(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

// What the list says of an item, and what the report writes after it when
// the item is left; in the order of ItemStatus.
struct StatusTexts {
  const char16_t* listed;
  const char16_t* left;
};
constexpr StatusTexts STATUS_TEXTS[] = {
    {u"can be put back", u""},
    {u"back in place", u"Back in place already, left as it is"},
    {u"not in the backup folder", u"Not in the backup folder, left as it is"},
    {u"original place taken", u"Original place taken, left as it is"},
    {u"record incomplete", u"Record incomplete, left as it is"},
    {u"record damaged", u"Record damaged, left as it is"},
    {u"not recorded", u"Not recorded, left as it is"},
    {u"can be put back after the restart", u"Can be put back after the restart, left as it is"},
};
static_assert(sizeof STATUS_TEXTS / sizeof STATUS_TEXTS[0] == STATUS_AFTER_RESTART + 1);

bool isFolder(const std::u16string& path) {
  const win::DWORD attributes = win::GetFileAttributesW(path.c_str());
  return attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A moved item is a folder when it is one where it lies now.
const char16_t* kindText(const RestoreItem& item) {
  switch (item.kind) {
    case ITEM_FILE: return isFolder(item.landing) || isFolder(item.place) ? u"folder" : u"file";
    case ITEM_DELETED_VALUE: return u"value";
    case ITEM_BLANKED_VALUE: return u"blanked value";
    case ITEM_DELETED_KEY: return u"key";
    case ITEM_DELETED_SERVICE: return u"service";
  }
  return u"";
}

bool exists(const std::u16string& path) { return win::GetFileAttributesW(path.c_str()) != win::INVALID_FILE_ATTRIBUTES; }

// The value's current type and bytes; the open's or the query's code.
win::LONG queryValue(const RegBlock& block, const RegValue& recorded, win::DWORD& type,
                     std::vector<win::BYTE>& data) {
  win::ScopedKey key;
  win::LONG rc = win::RegOpenKeyExW(block.root, block.subKey.c_str(), 0, win::KEY_READ, key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  win::DWORD size = 0;
  rc = win::RegQueryValueExW(key.get(), recorded.name.c_str(), nullptr, &type, nullptr, &size);
  if (rc != win::ERROR_SUCCESS) return rc;
  data.assign(size, 0);
  rc = win::RegQueryValueExW(key.get(), recorded.name.c_str(), nullptr, &type, data.data(), &size);
  if (rc == win::ERROR_SUCCESS) data.resize(size);
  return rc;
}

bool keyExists(const RegBlock& block) {
  win::ScopedKey key;
  return win::RegOpenKeyExW(block.root, block.subKey.c_str(), 0, win::KEY_READ, key.receive()) !=
         static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND);
}

bool sameValue(const RegValue& recorded, win::DWORD type, const std::vector<win::BYTE>& data) {
  return type == recorded.type && data == recorded.data;
}

// A key tree is back when every recorded key is there with exactly its
// recorded values (names compared as Windows compares them) and no key or
// value more.
bool treeIsBack(const RestoreItem& item) {
  for (const RegBlock& block : item.blocks) {
    win::ScopedKey key;
    if (win::RegOpenKeyExW(block.root, block.subKey.c_str(), 0, win::KEY_READ, key.receive()) != win::ERROR_SUCCESS)
      return false;
    std::vector<RegValue> values;
    if (getValues(key.get(), values) != win::ERROR_SUCCESS || values.size() != block.values.size()) return false;
    for (const RegValue& v : block.values) {
      auto found = std::find_if(values.begin(), values.end(), [&](const RegValue& now) {
        return equalNoCase(now.name, v.name) && sameValue(v, now.type, now.data);
      });
      if (found == values.end()) return false;
    }
    StringList names = getSubkeys(key.get());
    bool recorded = true;
    for (const StringNode* n = names.head.get(); n && recorded; n = n->next.get()) {
      const std::u16string sub = block.subKey + u"\\" + n->text;
      recorded = std::any_of(item.blocks.begin(), item.blocks.end(),
                             [&](const RegBlock& b) { return b.root == block.root && equalNoCase(b.subKey, sub); });
    }
    freeStringList(names);
    if (!recorded) return false;
  }
  return true;
}

// A registry item's place: free when the key or value is gone (a blanked
// value also while it holds the empty text QuorelFix stored), back when it
// holds exactly what was recorded, else taken.
ItemStatus registryStatus(const RestoreItem& item) {
  const RegBlock& block = item.blocks.front();
  if (item.kind == ITEM_DELETED_KEY) {
    if (!keyExists(block)) return STATUS_RESTORABLE;
    return treeIsBack(item) ? STATUS_BACK_IN_PLACE : STATUS_OCCUPIED;
  }
  win::DWORD type = 0;
  std::vector<win::BYTE> data;
  win::LONG rc = queryValue(block, block.values.front(), type, data);
  if (rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return STATUS_RESTORABLE;
  if (rc != win::ERROR_SUCCESS) return STATUS_OCCUPIED;
  if (sameValue(block.values.front(), type, data)) return STATUS_BACK_IN_PLACE;
  const bool blank = type == win::REG_SZ && data.size() == 2 && data[0] == 0 && data[1] == 0;
  return item.kind == ITEM_BLANKED_VALUE && blank ? STATUS_RESTORABLE : STATUS_OCCUPIED;
}

// Whether a moved item's original place holds what moved: its fingerprint
// as recorded or, for records without one, as the backed-up copy gives it.
bool fileIsBack(const RestoreItem& item, bool inBackup) {
  std::optional<std::u16string> recorded;
  if (!item.content.empty())
    recorded = item.content;
  else if (inBackup)
    recorded = itemFingerprint(item.landing);
  if (!recorded) return false;
  return itemFingerprint(item.place) == recorded;
}

}  // namespace

win::LONG setValues(const RegBlock& block) {
  win::ScopedKey key;
  win::LONG rc = win::RegCreateKeyExW(block.root, block.subKey.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                      win::KEY_SET_VALUE, nullptr, key.receive(), nullptr);
  if (rc != win::ERROR_SUCCESS) return rc;
  for (const RegValue& v : block.values) {
    // Windows reads the character after a string's counted bytes and, when
    // it is zero, stores a terminator the count left out. A non-zero pad
    // keeps the bytes exactly as recorded (a string stored without its
    // terminator comes back without it) and that read inside the buffer.
    std::vector<win::BYTE> padded(v.data);
    padded.insert(padded.end(), {0xFF, 0xFF});
    rc = win::RegSetValueExW(key.get(), v.name.c_str(), 0, v.type, padded.data(),
                             static_cast<win::DWORD>(v.data.size()));
    if (rc != win::ERROR_SUCCESS) return rc;
  }
  return win::ERROR_SUCCESS;
}

namespace {

// Moves a file or folder back; the rename-on-collision flag keeps whatever
// took the place between the check and the move.
int moveBack(const RestoreItem& item) {
  const std::size_t cut = item.place.rfind(u'\\');
  if (cut != std::u16string::npos && cut > 2)
    win::SHCreateDirectoryExW(nullptr, item.place.substr(0, cut).c_str(), nullptr);
  std::u16string from = item.landing;
  from.push_back(u'\0');
  std::u16string to = item.place;
  to.push_back(u'\0');
  win::SHFILEOPSTRUCTW op{};
  op.wFunc = win::FO_MOVE;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = win::FOF_SILENT | win::FOF_RENAMEONCOLLISION | win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR |
              win::FOF_NOERRORUI;
  return win::SHFileOperationW(&op);
}

std::vector<NumberedItem> numberItems(const std::vector<RestoreRun>& runs) {
  std::vector<NumberedItem> items;
  for (const RestoreRun& run : runs)
    for (const RestoreItem& item : run.items) items.push_back(NumberedItem{&run, &item});
  return items;
}

std::u16string number(int n) {
  std::array<char16_t, 32> text{};
  win::wsprintfW(text.data(), u"%d", n);
  return text.data();
}

void listItems(const std::vector<NumberedItem>& items) {
  if (items.empty()) {
    console(u"QuorelFix has removed nothing that can be listed.\n");
    return;
  }
  console(u"What QuorelFix removed:\n");
  const RestoreRun* run = nullptr;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].run != run) {
      run = items[i].run;
      console(u"\nRun " + (run->stamp.empty() ? std::u16string(u"(unknown)") : run->stamp) + u"\n");
    }
    const RestoreItem& item = *items[i].item;
    console(u"  " + number(static_cast<int>(i + 1)) + u". " + kindText(item) + u" \"" + item.place + u"\" -> " +
            STATUS_TEXTS[checkItem(item)].listed + u"\n");
  }
  console(u"\nQuorelRestore all, or QuorelRestore followed by item numbers, puts items back.\n");
}

// Each restore is added to the end of QuorelRestore.txt, so the report keeps
// every earlier restore; a report already there is parted from the new one
// by a blank line.
bool createReport(const std::u16string& path) {
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  const bool earlier = win::GetFileAttributesExW(path.c_str(), win::GetFileExInfoStandard, &data) &&
                       (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
  if (!reportLog().openForWrite(path, true)) return false;
  if (earlier) logit(u"\r\n\r\n");
  logHeader(u"QuorelRestore");
  logit(u"\r\n========== Restore ==========\r\n");
  return true;
}

// Where the backed-up copy of an item that is left as it is can be found:
// a moved item's landing while it is there (for a record cut short before its
// landing, the place the move was to go to, if something is there), a
// registry item's record in the undo file. Empty when there is none to name.
std::u16string copyNote(const RestoreItem& item, const std::u16string& backup) {
  if (item.kind != ITEM_FILE) {
    if (item.state == RECORD_NOT_READ) return u"";
    return u"; the backed-up copy is in \"" + backup + u"\\" + UNDO_FILE_NAME + u"\"";
  }
  if (item.state == RECORD_DAMAGED) return u"";  // its paths may be anything
  if (!item.landing.empty() && exists(item.landing)) return u"; the backed-up copy is \"" + item.landing + u"\"";
  if (item.state == RECORD_INCOMPLETE && item.place.size() > 2 && item.place[1] == u':') {
    const std::u16string destination = backup + u"\\" + item.place[0] + item.place.substr(2);
    if (exists(destination)) return u"; the backed-up copy may be \"" + destination + u"\"";
  }
  return u"";
}

// One line per item asked for, in the order they are put back, in the report
// and on the console alike. The number of items that are not back in place.
int restoreNumbers(const std::vector<NumberedItem>& items, const std::vector<int>& wanted,
                   const std::u16string& backup) {
  int notBack = 0;
  for (int n : wanted) {
    std::u16string line;
    if (n < 1 || static_cast<std::size_t>(n) > items.size()) {
      line = u"Item " + number(n) + u" -> No such item";
      ++notBack;
    } else {
      const RestoreItem& item = *items[static_cast<std::size_t>(n) - 1].item;
      line = u"Item " + number(n) + u": Restoring " + kindText(item) + u" \"" + item.place + u"\" -> ";
      ItemStatus status = STATUS_RESTORABLE;
      int rc = restoreItem(item, status);
      if (rc != 0 && status != STATUS_RESTORABLE) {
        line += STATUS_TEXTS[status].left;
        line += copyNote(item, backup);
      } else if (rc == 0) {
        line += u"Success!";
      } else {
        line += u"Failed [" + number(rc) + u"]" + copyNote(item, backup);
      }
      if (rc != 0 && status != STATUS_BACK_IN_PLACE) ++notBack;
    }
    logit(u"\r\n" + line);
    console(line + u"\n");
  }
  logit(u"\r\n\r\n-=E.O.F=-");
  reportLog().close();
  return notBack;
}

// What the arguments ask for: "all", item numbers, or both; false, with the
// argument, when one is neither.
struct Wanted {
  bool all = false;
  std::vector<int> numbers;
};

bool readArguments(int argc, char** argv, Wanted& wanted, std::u16string& refused) {
  for (int i = 1; i < argc; ++i) {
    const char* text = argv[i];
    if (equalNoCase(text, "all")) {
      wanted.all = true;
      continue;
    }
    if (*text == '\0' || std::strlen(text) > 9 || std::strspn(text, "0123456789") != std::strlen(text)) {
      for (const char* c = text; *c; ++c) refused.push_back(static_cast<unsigned char>(*c));
      return false;
    }
    wanted.numbers.push_back(std::atoi(text));
  }
  return true;
}

// The numbers to put back, last removed first, so that a folder is back
// before what was removed from inside it.
std::vector<int> itemsToRestore(const Wanted& asked, std::size_t count) {
  std::vector<int> wanted = asked.numbers;
  if (asked.all)
    for (std::size_t n = 1; n <= count; ++n) wanted.push_back(static_cast<int>(n));
  std::sort(wanted.begin(), wanted.end(), [](int a, int b) { return a > b; });
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  return wanted;
}

constexpr char16_t kUsage[] =
    u"QuorelRestore puts back what QuorelFix removed, from \"QuorelFix Backups\" on the desktop.\n"
    u"\n"
    u"  QuorelRestore            list what QuorelFix removed, run by run, numbered\n"
    u"  QuorelRestore all        put every item back\n"
    u"  QuorelRestore 3 7 12     put back the items of these numbers\n"
    u"  QuorelRestore /?         show this text\n"
    u"\n"
    u"Nothing is put back over what has taken an item's place since. Each restore\n"
    u"is added to the report QuorelRestore.txt on the desktop.\n"
    u"Exit status: 0 every item asked for is back in place (or nothing was asked),\n"
    u"1 nothing could be restored (no administrator, no backup folder or records,\n"
    u"no report), 2 some item asked for is not back in place, 3 bad arguments.\n";

const char16_t* fileStateText(RecordFileState state) {
  switch (state) {
    case RECORDS_READ: return nullptr;
    case RECORDS_MISSING: return u"is missing";
    case RECORDS_UNREADABLE: return u"cannot be read";
    case RECORDS_DAMAGED: return u"is damaged (it is not what QuorelFix writes)";
  }
  return nullptr;
}

}  // namespace

ItemStatus checkItem(const RestoreItem& item) {
  if (item.state == RECORD_NOT_READ) return STATUS_NOT_READ;
  if (item.state == RECORD_DAMAGED) return STATUS_DAMAGED;
  if (item.state == RECORD_INCOMPLETE) return STATUS_INCOMPLETE;
  if (item.kind == ITEM_FILE) {
    const bool inBackup = exists(item.landing);
    if (!exists(item.place)) return inBackup ? STATUS_RESTORABLE : STATUS_NOT_IN_BACKUP;
    if (fileIsBack(item, inBackup)) return STATUS_BACK_IN_PLACE;
    return inBackup ? STATUS_OCCUPIED : STATUS_NOT_IN_BACKUP;
  }
  if (item.kind == ITEM_DELETED_SERVICE) {
    switch (servicePlace(item)) {
      case SERVICE_PLACE_FREE: return STATUS_RESTORABLE;
      // A service of its name whose key tree is exactly the recorded one is
      // the service put back.
      case SERVICE_PLACE_TAKEN:
        return !item.blocks.empty() && treeIsBack(item) ? STATUS_BACK_IN_PLACE : STATUS_OCCUPIED;
      case SERVICE_PLACE_MARKED: return STATUS_AFTER_RESTART;
    }
  }
  return registryStatus(item);
}

int restoreItem(const RestoreItem& item, ItemStatus& status) {
  status = checkItem(item);
  if (status != STATUS_RESTORABLE) return -1;
  if (item.kind == ITEM_FILE) return moveBack(item);
  if (item.kind == ITEM_DELETED_SERVICE) {
    // What took the place, or the deletion still pending, between the check
    // and the making is told as the check would have told it.
    const int rc = restoreService(item);
    if (rc == static_cast<int>(win::ERROR_SERVICE_MARKED_FOR_DELETE)) status = STATUS_AFTER_RESTART;
    if (rc == static_cast<int>(win::ERROR_SERVICE_EXISTS)) status = STATUS_OCCUPIED;
    return status == STATUS_RESTORABLE ? rc : -1;
  }
  for (const RegBlock& block : item.blocks) {
    win::LONG rc = setValues(block);
    if (rc != win::ERROR_SUCCESS) return rc;
  }
  return 0;
}

int runQuorelRestore(int argc, char** argv) {
  // Asking how to use it, or a typing error, asks nothing and changes nothing.
  for (int i = 1; i < argc; ++i) {
    if (isUsageSwitch(argv[i])) {
      console(kUsage);
      return RESTORE_EXIT_DONE;
    }
  }
  Wanted asked;
  std::u16string refused;
  if (!readArguments(argc, argv, asked, refused)) {
    console(u"\"" + refused + u"\" is neither all nor an item number.\n\n" + kUsage);
    return RESTORE_EXIT_BAD_ARGUMENTS;
  }
  if (!isAdmin()) {
    win::MessageBoxW(nullptr, u"You must be an Administrator to use QuorelRestore.", u"QuorelRestore - Error",
                     win::MB_OK | win::MB_ICONERROR);
    return RESTORE_EXIT_CANNOT_START;
  }
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) {
    console(u"Unable to find the desktop folder.\n");
    return RESTORE_EXIT_CANNOT_START;
  }
  const std::u16string backup = backupFolderPath(*desktop);
  const win::DWORD attributes = win::GetFileAttributesW(backup.c_str());
  if (attributes == win::INVALID_FILE_ATTRIBUTES) {
    console(u"No backup folder \"" + backup + u"\": QuorelFix has removed nothing here.\n");
    return RESTORE_EXIT_CANNOT_START;
  }
  if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
    console(u"The backup folder \"" + backup + u"\" is damaged: it is a file, not a folder.\n");
    return RESTORE_EXIT_CANNOT_START;
  }
  RecordFileState manifestState = RECORDS_READ;
  RecordFileState undoState = RECORDS_READ;
  std::vector<RestoreRun> runs = readRecords(backup, manifestState, undoState);
  if (const char16_t* why = fileStateText(manifestState))
    console(u"The manifest \"" + backup + u"\\" + MANIFEST_NAME + u"\" " + why + u": no file or folder can be put back.\n");
  if (const char16_t* why = fileStateText(undoState))
    console(u"The undo file \"" + backup + u"\\" + UNDO_FILE_NAME + u"\" " + why +
            u": no registry item can be put back.\n");
  if (manifestState != RECORDS_READ && undoState != RECORDS_READ) return RESTORE_EXIT_CANNOT_START;

  std::vector<NumberedItem> items = numberItems(runs);
  if (argc < 2) {
    listItems(items);
    return RESTORE_EXIT_DONE;
  }
  const std::vector<int> wanted = itemsToRestore(asked, items.size());
  const std::u16string report = restoreReportPath(*desktop);
  if (!createReport(report)) {
    console(u"Unable to create the report \"" + report + u"\".\n");
    return RESTORE_EXIT_CANNOT_START;
  }
  const int notBack = restoreNumbers(items, wanted, backup);
  if (wanted.empty())
    console(u"QuorelFix has removed nothing that can be put back.");
  else if (notBack == 0)
    console(u"\nEvery item asked for is back in place.");
  else
    console(u"\nNot back in place: " + number(notBack) + u" of the " + number(static_cast<int>(wanted.size())) +
            u" items asked for.");
  console(u" The report is \"" + report + u"\".\n");
  openInTextViewer(report);
  return notBack == 0 ? RESTORE_EXIT_DONE : RESTORE_EXIT_NOT_ALL_BACK;
}
