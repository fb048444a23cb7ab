// The contract tests' host on the emulated machine: each test program run
// gets a fresh machine image with the environment, the process and the
// service manager the cases expect, answering as the Windows release that
// --windows names.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "contract/contract.h"
#include "platform/emulated/machine/base_image.h"
#include "support/machine_image.h"

namespace contract {
namespace {

qftest::MachineImage* image = nullptr;
WindowsVersion imageVersion = WindowsVersion::Xp;

// Before the base image's administrator token.
constexpr char kConfig[] = R"toml(
[environment]
QFCONTRACT = "Long long value"
QFCONTRACT_NESTED = "%QFCONTRACT%"
USERPROFILE = 'C:\Users\Contract'
SYSTEMROOT = 'C:\WINDOWS'

[clock]
local = 2010-07-03T14:05:09
utc_offset_minutes = 0

[self]
pid = 1500
path = 'C:\qfcontract-tools\qf_contract_tests.exe'
)toml";

// After the base image's administrator token and System process.
constexpr char kProcesses[] = R"toml([[process]]
pid = 2740
path = 'C:\qfcontract-tools\qfchild.exe'
openable = true
ends_when_terminated = true

[service_manager]
open_error = 0
)toml";

std::string utf8(const std::u16string& text) { return narrow(text); }

}  // namespace

Backend backend() { return Backend::Emulated; }

WindowsVersion windowsVersion() { return imageVersion; }

std::u16string scratchFolder() { return u"C:\\qfcontract"; }

void makeFile(const std::u16string& windowsPath, std::string_view bytes) { image->file(utf8(windowsPath), bytes); }

void makeFolder(const std::u16string& windowsPath) { image->folder(utf8(windowsPath)); }

bool exists(const std::u16string& windowsPath) { return image->exists(utf8(windowsPath)); }

std::string readFile(const std::u16string& windowsPath) {
  return exists(windowsPath) ? image->read(utf8(windowsPath)) : std::string();
}

void removeScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(image->host(utf8(scratchFolder())), ec);
}

Child startChild() { return {2740, u"qfchild.exe"}; }

void reapChild(const Child&) {}

}  // namespace contract

// --windows=xp (the default) or --windows=vista: the release the image
// answers as. ctest runs the cases once as each.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string version = "xp";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--windows=", 0) == 0) version = arg.substr(10);
  }
  if (version != "xp" && version != "vista") {
    std::fprintf(stderr, "qf_contract_tests: --windows takes xp or vista, not %s\n", version.c_str());
    return 2;
  }
  contract::imageVersion = version == "xp" ? contract::WindowsVersion::Xp : contract::WindowsVersion::Vista;
  auto machine = std::make_unique<qftest::MachineImage>("contract");
  machine->config(emu::windowsToml(version) + contract::kConfig + std::string(emu::kAdministratorTokenToml) +
                  std::string(emu::kSystemProcessToml) + contract::kProcesses);
  machine->registry("");
  contract::image = machine.get();
  ::setenv("QUORELFIX_IMAGE", machine->root().c_str(), 1);
  return RUN_ALL_TESTS();
}
