// Processes: the [[process]] list and [self] of machine.toml.
//
// The machine never runs anything. EnumProcesses lists the image's processes;
// a terminated process that ends when terminated is removed from the list
// (durably: machine.toml is rewritten), so it stays ended in later runs and
// after a boot. Processes started with CreateProcessW are recorded in the
// journal and count as having ended at once: their handles are signalled. A
// text viewer ([text_viewers]) started at a terminal shows its file there.
// Nothing waits: Sleep returns at once, and WaitForSingleObject answers at
// once, WAIT_TIMEOUT for a process that still runs, even with INFINITE,
// where Windows would block for ever.
#include "platform/emulated/kernel/processes.h"


#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/files/paths.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/machine/call_faults.h"
#include "platform/emulated/kernel/command_line.h"
#include "platform/emulated/user/text_viewer.h"

namespace emu {
namespace {

constexpr win::DWORD kDefaultSelfPid = 1500;
constexpr char16_t kDefaultSelfPath[] = u"C:\\QuorelFix.exe";
constexpr win::DWORD kProcessAllAccess = 0x001FFFFF;

// The running processes in the order EnumProcesses lists them: the
// [[process]] list, and the program's own process where the list names its
// id, else after the list.
std::vector<Process> running() {
  std::vector<Process> out;
  bool selfListed = false;
  for (Process p : machine().saved.processes) {
    if (p.pid == selfPid()) {
      selfListed = true;
      p.path = selfPath();
      p.openable = true;
    }
    out.push_back(std::move(p));
  }
  if (!selfListed) out.push_back({selfPid(), selfPath(), true, true});  // in no list of machine.toml
  return out;
}

std::optional<Process> findProcess(win::DWORD pid) {
  for (const auto& p : running())
    if (p.pid == pid) return p;
  return std::nullopt;
}

// Removes an ended process from the image, durably.
void endProcess(win::DWORD pid) {
  std::vector<Process>& list = machine().saved.processes;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->pid == pid) {
      list.erase(it);
      saveConfig();
      return;
    }
  }
}

// Ids for processes started by CreateProcessW: above every id of the image.
win::DWORD newPid() {
  win::DWORD& last = machine().lastStartedPid;
  win::DWORD highest = last;
  for (const auto& p : running()) highest = std::max(highest, p.pid);
  last = highest < 4000 ? 4000 : (highest / 4 + 1) * 4;
  return last;
}

// The pid behind a process handle (the pseudo handle included); 0 when the
// handle is no process handle. access receives the handle's rights.
win::DWORD processOf(win::HANDLE h, win::DWORD* access) {
  if (h == win::GetCurrentProcess()) {
    *access = kProcessAllAccess;
    return selfPid();
  }
  if (const HandleObject* obj = findHandle(h, HandleKind::Process)) {
    *access = obj->access;
    return obj->pid;
  }
  return 0;
}

bool hasEnded(win::DWORD pid) { return pid != selfPid() && !findProcess(pid); }

// Copies text into a buffer of size characters, truncated to size - 1 and
// terminated; returns the characters copied.
win::DWORD copyTruncated(std::u16string_view text, win::LPWSTR buffer, win::DWORD size) {
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  text.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<win::DWORD>(n);
}

