// Booting an image: what Windows does at startup that matters to programs
// run on the machine.
//  - Services marked for deletion are gone, with their registry keys; ended
//    processes stay ended.
//  - File faults marked until_boot are gone: a file held open by a running
//    process is free once the machine has restarted.
//  - HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce: each value, in
//    the order the key lists them, is deleted and then its command line is
//    started (a name beginning with '!' is deleted only after its command
//    has run). A command whose program is QuorelFix.exe runs the QuorelFix
//    binary beside this tool on the image, with the arguments as the Windows
//    runtime splits them, and the boot waits for it; any other program is
//    only recorded in the journal.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/files/item_access.h"
#include "platform/emulated/kernel/command_line.h"
#include "platform/emulated/kernel/services.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "qfmachine.h"

extern char** environ;

namespace qfmachine {
namespace fs = std::filesystem;

namespace {

constexpr char16_t kRunOnce[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void forgetWhatEndsAtBoot() {
  bool changed = emu::removeServicesMarkedForDeletion();
  changed = emu::endFileFaultsAtBoot() || changed;
  if (changed) emu::saveConfig();
}

std::u16string stringData(const std::vector<win::BYTE>& data, win::DWORD size) {
  std::u16string s(size / 2, u'\0');
  std::memcpy(s.data(), data.data(), s.size() * 2);
  const std::size_t end = s.find(u'\0');
  if (end != std::u16string::npos) s.resize(end);
  return s;
}

std::u16string expanded(const std::u16string& text) {
  const win::DWORD needed = win::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  std::u16string out(needed, u'\0');
  win::ExpandEnvironmentStringsW(text.c_str(), out.data(), needed);
  out.resize(needed ? needed - 1 : 0);
  return out;
}

}  // namespace

std::vector<RunOnceEntry> runOnceEntries() {
  std::vector<RunOnceEntry> entries;
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kRunOnce, 0, win::KEY_QUERY_VALUE, &key) != win::ERROR_SUCCESS)
    return entries;
  std::vector<char16_t> name(16384);
  std::vector<win::BYTE> data(4096);
  for (win::DWORD index = 0;;) {
    win::DWORD nameSize = static_cast<win::DWORD>(name.size());
    win::DWORD dataSize = static_cast<win::DWORD>(data.size());
    win::DWORD type = 0;
    const win::LONG rc = win::RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    if (rc == win::ERROR_MORE_DATA && dataSize > data.size()) {
      data.resize(dataSize);
      continue;
    }
    if (rc != win::ERROR_SUCCESS) break;
    ++index;
    if (type != win::REG_SZ && type != win::REG_EXPAND_SZ) continue;
    std::u16string command = stringData(data, dataSize);
    if (type == win::REG_EXPAND_SZ) command = expanded(command);
    entries.push_back({std::u16string(name.data(), nameSize), command});
  }
  win::RegCloseKey(key);
  return entries;
}

namespace {

void deleteValue(const std::u16string& name) {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kRunOnce, 0, win::KEY_SET_VALUE, &key) != win::ERROR_SUCCESS) return;
  if (win::RegDeleteValueW(key, name.c_str()) != win::ERROR_SUCCESS)
    std::fprintf(stderr, "qfmachine: cannot delete the RunOnce value %s\n", emu::toUtf8(name).c_str());
  win::RegCloseKey(key);
}

fs::path besideThisTool(const char* name) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return self.parent_path() / name;
}

// Runs the QuorelFix binary on the image and waits for it; its exit status.
int runQuorelFix(const fs::path& image, const std::vector<std::u16string>& args) {
  const fs::path program = besideThisTool("QuorelFix");
  std::vector<std::string> argv;
  for (const auto& a : args) argv.push_back(emu::toUtf8(a));
  std::vector<std::string> env;
  // QUORELFIX_BOOT_<name> is meant for the programs the boot starts, not for
  // this tool: it reaches them as QUORELFIX_<name> (the failing-call test
  // mode of a reboot pass, for one).
  constexpr std::string_view kForPrograms = "QUORELFIX_BOOT_";
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (entry.rfind("QUORELFIX_IMAGE=", 0) == 0) continue;
    if (entry.rfind(kForPrograms, 0) == 0)
      env.push_back("QUORELFIX_" + std::string(entry.substr(kForPrograms.size())));
    else
      env.emplace_back(entry);
  }
  env.push_back("QUORELFIX_IMAGE=" + image.string());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, cargv.data(), cenv.data()) != 0) {
    std::fprintf(stderr, "qfmachine: cannot run %s\n", program.c_str());
    return -1;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool isQuorelFix(const std::u16string& program) {
  const std::size_t slash = program.find_last_of(u"\\/");
  return emu::equalNoCase(slash == std::u16string::npos ? program : program.substr(slash + 1), u"QuorelFix.exe");
}

}  // namespace

int boot(const fs::path& root) {
  emu::useImage(root);
  const fs::path image = emu::image().root;
  emu::journal("boot");
  forgetWhatEndsAtBoot();
  for (const RunOnceEntry& entry : runOnceEntries()) {
    // Each program run may change the image: read it afresh before touching it.
    emu::useImage(image);
    const bool deleteAfter = !entry.name.empty() && entry.name[0] == u'!';
    if (!deleteAfter) deleteValue(entry.name);
    emu::journal("RunOnce name=" + emu::quoted(emu::toUtf8(entry.name)) +
                 " command=" + emu::quoted(emu::toUtf8(entry.command)));
    const auto args = emu::splitCommandLine(entry.command);
    if (isQuorelFix(args[0])) {
      runQuorelFix(image, args);
      emu::useImage(image);
    }
    if (deleteAfter) deleteValue(entry.name);
  }
  return 0;
}

}  // namespace qfmachine
