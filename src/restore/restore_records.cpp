// Reading the record files: the manifest line by line, the undo file as the
// regedit text it is. A line that cannot be read costs only the item it
// belongs to.
#include "restore/restore_records.h"

#include <cstdio>

#include "platform/scoped.h"
#include "system/record_format.h"
#include "system/text.h"

namespace {

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The whole file as UTF-16 text after its byte-order mark.
RecordFileState readText(const std::u16string& path, std::u16string& text) {
  win::ScopedFile file(win::_wfopen(path.c_str(), u"rb"));
  if (!file) {
    const win::DWORD error = win::GetLastError();
    return error == win::ERROR_FILE_NOT_FOUND || error == win::ERROR_PATH_NOT_FOUND ? RECORDS_MISSING
                                                                                     : RECORDS_UNREADABLE;
  }
  std::u16string all;
  for (;;) {
    const int low = std::fgetc(file.get());
    if (low == EOF) break;
    const int high = std::fgetc(file.get());
    if (high == EOF) break;  // a lone last byte is no unit
    all.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  if (std::ferror(file.get())) return RECORDS_UNREADABLE;
  if (all.empty() || all[0] != u'\xFEFF') return RECORDS_DAMAGED;
  text = all.substr(1);
  return RECORDS_READ;
}

// Lines end in CR LF as QuorelFix writes them; a lone LF ends a line too,
// but then the line no longer gives its record's check. A last line without
// its end was cut short and is left out.
std::vector<std::u16string> splitLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) break;
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == u'\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

// ---------------------------------------------------------------- manifest

// Where deleteFile put the original: its mirror in the backup folder, only
// the last name possibly changed by the shell. Anything else is damage.
bool landsInItsMirror(const std::u16string& original, const std::u16string& landing, const std::u16string& backup) {
  if (original.size() < 3) return false;
  const std::u16string mirror = backup + u"\\" + original[0] + original.substr(2);
  const std::size_t mirrorCut = mirror.rfind(u'\\');
  const std::size_t landingCut = landing.rfind(u'\\');
  if (landingCut == std::u16string::npos || landingCut + 1 >= landing.size() || mirrorCut != landingCut) return false;
  return startsWithNoCase(landing, std::u16string_view(mirror).substr(0, mirrorCut + 1));
}

std::vector<RestoreRun> readManifest(const std::vector<std::u16string>& lines, const std::u16string& backup) {
  std::vector<RestoreRun> runs;
  RestoreItem pending;
  bool open = false;  // a move line waits for its outcome
  auto settle = [&](RecordState state) {
    if (!open) return;
    if (pending.state == RECORD_COMPLETE) pending.state = state;
    runs.back().items.push_back(pending);
    open = false;
  };
  for (const std::u16string& line : lines) {
    if (line.empty()) continue;
    if (startsWith(line, MANIFEST_RUN)) {
      settle(RECORD_INCOMPLETE);
      runs.push_back(RestoreRun{line.substr(MANIFEST_RUN.size()), {}});
      continue;
    }
    if (runs.empty()) runs.push_back(RestoreRun{});
    if (startsWith(line, MANIFEST_MOVE)) {
      settle(RECORD_INCOMPLETE);
      pending = RestoreItem{};
      pending.place = line.substr(MANIFEST_MOVE.size());
      open = true;
    } else if (open && startsWith(line, MANIFEST_LANDED)) {
      bool checked = false;
      parseLandedLine(line, pending.place, pending.landing, pending.content, checked);
      // The item is the folder or file the path names, a trailing backslash or not.
      pending.place = withoutTrailingBackslashes(pending.place);
      settle(checked && landsInItsMirror(pending.place, pending.landing, backup) ? RECORD_COMPLETE : RECORD_DAMAGED);
    } else if (open && startsWith(line, MANIFEST_FAILED)) {
      open = false;  // it never moved: nothing to put back
    } else if (open) {
      settle(RECORD_DAMAGED);
    } else {
      // A line of no item: what is left of a damaged move line.
      RestoreItem lost;
      lost.state = RECORD_DAMAGED;
      lost.place = line;
      runs.back().items.push_back(lost);
    }
  }
  settle(RECORD_INCOMPLETE);
  return runs;
}

// ---------------------------------------------------------------- undo file

// The key of the service `name`.
constexpr std::u16string_view kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";

// A complete registry record holds what its kind needs: a value record one
// key with one value; a key record its key first and only keys below it; a
// service record its whole configuration, and its key tree, if any, below
// the service's own key.
bool wellFormed(const RestoreItem& item, std::size_t serviceFields) {
  if (item.kind == ITEM_DELETED_SERVICE) {
    if (!serviceFieldsComplete(serviceFields)) return false;
    if (item.blocks.empty()) return true;
    const RegBlock& key = item.blocks[0];
    if (key.root != win::HKEY_LOCAL_MACHINE || !equalNoCase(key.subKey, std::u16string(kServicesKey) + item.place))
      return false;
  } else if (item.blocks.empty()) {
    return false;
  }
  if (item.kind != ITEM_DELETED_KEY && item.kind != ITEM_DELETED_SERVICE)
    return item.blocks.size() == 1 && item.blocks[0].values.size() == 1;
  const RegBlock& top = item.blocks[0];
  for (std::size_t i = 1; i < item.blocks.size(); ++i) {
    const RegBlock& b = item.blocks[i];
    if (b.root != top.root || b.subKey.size() <= top.subKey.size() + 1 ||
        !startsWithNoCase(b.subKey, top.subKey) || b.subKey[top.subKey.size()] != u'\\')
      return false;
  }
  return true;
}

// One registry record being read: its item, its text as written (for the
// check), and a value line that goes on after a closing backslash.
struct UndoRecord {
  RestoreItem item;
  std::u16string text;
  std::u16string continued;
  bool checked = false;  // its check line came and matched
  std::size_t serviceFields = 0;  // a service record: the fields of its configuration read so far
};

void readRecordLine(UndoRecord& record, const std::u16string& line) {
  RestoreItem& item = record.item;
  if (item.state != RECORD_COMPLETE) return;
  if (record.checked) {  // only the result, or the blank line of a next record, follows the check
    if (!line.empty()) item.state = RECORD_DAMAGED;
    return;
  }
  if (startsWith(line, UNDO_CHECK)) {
    record.checked = record.continued.empty() && line.substr(UNDO_CHECK.size()) == recordCheck(record.text);
    if (!record.checked || !wellFormed(item, record.serviceFields)) item.state = RECORD_DAMAGED;
    return;
  }
  record.text += line + u"\r\n";
  // A service's configuration comes before its key tree, field by field.
  if (item.kind == ITEM_DELETED_SERVICE && item.blocks.empty() && startsWith(line, UNDO_SERVICE_FIELD)) {
    if (!parseServiceField(line, record.serviceFields, item.service)) item.state = RECORD_DAMAGED;
    return;
  }
  if (line.empty() && record.continued.empty()) return;
  // Regedit goes on with a value's bytes on the next line after a closing "\".
  std::u16string full;
  if (!joinWrappedLine(record.continued, line, full)) return;
  if (full[0] == u'[') {
    RegBlock block;
    if (full.back() != u']' ||
        !parseKeyPath(std::u16string_view(full).substr(1, full.size() - 2), block.root, block.subKey)) {
      item.state = RECORD_DAMAGED;
      return;
    }
    if (item.blocks.empty() && item.kind != ITEM_DELETED_SERVICE) item.place = keyPlace(block.root, block.subKey);
    item.blocks.push_back(block);
    return;
  }
  RegValue value;
  if (item.blocks.empty() || !parseValueLine(full, value)) {
    item.state = RECORD_DAMAGED;
    return;
  }
  if (item.kind != ITEM_DELETED_KEY && item.kind != ITEM_DELETED_SERVICE && item.blocks.back().values.empty())
    item.place = valuePlace(item.blocks.back().root, item.blocks.back().subKey, value.name.empty() ? u"@" : value.name);
  item.blocks.back().values.push_back(value);
}

std::vector<RestoreRun> readUndo(const std::vector<std::u16string>& lines) {
  std::vector<RestoreRun> runs;
  UndoRecord current;
  bool open = false;  // a record waits for its result line
  auto settle = [&](RecordState state) {
    if (!open) return;
    // Complete takes its result line and a check that matched; without the
    // result the change may never have happened.
    RestoreItem& item = current.item;
    if (item.state == RECORD_COMPLETE && state != RECORD_COMPLETE) item.state = state;
    if (item.state == RECORD_COMPLETE && !current.checked) item.state = RECORD_DAMAGED;
    if (item.place.empty()) item.place = u"(damaged registry record)";
    if (runs.empty()) runs.push_back(RestoreRun{});
    runs.back().items.push_back(item);
    open = false;
  };
  auto begin = [&](ItemKind kind, const std::u16string& line) {
    settle(RECORD_INCOMPLETE);
    current = UndoRecord{};
    current.item.kind = kind;
    current.text = line + u"\r\n";
    open = true;
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {  // after the regedit header
    const std::u16string& line = lines[i];
    if (startsWith(line, UNDO_RUN)) {
      settle(RECORD_INCOMPLETE);
      runs.push_back(RestoreRun{line.substr(UNDO_RUN.size()), {}});
    } else if (line == UNDO_DELETED_VALUE) {
      begin(ITEM_DELETED_VALUE, line);
    } else if (line == UNDO_BLANKED_VALUE) {
      begin(ITEM_BLANKED_VALUE, line);
    } else if (line == UNDO_DELETED_KEY) {
      begin(ITEM_DELETED_KEY, line);
    } else if (startsWith(line, UNDO_DELETED_SERVICE)) {
      // "; deleted service "name"": the service goes by its name.
      begin(ITEM_DELETED_SERVICE, line);
      if (!parseServiceKindLine(line, current.item.place)) {
        current.item.place = line.substr(UNDO_DELETED_SERVICE.size());
        current.item.state = RECORD_DAMAGED;
      }
    } else if (startsWith(line, UNDO_NOT_READ)) {
      // "[code] place": the data was never written down.
      begin(ITEM_DELETED_VALUE, line);
      const std::size_t close = line.find(u"] ");
      current.item.place = close == std::u16string::npos ? line : line.substr(close + 2);
      current.item.state = RECORD_NOT_READ;
    } else if (startsWith(line, UNDO_RESULT)) {
      if (!open) continue;
      // A change that did not happen left nothing to put back.
      if (line != std::u16string(UNDO_RESULT) + u"0") {
        open = false;
        continue;
      }
      settle(RECORD_COMPLETE);
    } else if (open) {
      readRecordLine(current, line);  // keys, values, blank lines between keys, the check
    }
    // Outside a record: blank lines, and anything a damaged line left.
  }
  settle(RECORD_INCOMPLETE);
  return runs;
}

}  // namespace

std::vector<RestoreRun> readRecords(const std::u16string& backup, RecordFileState& manifest, RecordFileState& undo) {
  std::u16string text;
  std::vector<RestoreRun> fileRuns;
  manifest = readText(backup + u"\\" + MANIFEST_NAME, text);
  if (manifest == RECORDS_READ) fileRuns = readManifest(splitLines(text), backup);
  text.clear();
  std::vector<RestoreRun> registryRuns;
  undo = readText(backup + u"\\" + UNDO_FILE_NAME, text);
  if (undo == RECORDS_READ) {
    std::vector<std::u16string> lines = splitLines(text);
    if (lines.empty() || lines[0] != REGEDIT_HEADER) {
      undo = RECORDS_DAMAGED;
    } else {
      registryRuns = readUndo(lines);
    }
  }

  // The n-th run of a stamp in one file is the n-th of that stamp in the other.
  std::vector<RestoreRun> runs;
  std::vector<bool> paired(registryRuns.size(), false);
  for (RestoreRun& f : fileRuns) {
    RestoreRun run{f.stamp, std::move(f.items)};
    for (std::size_t i = 0; i < registryRuns.size(); ++i) {
      if (paired[i] || registryRuns[i].stamp != run.stamp) continue;
      paired[i] = true;
      for (RestoreItem& item : registryRuns[i].items) run.items.push_back(std::move(item));
      break;
    }
    runs.push_back(std::move(run));
  }
  for (std::size_t i = 0; i < registryRuns.size(); ++i)
    if (!paired[i]) runs.push_back(RestoreRun{registryRuns[i].stamp, std::move(registryRuns[i].items)});
  return runs;
}
