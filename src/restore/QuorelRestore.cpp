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
#include "system/places.h"
#include "system/privileges.h"
#include "system/report_sink.h"
#include "system/text.h"

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
  return win::RegQueryValueExW(key.get(), recorded.name.c_str(), nullptr, &type, data.data(), &size);
}

bool keyExists(const RegBlock& block) {
  win::ScopedKey key;
  return win::RegOpenKeyExW(block.root, block.subKey.c_str(), 0, win::KEY_READ, key.receive()) !=
         static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND);
}

// A blanked value's place is free while it still holds what QuorelFix
// stored there (the empty text) or is gone.
bool placeFree(const RestoreItem& item) {
  const RegBlock& block = item.blocks.front();
  if (item.kind == ITEM_DELETED_KEY) return !keyExists(block);
  win::DWORD type = 0;
  std::vector<win::BYTE> data;
  win::LONG rc = queryValue(block, block.values.front(), type, data);
  if (rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND)) return true;
  return item.kind == ITEM_BLANKED_VALUE && rc == win::ERROR_SUCCESS && type == win::REG_SZ && data.size() == 2 &&
         data[0] == 0 && data[1] == 0;
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

bool createReport(const std::u16string& desktop) {
  if (!reportLog().openForWrite(restoreReportPath(desktop), false)) return false;
  logHeader(u"QuorelRestore");
  logit(u"\r\n========== Restore ==========\r\n");
  return true;
}

// One report line per item asked for, in the order they are put back.
void restoreNumbers(const std::vector<NumberedItem>& items, const std::vector<int>& wanted) {
  for (int n : wanted) {
    logit(u"\r\n");
    if (n < 1 || static_cast<std::size_t>(n) > items.size()) {
      logiti(u"Item %d -> No such item", n);
      continue;
    }
    const RestoreItem& item = *items[static_cast<std::size_t>(n) - 1].item;
    logiti(u"Item %d: Restoring ", n);
    logit(kindText(item));
    logit(u" \"");
    logit(item.place);
    logit(u"\" -> ");
    ItemStatus status = STATUS_RESTORABLE;
    int rc = restoreItem(item, status);
    if (rc != 0 && status != STATUS_RESTORABLE)
      logit(STATUS_TEXTS[status].left);
    else
      logOutcome(rc);
  }
  logit(u"\r\n\r\n-=E.O.F=-");
  reportLog().close();
}

// "all" or item numbers; numbers are put back last removed first, so that a
// folder is back before what was removed from inside it.
std::optional<std::vector<int>> wantedItems(int argc, char** argv, std::size_t count) {
  std::vector<int> wanted;
  for (int i = 1; i < argc; ++i) {
    if (equalNoCase(argv[i], "all")) {
      for (std::size_t n = 1; n <= count; ++n) wanted.push_back(static_cast<int>(n));
      continue;
    }
    const char* text = argv[i];
    if (*text == '\0' || std::strlen(text) > 9 || std::strspn(text, "0123456789") != std::strlen(text))
      return std::nullopt;
    wanted.push_back(std::atoi(text));
  }
  std::sort(wanted.begin(), wanted.end(), [](int a, int b) { return a > b; });
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  return wanted;
}

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
    if (!exists(item.landing)) return STATUS_NOT_IN_BACKUP;
    return exists(item.place) ? STATUS_OCCUPIED : STATUS_RESTORABLE;
  }
  if (item.kind == ITEM_DELETED_SERVICE) {
    switch (servicePlace(item)) {
      case SERVICE_PLACE_FREE: return STATUS_RESTORABLE;
      case SERVICE_PLACE_TAKEN: return STATUS_OCCUPIED;
      case SERVICE_PLACE_MARKED: return STATUS_AFTER_RESTART;
    }
  }
  return placeFree(item) ? STATUS_RESTORABLE : STATUS_OCCUPIED;
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
  if (!isAdmin()) {
    win::MessageBoxW(nullptr, u"You must be an Administrator to use QuorelRestore.", u"QuorelRestore - Error",
                     win::MB_OK | win::MB_ICONERROR);
    return 1;
  }
  std::optional<std::u16string> desktop = getDesktopFolder();
  if (!desktop) {
    console(u"Unable to find the desktop folder.\n");
    return 1;
  }
  const std::u16string backup = backupFolderPath(*desktop);
  const win::DWORD attributes = win::GetFileAttributesW(backup.c_str());
  if (attributes == win::INVALID_FILE_ATTRIBUTES) {
    console(u"No backup folder \"" + backup + u"\": QuorelFix has removed nothing here.\n");
    return 1;
  }
  if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) {
    console(u"The backup folder \"" + backup + u"\" is damaged: it is a file, not a folder.\n");
    return 1;
  }
  RecordFileState manifestState = RECORDS_READ;
  RecordFileState undoState = RECORDS_READ;
  std::vector<RestoreRun> runs = readRecords(backup, manifestState, undoState);
  if (const char16_t* why = fileStateText(manifestState))
    console(u"The manifest \"" + backup + u"\\" + MANIFEST_NAME + u"\" " + why + u": no file or folder can be put back.\n");
  if (const char16_t* why = fileStateText(undoState))
    console(u"The undo file \"" + backup + u"\\" + UNDO_FILE_NAME + u"\" " + why +
            u": no registry item can be put back.\n");
  if (manifestState != RECORDS_READ && undoState != RECORDS_READ) return 1;

  std::vector<NumberedItem> items = numberItems(runs);
  if (argc < 2) {
    listItems(items);
    return 0;
  }
  std::optional<std::vector<int>> wanted = wantedItems(argc, argv, items.size());
  if (!wanted) {
    console(u"Usage: QuorelRestore [all | item number ...]\n");
    return 1;
  }
  if (!createReport(*desktop)) {
    console(u"Unable to create the report \"" + restoreReportPath(*desktop) + u"\".\n");
    return 1;
  }
  restoreNumbers(items, *wanted);
  console(u"Done: see \"" + restoreReportPath(*desktop) + u"\".\n");
  return 0;
}
