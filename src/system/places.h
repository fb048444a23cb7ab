// The program's places: every file QuorelFix and QuorelRestore write lies
// below the current user's desktop folder, read afresh at each use. On the
// desktop: the report QuorelFix.txt (QuorelRestore.txt beside it) and the
// backup folder QuorelFix Backups, which holds the quarantined items under
// their mirrored paths, the rotated reports, the reboot list reboot.txt and
// the two record files undo.reg and manifest.txt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The names on the desktop and in the backup folder. None of the backup
// folder's own files begins with an upper-case 'Q', which marks the rotated
// reports.
inline constexpr char16_t REPORT_NAME[] = u"QuorelFix.txt";
inline constexpr char16_t RESTORE_REPORT_NAME[] = u"QuorelRestore.txt";
inline constexpr char16_t BACKUP_FOLDER_NAME[] = u"QuorelFix Backups";
inline constexpr char16_t REBOOT_LIST_NAME[] = u"reboot.txt";
inline constexpr char16_t UNDO_FILE_NAME[] = u"undo.reg";
inline constexpr char16_t MANIFEST_NAME[] = u"manifest.txt";

// The "Desktop" shell folder of the current user, expanded; none when the
// value cannot be read or the expansion does not fit 260 characters.
std::optional<std::u16string> getDesktopFolder();
// <desktop>\QuorelFix.txt; none when the desktop folder is unknown or the
// path does not fit 260 characters.
std::optional<std::u16string> makeLogPath();

// The paths below a desktop folder: `desktop` + "\" + the name, or, for the
// backup folder's files, + "\QuorelFix Backups\" + the name.
std::u16string reportPath(std::u16string_view desktop);
std::u16string restoreReportPath(std::u16string_view desktop);
std::u16string backupFolderPath(std::u16string_view desktop);
std::u16string backupFilePath(std::u16string_view desktop, std::u16string_view name);
