// Machine images for the restore scenarios: each gives QuorelFix something
// of every kind to remove (files, folders, registry values of several types,
// blanked name servers, key trees, collisions in the backup folder, items left
// for the reboot pass), and running QuorelRestore on them afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "quorel_image.h"
#include "script_machine.h"
#include "support/machine_image.h"
#include "support/run_program.h"
#include "sweep_image.h"

namespace restore_scn {

// Windows always has the RunOnce key; QuorelFix's restart adds only its value.
inline constexpr std::string_view kRunOnceKey = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce]
)";

inline constexpr std::string_view kRestoreReport = R"(C:\Documents and Settings\Owner\Desktop\QuorelRestore.txt)";
inline constexpr std::string_view kManifest = R"(C:\Documents and Settings\Owner\Desktop\QuorelFix Backups\manifest.txt)";
inline constexpr std::string_view kUndo = R"(C:\Documents and Settings\Owner\Desktop\QuorelFix Backups\undo.reg)";

inline qftest::RunResult restore(const qftest::MachineImage& image, const std::vector<std::string>& args = {}) {
  return qftest::runProgramOn(image, QF_RESTORE_PATH, args);
}

inline std::string restoreReport(const qftest::MachineImage& image) {
  return qftest::fromUtf16le(image.read(kRestoreReport));
}

// The bundled image, as the README's demo runs it.
inline void demoImage(qftest::MachineImage& image) {
  std::filesystem::copy(std::filesystem::path(QF_SOURCE_DIR) / "images" / "xp-demo", image.root(),
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

// The general sweep's targets, with values of several types and names stored
// in another letter case than the tables write them, a rogue name server
// without its terminator and one in a multi-string, the Java plug-in's class
// registered for the user only, a folder with content, a file that collides
// with an earlier removal and a driver held until the restart.
inline void sweepImage(qftest::MachineImage& image) {
  sweeps::setUp(image, R"(
[[fault.file]]
path = 'C:\WINDOWS\system32\drivers\xwoarh.sys'
code = 32
attributes = true
until_boot = true
)",
                std::string(kRunOnceKey) + R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"SysLdTray"="C:\\WINDOWS\\ld12.exe"
"keep"="stays"
"pp"=hex(2):43,00,3a,00,5c,00,70,00,70,00,00,00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"dll32"=hex(1):41,00,42,00

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{1}]
"NameServer"=hex(1):38,00,35,00,2e,00,32,00,35,00,35,00,2e,00,31,00,31,00,32,00,2e,00,31,00
"DhcpNameServer"="10.0.0.1"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters]
"DhcpNameServer"=hex(7):38,00,35,00,2e,00,32,00,35,00,35,00,2e,00,31,00,31,00,33,00,2e,00,37,00,00,00,00,00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"JavaPlug-in"="{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}"

[HKEY_CURRENT_USER\Software\Classes\CLSID\{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}]
@="Java Plug-in"
"Flags"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20

[HKEY_CURRENT_USER\Software\Classes\CLSID\{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}\InProcServer32]
@="C:\\Program Files\\Common Files\\Java\\JavaPlug-in.dll"
"ThreadingModel"="Apartment"

[HKEY_CURRENT_USER\Software\Classes\CLSID\{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}\Implemented Categories]
)");
  image.file(R"(C:\Program Files\Common Files\Java\JavaPlug-in.dll)", "MZ fake plug-in");
  image.file(R"(C:\Program Files\webserver\srv.exe)", "MZ server");
  image.file(R"(C:\Program Files\webserver\conf\srv.ini)", "[srv]\r\nport=80\r\n");
  image.folder(R"(C:\Program Files\webserver\logs)");
  image.file(R"(C:\WINDOWS\bk23567.dat)", std::string("\x00\x01\xFF data", 8));
  image.file(R"(C:\WINDOWS\freddy12.exe)", "MZ freddy");
  image.file(std::string(sweeps::BACKUPS) + R"(\C\WINDOWS\freddy12.exe)", "an earlier freddy");
  image.file(R"(C:\WINDOWS\system32\drivers\xwoarh.sys)", "driver");
}

// The extension sweep's targets: infected and adware extension folders and
// their registrations, orphaned ones among them.
inline void extensionImage(qftest::MachineImage& image) {
  using namespace quorel_scn;
  const std::string pf(FF_EXT);
  const std::string profile = std::string(PROFILES) + R"(a1b2c3d4.default\extensions\)";
  setUp(image, {}, "[" + std::string(REG_KEY) + "]\n" +
                       R"("{pf-infected}"="C:\\Program Files\\Mozilla Firefox\\extensions\\{pf-infected}")" "\n"
                       R"("{reg-infected}"="C:\\Ext\\{reg-infected}\\")" "\n"
                       R"("{orphan}"="%ProgramFiles%\\Gone\\{orphan}")" "\n"
                       R"("{count}"=dword:00000002)" "\n");
  infected(image, pf + "{pf-infected}");
  clean(image, pf + "{pf-clean}");
  image.file(profile + R"({p1-adware}\install.rdf)", ADWARE_RDF);
  infected(image, R"(C:\Ext\{reg-infected})");
}

// A removal script: a file, a folder with content, a file colliding with an
// earlier removal, a file held until the restart, and a folder named with a
// trailing backslash.
inline void scriptImage(qftest::MachineImage& image) {
  scriptscen::prepare(image, R"(
[[fault.file]]
path = 'C:\held.dll'
code = 32
attributes = true
until_boot = true
)");
  image.registry(std::string(scriptscen::kRegistry) + std::string(kRunOnceKey));
  image.file("C:\\a.txt", "A");
  image.file("C:\\evil\\y.txt", "why");
  image.folder("C:\\evil\\empty");
  image.file("C:\\b.txt", "now");
  image.file(scriptscen::backup("C\\b.txt"), "earlier");
  image.file("C:\\held.dll", "held");
  image.file("C:\\tail\\t.txt", "a folder named with a trailing backslash");
  image.file("C:\\script.txt",
             std::string("\xFF\xFE", 2) +
                 qftest::toUtf16le("C:\\a.txt\r\nC:\\evil\r\nC:\\b.txt\r\nC:\\held.dll\r\nC:\\tail\\\r\n"));
}

// The Java plug-in's DLL stored as JavaPlug-in.dll and registered under
// another letter case: a file is put back under the name it was stored by.
inline void pluginNameCaseImage(qftest::MachineImage& image) {
  sweeps::setUp(image, {}, std::string(kRunOnceKey) + R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"JavaPlug-in"="{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}\InProcServer32]
@="C:\\Program Files\\Common Files\\Java\\javaplug-in.DLL"
)");
  image.file(R"(C:\Program Files\Common Files\Java\JavaPlug-in.dll)", "MZ fake plug-in");
}

// Every image above, with QuorelFix's arguments for it.
struct Image {
  const char* name;
  void (*build)(qftest::MachineImage&);
  std::vector<std::string> args;  // QuorelFix's arguments
};

inline const Image kImages[] = {
    {"bundled demo", demoImage, {}},
    {"general sweep", sweepImage, {}},
    {"extension sweep", extensionImage, {}},
    {"removal script", scriptImage, {"C:\\script.txt"}},
    {"plug-in named in another case", pluginNameCaseImage, {}},
};

}  // namespace restore_scn
