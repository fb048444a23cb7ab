// The program's places (places.h): the desktop folder and the paths below it.
#include "system/places.h"

#include "platform/win32.h"
#include "system/scanner.h"

namespace {

// The data model keeps the desktop folder and the report path to MAX_PATH
// characters. A longer path is refused rather than cut short, since a cut
// path would name some other folder.
constexpr std::size_t kLongestPath = win::MAX_PATH;

std::u16string below(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += u'\\';
  path += name;
  return path;
}

}  // namespace

std::optional<std::u16string> getDesktopFolder() {
  auto raw = getRegSZValue(win::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                           u"Desktop");
  if (!raw) return std::nullopt;
  std::u16string folder = expand(*raw);
  if (folder.size() > kLongestPath) return std::nullopt;
  return folder;
}

std::optional<std::u16string> makeLogPath() {
  auto desktop = getDesktopFolder();
  if (!desktop) return std::nullopt;
  std::u16string path = reportPath(*desktop);
  if (path.size() > kLongestPath) return std::nullopt;
  return path;
}

std::u16string reportPath(std::u16string_view desktop) { return below(desktop, REPORT_NAME); }

std::u16string restoreReportPath(std::u16string_view desktop) { return below(desktop, RESTORE_REPORT_NAME); }

std::u16string backupFolderPath(std::u16string_view desktop) { return below(desktop, BACKUP_FOLDER_NAME); }

std::u16string backupFilePath(std::u16string_view desktop, std::u16string_view name) {
  return below(backupFolderPath(desktop), name);
}
