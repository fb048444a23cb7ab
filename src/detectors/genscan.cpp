// The general sweep: the known services, autorun values, program folders and
// files of the malware family, removed by fixed tables in a fixed order of
// phases, then the heuristic checks. The run sequence closes the reboot list
// right after it, since nothing after the sweep may schedule a removal.
#include "detectors/genscan.h"

#include <optional>
#include <string>
#include <string_view>

#include "detectors/genscan_privileges.h"
#include "detectors/genscan_tables.h"
#include "detectors/heuristics.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/list.h"
#include "system/md5.h"
#include "system/remover.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text.h"

// ---------------------------------------------------------------- tables

const char16_t* const SVC_DEFS[SVC_DEF_COUNT] = {
    u"dnsfilter", u"ddnsfilter", u"webserver", u"xwoarh", u"fioo32", u"fio32",
};

namespace {
constexpr char16_t RUN_KEY[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
}  // namespace

const REG_DEF REG_DEFS[REG_DEF_COUNT] = {
    {win::HKEY_LOCAL_MACHINE, RUN_KEY, u"sysldtray"},
    {win::HKEY_LOCAL_MACHINE, RUN_KEY, u"sysftray2"},
    {win::HKEY_LOCAL_MACHINE, RUN_KEY, u"sysmstray"},
    {win::HKEY_LOCAL_MACHINE, RUN_KEY, u"pp"},
    {win::HKEY_CURRENT_USER, RUN_KEY, u"dll32"},
};

const FOLDER_DEF FOLDER_DEFS[FOLDER_DEF_COUNT] = {
    {u"%programfiles%", u"ddnsfilter"},
    {u"%programfiles%", u"webserver"},
};

// The search address the hijacked plug-in sends queries to: scheme, host and
// the start of the query. The host lies under the reserved .test name, so it
// designates no real site.
const char ROGUE_SEARCH_PREFIX[] = "http://search-now.test/?";
static_assert(sizeof ROGUE_SEARCH_PREFIX - 1 == 24);

namespace {
constexpr char16_t SYSTEMROOT[] = u"%systemroot%";
constexpr char16_t SYSTEM32[] = u"%systemroot%\\system32";
constexpr char16_t DRIVERS[] = u"%systemroot%\\system32\\drivers";
}  // namespace

const FILE_DEF FILE_DEFS[FILE_DEF_COUNT] = {
    {DRIVERS, u"xwoarh.sys", nullptr, 0, {}},
    {SYSTEMROOT, u"bk23567.dat", nullptr, 0, {}},
    {SYSTEMROOT, u"fs1234.dat", nullptr, 0, {}},
    {SYSTEMROOT, u"mmsmark2.dat", nullptr, 0, {}},
    {SYSTEMROOT, u"freddy??.exe", nullptr, 0, {}},
    {SYSTEMROOT, u"ld??.exe", nullptr, 0, {}},
    {SYSTEMROOT, u"mstre2?.exe", nullptr, 0, {}},
    {SYSTEMROOT, u"bolivar??.exe", nullptr, 0, {}},
    {SYSTEMROOT, u"pp??.exe", nullptr, 0, {}},
    {SYSTEMROOT, u"010112010146*.*x*", nullptr, 0, {}},
    {SYSTEMROOT, u"fdgg34353edfgdfdf", nullptr, 0, {}},
    {SYSTEMROOT, u"9g2????????3dfgjf23", nullptr, 0, {}},
    {SYSTEM32, u"dll32.exe", "2C3A242503D0823950476516A25ACEC3", 0, {}},
    {SYSTEM32, u"fio32.dll", nullptr, 0, {}},
    {DRIVERS, u"fio32.sys", nullptr, 0, {}},
    {DRIVERS, u"DnsFilter.sys", nullptr, 0, {}},
    {u"%programfiles%\\Mozilla Firefox\\searchplugins", u"search.xml", nullptr, 1, {ROGUE_SEARCH_PREFIX}},
};

// ---------------------------------------------------------------- file search

StringList findFiles(std::u16string_view folder, std::u16string_view pattern, int folders) {
  return listFolder(folder, pattern, folders, 1);
}

// ---------------------------------------------------------------- file rules

int fileMatches(const FILE_DEF& row, std::u16string_view path) {
  if (row.fingerprint) {
    std::optional<std::string> digest = md5(path);
    return digest && equalNoCase(*digest, row.fingerprint) ? 1 : 0;
  }
  if (row.containsCount != 0) {
    std::u16string name(path);
    win::ScopedFile file(win::_wfopen(name.c_str(), u"rb"));
    if (!file) return 0;
    // Every signature is searched, also after one was missing.
    int all = 1;
    for (int i = 0; i < row.containsCount && i < 3; ++i)
      if (!fileContains(file.get(), row.contains[i])) all = 0;
    return all;
  }
  return 1;
}

// ---------------------------------------------------------------- the sweep

namespace {

// A stop request that fails leaves the record filled only for these codes;
// for any other failure the state is unknown, and an unknown state is not
// taken for stopped: the service may still run until the restart.
bool stopFailureLeavesRunning(const win::SERVICE_STATUS& status, win::DWORD error) {
  win::DWORD state = 0;
  if (error == win::ERROR_INVALID_SERVICE_CONTROL || error == win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
      error == win::ERROR_SERVICE_NOT_ACTIVE)
    state = status.dwCurrentState;
  return state != win::SERVICE_STOPPED && state != win::SERVICE_STOP_PENDING;
}

void removeServices() {
  win::ScopedServiceHandle manager(win::OpenSCManagerW(
      nullptr, win::SERVICES_ACTIVE_DATABASEW, win::SC_MANAGER_CONNECT | win::SC_MANAGER_ENUMERATE_SERVICE));
  if (!manager) {
    logiti(u"\r\nUnable to open SCM [%d].\r\n", static_cast<int>(win::GetLastError()));
    return;
  }
  for (const char16_t* name : SVC_DEFS) {
    win::ScopedServiceHandle service(win::OpenServiceW(manager.get(), name, win::DELETE | win::SERVICE_STOP));
    if (!service) {
      const win::DWORD error = win::GetLastError();
      if (error != win::ERROR_SERVICE_DOES_NOT_EXIST) {
        logit(u"\r\nUnable to open handle to \"");
        logit(name);
        logiti(u"[%d].", static_cast<int>(error));
      }
      continue;
    }
    logit(u"\r\nRemoving service: \"");
    logit(name);
    logit(u"\" -> ");
    // Marking for deletion first: a running service goes when it stops, at
    // the latest at the restart.
    if (win::DeleteService(service.get()))
      logit(u"Successful");
    else
      logiti(u"Failed [%d]", static_cast<int>(win::GetLastError()));
    win::SERVICE_STATUS status{};
    if (!win::ControlService(service.get(), win::SERVICE_CONTROL_STOP, &status) &&
        stopFailureLeavesRunning(status, win::GetLastError()))
      logit(u" (reboot)");
  }
}

void removeRegistryValues() {
  for (const REG_DEF& row : REG_DEFS) {
    int rc = deleteRegDef(row.root, row.subKey, row.valueName);
    if (rc == static_cast<int>(win::ERROR_FILE_NOT_FOUND)) continue;
    logit(u"\r\nRemoving registry item: \"");
    logit(row.root == win::HKEY_LOCAL_MACHINE ? u"HKLM\\" : u"HKCU\\");
    logit(row.subKey);
    if (row.valueName) {
      logit(u"\\\\");
      logit(row.valueName);
    }
    logit(u"\" -> ");
    logOutcome(rc);
  }
}

void removeFolders() {
  for (const FOLDER_DEF& row : FOLDER_DEFS) {
    StringList paths = findFiles(expand(row.base), row.pattern, 1);
    for (const StringNode* node = paths.head.get(); node; node = node->next.get()) {
      removeAndReport(REMOVE_FOLDER_RULE, node->text);
    }
    freeStringList(paths);
  }
}

void removeFiles() {
  for (const FILE_DEF& row : FILE_DEFS) {
    StringList paths = findFiles(expand(row.base), row.pattern, 0);
    for (const StringNode* node = paths.head.get(); node; node = node->next.get()) {
      if (!fileMatches(row, node->text)) continue;
      removeAndReport(REMOVE_FILE_RULE, node->text);
    }
    freeStringList(paths);
  }
}

}  // namespace

void genScan() {
  if (int rc = elevate(); rc != 0) logiti(u"\r\n(Elevation failed [%d])\r\n", rc);
  removeServices();
  removeRegistryValues();
  removeFolders();
  removeFiles();
  heuristic();
}
