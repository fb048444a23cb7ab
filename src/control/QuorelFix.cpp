// The run sequence: the one fixed order in which a run checks, asks, closes
// Firefox, rotates the previous report, writes the new one, opens the reboot
// list, runs a script and the three scans, closes the list after the general
// sweep, writes the extension inventory, and ends with Notepad or a restart;
// and the reboot pass that finishes locked removals after that restart.
#include "control/QuorelFix.h"

#include <array>
#include <vector>

#include "control/report_log.h"
#include "control/script.h"
#include "detectors/genscan.h"
#include "detectors/quorel.h"
#include "detectors/wareout.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/list.h"
#include "system/places.h"
#include "system/privileges.h"
#include "system/reboot_list.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text.h"
#include "system/undo_records.h"

namespace {

constexpr char16_t kErrorCaption[] = u"QuorelFix - Error";
constexpr char16_t kNoLogfile[] = u"Unable to create logfile.";
constexpr char16_t kRunOnceKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void showError(const char16_t* text) {
  win::MessageBoxW(nullptr, text, kErrorCaption, win::MB_OK | win::MB_ICONERROR);
}

// The console's progress texts are 8-bit and shown as soon as written.
void console(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// The program's own module path in UTF-16, as the system reports it: a
// relative argument 0, or one in a folder with non-ASCII characters, would
// start nothing after the restart. Empty when the system does not answer.
std::u16string ownModulePath() {
  std::vector<char16_t> buffer(win::MAX_PATH + 1, u'\0');
  for (;;) {
    auto capacity = static_cast<win::DWORD>(buffer.size());
    win::DWORD length = win::GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (length == 0) return {};
    // A full buffer means the path was cut short: try again with more room.
    if (length < capacity) return std::u16string(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.assign(buffer.size() * 2, u'\0');
  }
}

// Waits until Firefox is closed, or the user asks for it to be terminated.
// False when the user cancelled.
bool waitForFirefox() {
  for (;;) {
    if (!getProcHandle(u"firefox.exe")) return true;  // the handle is closed at once
    int answer = win::MessageBoxW(nullptr,
                                  u"Firefox appears to be running. Save what you are doing and close Firefox, and "
                                  u"then click Retry, or click Continue to forcefully terminate Firefox.",
                                  u"Warning", win::MB_CANCELTRYCONTINUE | win::MB_ICONWARNING);
    if (answer == win::IDCANCEL) return false;
    if (answer == win::IDTRYAGAIN) {
      win::Sleep(500);
    } else if (answer == win::IDCONTINUE) {
      win::Sleep(500);
      return true;
    }
  }
}

// Only the one process that the lookup returns is terminated.
void terminateFirefox() {
  win::ScopedHandle firefox = getProcHandle(u"firefox.exe");
  if (!firefox) return;
  (void)win::TerminateProcess(firefox.get(), 0);
  win::WaitForSingleObject(firefox.get(), 1000);
}

// Copies a file's bytes to a new file; false when either cannot be opened or
// not every byte was written.
bool copyFileBytes(const std::u16string& from, const std::u16string& to) {
  win::ScopedFile source(win::_wfopen(from.c_str(), u"rb"));
  if (!source) return false;
  win::ScopedFile target(win::_wfopen(to.c_str(), u"wb"));
  if (!target) return false;
  std::array<char, 4096> buffer{};
  bool whole = true;
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), source.get())) > 0;)
    whole = whole && std::fwrite(buffer.data(), 1, n, target.get()) == n;
  whole = whole && !std::ferror(source.get());
  return win::fclose(target.release()) == 0 && whole;
}

