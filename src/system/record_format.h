// The text of the two record files in the backup folder, both directions of
// every rule in one place: QuorelFix writes with the one side, QuorelRestore
// reads with the other. What to record and when is the writer's business
// (undo_records.h), the reading of whole files the reader's
// (restore/restore_records.h). docs/restore.md has the formats.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32.h"
#include "system/places.h"  // the record files' names, UNDO_FILE_NAME and MANIFEST_NAME
#include "system/scanner.h"

inline constexpr std::u16string_view REGEDIT_HEADER = u"Windows Registry Editor Version 5.00";

// The comment lines of undo.reg and the record words of manifest.txt.
inline constexpr std::u16string_view UNDO_RUN = u"; run ";
inline constexpr std::u16string_view UNDO_DELETED_VALUE = u"; deleted value";
inline constexpr std::u16string_view UNDO_BLANKED_VALUE = u"; blanked value";
inline constexpr std::u16string_view UNDO_DELETED_KEY = u"; deleted key";
inline constexpr std::u16string_view UNDO_NOT_READ = u"; not read ";
inline constexpr std::u16string_view UNDO_DELETED_SERVICE = u"; deleted service ";
inline constexpr std::u16string_view UNDO_SERVICE_FIELD = u"; service ";
inline constexpr std::u16string_view UNDO_CHECK = u"; check ";
inline constexpr std::u16string_view UNDO_RESULT = u"; result ";
inline constexpr std::u16string_view MANIFEST_RUN = u"run\t";
inline constexpr std::u16string_view MANIFEST_MOVE = u"move\t";
inline constexpr std::u16string_view MANIFEST_LANDED = u"landed\t";
inline constexpr std::u16string_view MANIFEST_FAILED = u"failed\t";

// The check that closes a record: the MD5 digest of its text (UTF-16LE), as
// 32 upper-case hexadecimal digits. A record whose text no longer gives its
// check was damaged and is not put back.
std::u16string recordCheck(std::u16string_view text);

// Regedit's text of one value ("name"=data, @=data) without the line end,
// its bytes wrapped as regedit wraps them; and the reading of such a line
// once its wrapped parts are joined (false when it cannot be read).
std::u16string regeditValueLine(const RegValue& value);
bool parseValueLine(std::u16string_view line, RegValue& value);

// Joins the lines of a wrapped value line: `continued` holds what came
// before, without its closing backslash. True when `full` is a whole line; false
// when `line` goes on, and `continued` then holds the text so far.
bool joinWrappedLine(std::u16string& continued, std::u16string_view line, std::u16string& full);

// A service record begins with its kind line naming the service
// ("; deleted service \"name\""), then one comment line per field of its
// configuration, in the order of ServiceConfig ("; service type 1", ...,
// "; service description none"), before the blocks of its key tree. Regedit
// passes over comments, so the file still imports the key by hand.
std::u16string serviceRecordLines(std::u16string_view name, const ServiceConfig& config);
// The service's name from a kind line (false when it is not one).
bool parseServiceKindLine(std::u16string_view line, std::u16string& name);
// One field line into `config`; `fields` counts the lines read so far, which
// must come in their order. False for a line out of place or unreadable.
bool parseServiceField(std::u16string_view line, std::size_t& fields, ServiceConfig& config);
// Whether every field has been read.
bool serviceFieldsComplete(std::size_t fields);

// A predefined root's full name ("HKEY_LOCAL_MACHINE"), and the root named
// at the start of a key path with the rest of the path (false for none).
std::u16string rootName(win::HKEY root);
bool parseKeyPath(std::u16string_view path, win::HKEY& root, std::u16string& subKey);

// How records and reports name a key ("HKEY_LOCAL_MACHINE\Software\x") and a
// value ("HKEY_LOCAL_MACHINE\Software\x\\name").
std::u16string keyPlace(win::HKEY root, std::u16string_view subKey);
std::u16string valuePlace(win::HKEY root, std::u16string_view subKey, std::u16string_view name);

// A key's block line in undo.reg ("[HKEY_...\path]" and CR LF).
std::u16string keyLine(win::HKEY root, std::u16string_view subKey);

// The landed line of a move ("landed", the landing, the moved item's
// fingerprint when it could be read (system/item_fingerprint.h), the check of
// the original, the landing and the fingerprint, CR LF), and its reading: the
// landing, the fingerprint (empty when the line has none), and whether the
// check matches the original of the move line before it.
std::u16string landedLine(std::u16string_view original, std::u16string_view landing, std::u16string_view content);
void parseLandedLine(std::u16string_view line, std::u16string_view original, std::u16string& landing,
                     std::u16string& content, bool& checked);

// The path without the backslashes that end it (a drive's root keeps its
// own): C:\evil\ names the folder C:\evil.
std::u16string withoutTrailingBackslashes(std::u16string_view path);