// The file an application name names on the machine: a drive path as
// written, else a name looked up in %SystemRoot%\system32 and %SystemRoot%.
// ".exe" is added to a name without extension, as CreateProcessW does.
std::optional<WindowsPath> applicationPath(std::u16string name, win::DWORD* error) {
  const std::size_t slash = name.find_last_of(u"\\/");
  if (name.find(u'.', slash == std::u16string::npos ? 0 : slash) == std::u16string::npos) name += u".exe";
  std::vector<std::u16string> candidates;
  if (parseWindowsPath(name)) {
    candidates.push_back(name);
  } else {
    char16_t root[win::MAX_PATH + 1];
    const win::DWORD n = win::ExpandEnvironmentStringsW(u"%SystemRoot%", root, win::MAX_PATH + 1);
    if (n > 0 && n <= win::MAX_PATH + 1) {
      candidates.push_back(std::u16string(root) + u"\\system32\\" + name);
      candidates.push_back(std::u16string(root) + u"\\" + name);
    }
  }
  *error = win::ERROR_FILE_NOT_FOUND;
  for (const auto& c : candidates) {
    auto parsed = parseWindowsPath(c);
    if (!parsed) continue;
    if (const auto host = findHostPath(*parsed)) {
      std::error_code ec;
      if (std::filesystem::is_directory(*host, ec)) {
        *error = win::ERROR_ACCESS_DENIED;
        continue;
      }
      return parsed;
    }
    WindowsPath parent = *parsed;
    if (!parent.components.empty()) parent.components.pop_back();
    if (candidates.size() == 1 && !findHostPath(parent)) *error = win::ERROR_PATH_NOT_FOUND;
  }
  return std::nullopt;
}

}  // namespace

win::DWORD selfPid() {
  return static_cast<win::DWORD>(config()["self"]["pid"].value_or<std::int64_t>(kDefaultSelfPid));
}

std::u16string selfPath() {
  if (const auto path = config()["self"]["path"].value<std::string>()) return toUtf16(*path);
  return kDefaultSelfPath;
}

bool isCurrentProcess(win::HANDLE h) {
  win::DWORD access = 0;
  return processOf(h, &access) == selfPid();
}

}  // namespace emu