// Keeps the previous report before the new one takes its name: moves
// <desktop>\QuorelFix.txt into the backup folder under the UTC time of its
// last write ("QuorelFix[09.05.07_03-07-2010].txt"). Nothing of it may be
// lost to the new report, so a move that fails (that name is taken, or the
// move is refused) is followed by a copy under the first free name of the
// series ("QuorelFix[09.05.07_03-07-2010] (2).txt", ...); a report whose
// time cannot be read is kept as "QuorelFix[kept].txt". Nothing of this is
// reported: the new report does not exist yet.
void keepPreviousReport(const std::u16string& desktop, const std::u16string& backup) {
  const std::u16string previous = reportPath(desktop);
  std::u16string stem = u"\\QuorelFix[kept]";
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  if (win::GetFileAttributesExW(previous.c_str(), win::GetFileExInfoStandard, &data)) {
    win::SYSTEMTIME written{};
    win::FileTimeToSystemTime(&data.ftLastWriteTime, &written);
    std::array<char16_t, 1024> name{};
    win::wsprintfW(name.data(), u"\\QuorelFix[%02u.%02u.%02u_%02u-%02u-%u]", unsigned{written.wHour},
                   unsigned{written.wMinute}, unsigned{written.wSecond}, unsigned{written.wDay},
                   unsigned{written.wMonth}, unsigned{written.wYear});
    stem = name.data();
  }
  // Whether there is a previous report, the move tells: it answers 2 when there
  // is none.
  (void)win::CreateDirectoryW(backup.c_str(), nullptr);  // on a first run; an existing folder is fine
  if (win::MoveFileW(previous.c_str(), (backup + stem + u".txt").c_str())) return;
  if (win::GetLastError() == win::ERROR_FILE_NOT_FOUND) return;
  for (int n = 1; n < 100; ++n) {
    std::array<char16_t, 1024> copy{};
    if (n == 1)
      win::wsprintfW(copy.data(), u"%s%s.txt", backup.c_str(), stem.c_str());
    else
      win::wsprintfW(copy.data(), u"%s%s (%d).txt", backup.c_str(), stem.c_str(), n);
    if (win::GetFileAttributesW(copy.data()) != win::INVALID_FILE_ATTRIBUTES) continue;  // taken
    if (copyFileBytes(previous, copy.data())) return;
  }
}

void listOldReports(const std::u16string& backup) {
  logit(u"\r\n\r\n---------- Old Logs ----------");
  StringList files = getFiles(backup, 0);
  // Rotated reports begin with an upper-case 'Q'; the reboot list does not.
  for (const StringNode* node = files.head.get(); node; node = node->next.get()) {
    if (!node->text.empty() && node->text[0] == u'Q') {
      logit(u"\r\n");
      logit(node->text);
    }
  }
  freeStringList(files);
}

// Registers the reboot pass under RunOnce and restarts Windows, leaving the
// report open without its footer for that pass to finish. When the value
// cannot be stored, the report is finished and opened as usual.
void scheduleRebootPass(const std::u16string& rebootListPath) {
  logit(u"\r\n\r\n========== Reboot ==========\r\n");
  win::ScopedKey runOnce;
  win::LONG rc = win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                      win::KEY_SET_VALUE, nullptr, runOnce.receive(), nullptr);
  if (rc != win::ERROR_SUCCESS) {
    logiti(u"Unable to create/open RunOnce key [%d].\r\n", rc);
    finishLog();
    return;
  }
  std::u16string program = ownModulePath();
  if (program.empty()) {
    logiti(u"Unable to set autostart value [%d].\r\n", static_cast<int>(win::GetLastError()));
    finishLog();
    return;
  }
  std::u16string command = u"\"" + program + u"\" \"" + rebootListPath + u"\" /reboot";
  // The data size counts the terminating zero.
  rc = win::RegSetValueExW(runOnce.get(), u"QuorelFix_Reboot", 0, win::REG_SZ,
                           reinterpret_cast<const win::BYTE*>(command.c_str()),
                           static_cast<win::DWORD>((command.size() + 1) * sizeof(char16_t)));
  if (rc != win::ERROR_SUCCESS) {
    logiti(u"Unable to set autostart value [%d].\r\n", rc);
    finishLog();
    return;
  }
  win::MessageBoxW(nullptr,
                   u"QuorelFix needs to restart your system. If your computer does not restart automatically, "
                   u"please manually restart it by clicking 'Start' and selecting 'Restart' in the Shutdown menu.",
                   u"QuorelFix - Restart Required", win::MB_OK | win::MB_ICONINFORMATION);
  // A failed request is ignored: the box has asked the user to restart by hand.
  (void)win::ExitWindowsEx(win::EWX_REBOOT | win::EWX_FORCEIFHUNG, 0);
}

