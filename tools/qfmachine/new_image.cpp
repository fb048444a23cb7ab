// A small valid machine image to start from: an administrator's Windows XP SP3
// desktop with Firefox running, one service, and the folders the program uses.
#include <cstdio>
#include <fstream>

#include "qfmachine.h"

namespace qfmachine {
namespace fs = std::filesystem;

namespace {

constexpr char kMachine[] = R"toml([windows]
version = "xp"

[environment]
USERNAME = "Owner"
USERPROFILE = 'C:\Documents and Settings\Owner'
SYSTEMROOT = 'C:\WINDOWS'
WINDIR = 'C:\WINDOWS'
PROGRAMFILES = 'C:\Program Files'
APPDATA = 'C:\Documents and Settings\Owner\Application Data'

[clock]
local = 2010-07-03T14:05:09
utc_offset_minutes = 120

[self]
pid = 1500
path = 'C:\Documents and Settings\Owner\Desktop\QuorelFix.exe'

[token]
administrator = true
administrator_deny_only = false
extra_groups = 0
privileges = ["SeChangeNotifyPrivilege", "SeShutdownPrivilege", "SeDebugPrivilege"]
failing_calls = {}

[[process]]
pid = 4
path = ''
openable = false

[[process]]
pid = 2740
path = 'C:\Program Files\Mozilla Firefox\firefox.exe'

[service_manager]
open_error = 0

[[service]]
name = "Spooler"
state = "running"
accepts_stop = true

[message_boxes]
answers = []
)toml";

constexpr char kRegistry[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Desktop\"=\"C:\\\\Documents and Settings\\\\Owner\\\\Desktop\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mozilla\\Mozilla Firefox]\r\n"
    "\"CurrentVersion\"=\"3.6.6 (en-US)\"\r\n"
    "\r\n";

bool write(const fs::path& path, const char* text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int newImage(const fs::path& root) {
  std::error_code ec;
  if (fs::exists(root / "machine.toml", ec)) {
    std::fprintf(stderr, "qfmachine: %s already holds a machine image\n", root.c_str());
    return 1;
  }
  const fs::path c = root / "drive_c";
  for (const char* folder : {"Documents and Settings/Owner/Desktop", "Documents and Settings/Owner/Application Data",
                             "WINDOWS/system32", "Program Files/Mozilla Firefox/extensions"})
    fs::create_directories(c / folder, ec);
  if (ec || !write(root / "machine.toml", kMachine) || !write(root / "registry.reg", kRegistry) ||
      !write(c / "WINDOWS/system32/notepad.exe", "") || !write(c / "Program Files/Mozilla Firefox/firefox.exe", "")) {
    std::fprintf(stderr, "qfmachine: cannot create the image in %s\n", root.c_str());
    return 1;
  }
  std::printf("Created a machine image in %s\n", root.c_str());
  return 0;
}

}  // namespace qfmachine