namespace win {
namespace {
bool kernelObject(emu::HandleKind k) {
  return k == emu::HandleKind::Process || k == emu::HandleKind::Thread || k == emu::HandleKind::Token ||
         k == emu::HandleKind::File;
}
}  // namespace

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

void Sleep(DWORD) {}

BOOL CloseHandle(HANDLE hObject) {
  if (auto code = emu::injectedFailure("CloseHandle")) return emu::failedWith<BOOL>(*code, FALSE);
  // Closing the pseudo handle of the current process is allowed and does nothing.
  if (hObject == GetCurrentProcess()) return TRUE;
  if (emu::closeHandle(hObject, kernelObject)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL EnumProcesses(DWORD* lpidProcess, DWORD cb, DWORD* lpcbNeeded) {
  if (auto code = emu::injectedFailure("EnumProcesses")) return emu::failedWith<BOOL>(*code, FALSE);
  // Windows fills what fits and reports the bytes written, not the bytes
  // needed: a caller learns that the list was cut by a full buffer.
  const auto list = emu::running();
  const std::size_t n = std::min<std::size_t>(list.size(), cb / sizeof(DWORD));
  for (std::size_t i = 0; i < n; ++i) lpidProcess[i] = list[i].pid;
  *lpcbNeeded = static_cast<DWORD>(n * sizeof(DWORD));
  return TRUE;
}

HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
  if (auto code = emu::injectedFailure("OpenProcess")) return emu::failedWith<HANDLE>(*code, nullptr);
  const auto p = emu::findProcess(dwProcessId);
  if (dwProcessId == 0 || !p) {  // id 0 is the idle process, which cannot be opened
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!p->openable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return emu::openHandle({emu::HandleKind::Process, dwProcessId, dwDesiredAccess, {}});
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  if (auto code = emu::injectedFailure("TerminateProcess")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  const DWORD pid = emu::processOf(hProcess, &access);
  if (!pid) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // An ended process cannot be terminated again; Windows answers access denied.
  if (!(access & PROCESS_TERMINATE) || emu::hasEnded(pid)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  emu::journal("TerminateProcess pid=" + std::to_string(pid) + " exit=" + std::to_string(uExitCode));
  if (pid == emu::selfPid()) std::exit(static_cast<int>(uExitCode));
  if (emu::findProcess(pid)->endsWhenTerminated) emu::endProcess(pid);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD) {
  if (auto code = emu::injectedFailure("WaitForSingleObject")) return emu::failedWith<DWORD>(*code, WAIT_FAILED);
  DWORD pid = 0;
  if (hHandle == GetCurrentProcess()) {
    pid = emu::selfPid();
  } else if (const auto* p = emu::findHandle(hHandle, emu::HandleKind::Process)) {
    pid = p->pid;
  } else if (const auto* t = emu::findHandle(hHandle, emu::HandleKind::Thread)) {
    pid = t->pid;
  } else {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return emu::hasEnded(pid) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD GetModuleFileNameExW(HANDLE hProcess, void* hModule, LPWSTR lpFilename, DWORD nSize) {
  if (auto code = emu::injectedFailure("GetModuleFileNameExW")) return emu::failedWith<DWORD>(*code, 0);
  DWORD access = 0;
  const DWORD pid = emu::processOf(hProcess, &access);
  if (!pid || hModule) {  // only the main module is known
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if ((access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) != (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  const auto p = emu::findProcess(pid);
  // A process without a module path (System) or one that has ended: its
  // memory cannot be read.
  if (!p || p->path.empty()) {
    SetLastError(ERROR_PARTIAL_COPY);
    return 0;
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return emu::copyTruncated(p->path, lpFilename, nSize);
}

DWORD GetModuleFileNameW(void* hModule, LPWSTR lpFilename, DWORD nSize) {
  if (auto code = emu::injectedFailure("GetModuleFileNameW")) return emu::failedWith<DWORD>(*code, 0);
  if (hModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const std::u16string path = emu::selfPath();
  if (emu::windowsVersion() == emu::WindowsVersion::Xp) {
    // XP: a path that does not fit fills the whole buffer, unterminated, and
    // the result is nSize; the last error is left as it was, also on success.
    // With nSize 0 the result is 0 and the last error ERROR_SUCCESS.
    if (nSize == 0) {
      SetLastError(ERROR_SUCCESS);
      return 0;
    }
    if (path.size() >= nSize) {
      path.copy(lpFilename, nSize);
      return nSize;
    }
    return emu::copyTruncated(path, lpFilename, nSize);
  }
  // Vista and later: a path that does not fit is cut to nSize - 1 characters
  // and terminated, the result is nSize and the last error
  // ERROR_INSUFFICIENT_BUFFER; a path that fits resets the last error.
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DWORD n = emu::copyTruncated(path, lpFilename, nSize);
  if (n < path.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  SetLastError(ERROR_SUCCESS);
  return n;
}

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, const SECURITY_ATTRIBUTES*,
                    const SECURITY_ATTRIBUTES*, BOOL, DWORD, void*, LPCWSTR, STARTUPINFOW*,
                    PROCESS_INFORMATION* lpProcessInformation) {
  if (auto code = emu::injectedFailure("CreateProcessW")) return emu::failedWith<BOOL>(*code, FALSE);
  const std::u16string commandLine = lpCommandLine ? lpCommandLine : u"";
  std::u16string application = lpApplicationName ? lpApplicationName : u"";
  if (application.empty()) application = emu::commandLineProgram(commandLine);
  std::string line = "CreateProcessW application=" + emu::quoted(emu::toUtf8(lpApplicationName ? lpApplicationName : u"")) +
                     " command=" + emu::quoted(emu::toUtf8(commandLine));
  DWORD error = ERROR_FILE_NOT_FOUND;
  const auto path = application.empty() ? std::nullopt : emu::applicationPath(application, &error);
  if (!path) {
    // A start that failed changes nothing; the journal still tells of the attempt.
    emu::journal(line + " error=" + std::to_string(error));
    SetLastError(error);
    return FALSE;
  }
  emu::journal(line);
  const DWORD pid = emu::newPid();
  lpProcessInformation->hProcess = emu::openHandle({emu::HandleKind::Process, pid, emu::kProcessAllAccess, {}});
  lpProcessInformation->hThread = emu::openHandle({emu::HandleKind::Thread, pid, 0x001FFFFF, {}});
  lpProcessInformation->dwProcessId = pid;
  lpProcessInformation->dwThreadId = pid + 4;
  const std::u16string& last = path->components.empty() ? application : path->components.back();
  emu::showIfTextViewer(last, commandLine);
  return TRUE;
}

}  // namespace win