// The run's records in the backup folder begin with the local time at its
// start; the reboot pass's with the same words and " after restart".
void startRecords(const char16_t* pass) {
  win::SYSTEMTIME now{};
  win::GetLocalTime(&now);
  std::array<char16_t, 1024> stamp{};
  win::wsprintfW(stamp.data(), u"%u-%02u-%02u %02u:%02u:%02u%s", unsigned{now.wYear}, unsigned{now.wMonth},
                 unsigned{now.wDay}, unsigned{now.wHour}, unsigned{now.wMinute}, unsigned{now.wSecond}, pass);
  startUndoRun(stamp.data());
}

// After the restart: append the outcome of the reboot list to the report of
// the run that scheduled it, and finish that report.
void rebootPass(const char* rebootListPath) {
  if (!createLog(0)) {
    showError(kNoLogfile);
    return;
  }
  startRecords(u" after restart");
  parseScript(rebootListPath, 1);
  finishLog();
}

void interactiveRun(int argc, char** argv) {
  // Every path of the run lies below the desktop folder; without it (or with
  // one too long for a report path) nothing is asked and nothing is changed.
  if (!makeLogPath()) {
    showError(kNoLogfile);
    return;
  }

  if (win::MessageBoxW(nullptr,
                       u"QuorelFix will automatically check for and remove infection. Click Yes to continue or No "
                       u"to exit.",
                       u"QuorelFix", win::MB_YESNO | win::MB_ICONWARNING) != win::IDYES) {
    return;
  }
  if (!waitForFirefox()) return;
  terminateFirefox();

  auto desktopFolder = getDesktopFolder();
  if (!desktopFolder) {
    showError(kNoLogfile);
    return;
  }
  const std::u16string& desktop = *desktopFolder;
  std::u16string backup = backupFolderPath(desktop);
  bool backupExisted = win::GetFileAttributesW(backup.c_str()) != win::INVALID_FILE_ATTRIBUTES;
  keepPreviousReport(desktop, backup);

  if (!createLog(1)) {
    showError(kNoLogfile);
    return;
  }
  (void)win::CreateDirectoryW(backup.c_str(), nullptr);  // an existing folder is fine
  startRecords(u"");
  std::u16string rebootListPath = backupFilePath(desktop, REBOOT_LIST_NAME);
  rebootList().open(rebootListPath);

  if (argc == 2) {
    logit(u"\r\n========== Script ==========\r\n");
    parseScript(argv[1], 0);
    logit(u"\r\n");
  }

  logit(u"\r\n========== QuorelScan ==========\r\n");
  console("\n\nScanning for 'Quorel'...");
  quorelFind();
  console(" Done!");
  console("\n\nScanning for Wareout...");
  wareoutFind();
  console("Done!");
  console("\n\nScanning for general Malware...");
  genScan();  // enables the privileges first
  // No removal may be scheduled after the general sweep.
  (void)rebootList().close();
  console(" Done!");

  logit(u"\r\n\r\n========== QuorelLog ==========\r\n");
  console("\n\nCreating logfile...");
  quorelLog();
  console(" Done!");

  if (backupExisted) listOldReports(backup);

  if (!rebootList().doReboot()) {
    finishLog();
    return;
  }
  scheduleRebootPass(rebootListPath);
}

constexpr char kUsage[] =
    "QuorelFix removes the Quorel infection and a family of related malware.\n"
    "\n"
    "  QuorelFix               check for and remove it; the report is QuorelFix.txt on the desktop\n"
    "  QuorelFix <script>      first move the files and folders the script lists, one path a line\n"
    "  QuorelFix /?            show this text\n"
    "\n"
    "Nothing is deleted outright: what is removed is kept in \"QuorelFix Backups\" on the\n"
    "desktop, and QuorelRestore puts it back.\n";

}  // namespace

int runQuorelFix(int argc, char** argv) {
  // Asking how to use it asks nothing and changes nothing, not even the gate's box.
  if (argc >= 2 && isUsageSwitch(argv[1])) {
    console(kUsage);
    return 0;
  }
  // The gate comes before the mode test, so it guards the reboot pass too.
  if (!isAdmin()) {
    showError(u"You must be an Administrator to use QuorelFix.");
    return 0;
  }
  if (argc == 3 && equalNoCase(argv[2], "/reboot")) {
    rebootPass(argv[1]);
  } else {
    interactiveRun(argc, argv);
  }
  return 0;
}
