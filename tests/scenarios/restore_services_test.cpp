// Removed services and QuorelRestore: the bundled image's driver service
// back after the restart with its key tree, a service that is still marked
// for deletion until the restart, a name taken since, a service whose
// record cannot be made (it stays), and the generic name the definition
// table holds, which only the malware's own service answers to. Console
// texts and report lines are compared exactly.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "restore_images.h"
#include "support/machine_state.h"

namespace {

using qftest::MachineImage;
using restore_scn::restore;
using restore_scn::restoreReport;

constexpr std::string_view kServices = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\)";

// Regedit's hex(2) text of an expandable string, terminator included.
std::string expandable(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "hex(2):";
  for (unsigned char c : std::string(text) + '\0') {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
    out += ",00,";
  }
  out.pop_back();
  return out;
}

// The lines of the machine state below one service's key.
std::set<std::string> keyTree(const MachineImage& image, std::string_view name) {
  const std::string key = std::string(kServices) + std::string(name);
  std::set<std::string> out;
  for (const std::string& line : qftest::machineState(image).registry)
    if (line.rfind(key, 0) == 0 && (line.size() == key.size() || line[key.size()] == '\\')) out.insert(line);
  return out;
}

// The service's state as its stop request tells it: "stopped", "running",
// or "none" when there is no such service.
std::string serviceState(const MachineImage& image, const char16_t* name) {
  emu::useImage(image.root());
  win::ScopedServiceHandle manager(win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW, win::SC_MANAGER_CONNECT));
  win::ScopedServiceHandle service(win::OpenServiceW(manager.get(), name, win::SERVICE_QUERY_STATUS));
  if (!service) return "none";
  // An interrogation answers with the state and changes nothing.
  constexpr win::DWORD kInterrogate = 4;
  win::SERVICE_STATUS status{};
  (void)win::ControlService(service.get(), kInterrogate, &status);
  return status.dwCurrentState == win::SERVICE_STOPPED ? "stopped" : "running";
}

std::string report(const std::vector<std::string>& lines) {
  std::string text =
      "QuorelRestore by quillfen (03.07.10.1)\r\nLog created at 14:05 on 03/07/2010 (Owner)\r\n"
      "\r\n========== Restore ==========\r\n";
  for (const auto& line : lines) text += "\r\n" + line;
  return text + "\r\n\r\n-=E.O.F=-";
}

// ---------------------------------------------------------------- the bundled image

constexpr const char* kDemoList = R"(What QuorelFix removed:

Run 2010-07-03 14:05:09
  1. folder "C:\Program Files\Mozilla Firefox\extensions\{4E1D2C7A-93B8-4F0E-A6D1-5C2B9E8F7A31}" -> can be put back
  2. folder "C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\k3x9d2mp.default\extensions\assistant@loudmo.invalid" -> can be put back
  3. folder "C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\k3x9d2mp.default\extensions\xulcache@xulcache.invalid" -> can be put back
  4. folder "C:\Program Files\Common Files\XulCache\ext" -> can be put back
  5. folder "C:\Program Files\webserver" -> can be put back
  6. file "C:\WINDOWS\bk23567.dat" -> can be put back
  7. file "C:\WINDOWS\freddy12.exe" -> can be put back
  8. file "C:\Program Files\Mozilla Firefox\searchplugins\search.xml" -> can be put back
  9. file "C:\Program Files\Common Files\Java\JavaPlug-in.dll" -> can be put back
  10. value "HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions\\{4E1D2C7A-93B8-4F0E-A6D1-5C2B9E8F7A31}" -> can be put back
  11. value "HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions\\{6A0F3E25-8D4B-4C71-B2E9-0A7D5C3F1E68}" -> can be put back
  12. value "HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions\\{B7E2A4D9-1C3F-4A8E-9D5B-6F0C2E1A8B47}" -> can be put back
  13. blanked value "HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{2F5C9A71-6B3E-4D08-8C14-9E7A0B3D5F62}\\NameServer" -> can be put back
  14. service "xwoarh" -> can be put back
  15. value "HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run\\sysldtray" -> can be put back
  16. value "HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run\\dll32" -> can be put back
  17. key "HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{C6A5F5B1-3F3E-4D7A-9C1B-5A2D3E4F6071}" -> can be put back
  18. value "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad\\JavaPlug-in" -> can be put back

Run 2010-07-03 14:05:09 after restart
  19. file "C:\WINDOWS\system32\drivers\xwoarh.sys" -> can be put back

QuorelRestore all, or QuorelRestore followed by item numbers, puts items back.
)";

// The README's demo: QuorelFix, the restart, QuorelRestore all. The driver
// service is listed with the registry items and comes back with its key
// tree as it was, stopped.
TEST(RestoreServices, TheBundledImagesServiceComesBackAfterTheRestart) {
  MachineImage image("demo-service");
  restore_scn::demoImage(image);
  const std::set<std::string> before = keyTree(image, "xwoarh");
  ASSERT_EQ(before.size(), 5u);  // the key and its four values
  ASSERT_EQ(image.run().exitStatus, 0);
  ASSERT_EQ(image.boot().exitStatus, 0);
  EXPECT_EQ(serviceState(image, u"xwoarh"), "none");
  EXPECT_TRUE(keyTree(image, "xwoarh").empty());

  const auto listed = restore(image);
  EXPECT_EQ(listed.exitStatus, 0);
  EXPECT_EQ(listed.out, kDemoList);
  const auto restored = restore(image, {"all"});
  ASSERT_EQ(restored.exitStatus, 0) << restored.out;
  const std::string text = restoreReport(image);
  EXPECT_NE(text.find("\r\nItem 15: Restoring value \"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\sysldtray\" -> Success!"
                      "\r\nItem 14: Restoring service \"xwoarh\" -> Success!"
                      "\r\nItem 13: Restoring blanked value "),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("left as it is"), std::string::npos) << text;
  EXPECT_EQ(keyTree(image, "xwoarh"), before);
  EXPECT_EQ(serviceState(image, u"xwoarh"), "stopped");
  EXPECT_NE(image.journal().find("CreateService name=\"xwoarh\"\n"), std::string::npos);
}

// ---------------------------------------------------------------- small images

// A driver service of the family with a description, parameters and an
// enumeration subkey.
std::string fio32Key(std::string_view start = "00000002") {
  const std::string key = "[" + std::string(kServices) + "fio32";
  return key + "]\n\"Type\"=dword:00000001\n\"Start\"=dword:" + std::string(start) +
         "\n\"ErrorControl\"=dword:00000001\n\"ImagePath\"=" + expandable(R"(system32\drivers\fio32.sys)") +
         "\n\"Description\"=\"File I/O helper\"\n\n" + key + "\\Parameters]\n\"Mode\"=dword:00000007\n\n" + key +
         "\\Enum]\n\"0\"=\"Root\\\\LEGACY_FIO32\\\\0000\"\n";
}

std::string fio32(std::string_view more = "accepts_stop = true") {
  return "[[service]]\nname = \"fio32\"\nstate = \"running\"\n" + std::string(more) + "\n";
}

constexpr std::string_view kFio32List =
    "What QuorelFix removed:\n\nRun 2010-07-03 14:05:09\n  1. service \"fio32\" -> %s\n\n"
    "QuorelRestore all, or QuorelRestore followed by item numbers, puts items back.\n";
const std::string kFio32Item = "Item 1: Restoring service \"fio32\" -> ";
// Where a registry item left as it is keeps its backed-up copy.
const std::string kUndoCopy =
    "; the backed-up copy is in \"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\undo.reg\"";

std::string fio32List(std::string_view status) {
  std::string text(kFio32List);
  text.replace(text.find("%s"), 2, status);
  return text;
}

// Running, and refusing the stop: marked for deletion until the restart,
// the service manager refuses its name (1072). The list and the line say so;
// after the restart a later QuorelRestore makes it again, key tree and all,
// its start as it was before the deletion disabled it.
TEST(RestoreServices, AServiceStillMarkedForDeletionComesBackAfterTheRestart) {
  MachineImage image("marked-service");
  sweeps::setUp(image, fio32("accepts_stop = false"), fio32Key());
  const std::set<std::string> before = keyTree(image, "fio32");
  ASSERT_EQ(before.size(), 10u);  // three keys, seven values
  ASSERT_EQ(image.run().exitStatus, 0);
  sweeps::expectScanSection(image, "\r\nRemoving service: \"fio32\" -> Successful (reboot)");
  EXPECT_NE(keyTree(image, "fio32"), before);  // disabled

  EXPECT_EQ(restore(image).out, fio32List("can be put back after the restart"));
  ASSERT_EQ(restore(image, {"all"}).exitStatus, 2);  // not back yet
  const std::string first = report({kFio32Item + "Can be put back after the restart, left as it is" + kUndoCopy});
  EXPECT_EQ(restoreReport(image), first);
  EXPECT_EQ(serviceState(image, u"fio32"), "running");  // still marked, untouched

  ASSERT_EQ(image.boot().exitStatus, 0);
  EXPECT_EQ(serviceState(image, u"fio32"), "none");
  EXPECT_EQ(restore(image).out, fio32List("can be put back"));
  ASSERT_EQ(restore(image, {"1"}).exitStatus, 0);
  // Each restore is added to the report.
  EXPECT_EQ(restoreReport(image), first + "\r\n\r\n" + report({kFio32Item + "Success!"}));
  EXPECT_EQ(keyTree(image, "fio32"), before);
  EXPECT_EQ(serviceState(image, u"fio32"), "stopped");
  // Once back, the service is listed as back in place.
  EXPECT_EQ(restore(image).out, fio32List("back in place"));
}

// Never over a service or a key of its name that came since.
TEST(RestoreServices, ANameTakenSinceIsLeftAsItIs) {
  struct Case {
    const char* what;
    bool service;  // a service of the name, or only a key
  } const cases[] = {{"another service", true}, {"a key alone", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineImage image("taken-service");
    sweeps::setUp(image, fio32(), fio32Key());
    ASSERT_EQ(image.run().exitStatus, 0);
    EXPECT_EQ(serviceState(image, u"fio32"), "none");  // stopped and closed: gone at once
    emu::useImage(image.root());
    if (c.service) {
      win::ScopedServiceHandle manager(win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW,
                                                           win::SC_MANAGER_CREATE_SERVICE));
      win::ScopedServiceHandle other(win::CreateServiceW(manager.get(), u"fio32", nullptr, 0,
                                                         win::SERVICE_WIN32_OWN_PROCESS, win::SERVICE_DEMAND_START,
                                                         win::SERVICE_ERROR_NORMAL, u"C:\\other.exe", nullptr,
                                                         nullptr, nullptr, nullptr, nullptr));
      ASSERT_TRUE(other.valid());
    } else {
      win::ScopedKey key;
      ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\fio32", 0,
                                     nullptr, 0, win::KEY_WRITE, nullptr, key.receive(), nullptr),
                win::ERROR_SUCCESS);
    }
    const std::set<std::string> taken = keyTree(image, "fio32");
    EXPECT_EQ(restore(image).out, fio32List("original place taken"));
    ASSERT_EQ(restore(image, {"all"}).exitStatus, 2);  // left as it is
    EXPECT_EQ(restoreReport(image), report({kFio32Item + "Original place taken, left as it is" + kUndoCopy}));
    EXPECT_EQ(keyTree(image, "fio32"), taken);
  }
}

// No record, no deletion: when the undo file cannot be written, or the key
// tree cannot be read, the service stays as it was (its stop request still
// goes out) and its line gives the record's code.
TEST(RestoreServices, AServiceWhoseRecordCannotBeMadeStays) {
  struct Case {
    const char* what;
    std::string toml;
    const char* code;
  } const cases[] = {
      {"the undo file is held",
       "[[fault.file]]\npath = '" + std::string(qftest::kBackups) + "\\undo.reg'\ncode = 32\n", "32"},
      {"a subkey refuses to be read",
       "[[fault.registry]]\nkey = '" + std::string(kServices) + "fio32\\Parameters'\naccess = 0x20019\ncode = 5\n",
       "5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineImage image("unrecorded-service");
    sweeps::setUp(image, fio32() + c.toml, fio32Key());
    const std::set<std::string> before = keyTree(image, "fio32");
    ASSERT_EQ(image.run().exitStatus, 0);
    sweeps::expectScanSection(image, std::string("\r\nRemoving service: \"fio32\" -> Failed [") + c.code + "]");
    EXPECT_EQ(sweeps::journalCount(image, "DeleteService"), 0);
    EXPECT_EQ(serviceState(image, u"fio32"), "stopped");
    EXPECT_EQ(keyTree(image, "fio32"), before);
  }
}

// "webserver" is a name a user's own web server may carry: only the service
// whose program lies in the folder the folder rules remove is the malware's.
// Any other is left alone, and leaves no line, as a file that fails its
// fingerprint does.
TEST(RestoreServices, OnlyTheMalwaresWebserverIsRemoved) {
  struct Case {
    const char* what;
    std::string imagePath;  // the value's regedit text
    bool removed;
  } const cases[] = {
      {"in the folder, quoted, with arguments", R"("\"C:\\Program Files\\webserver\\srv.exe\" -service")", true},
      {"in the folder, expandable", expandable(R"(%ProgramFiles%\WebServer\srv.exe)"), true},
      {"the user's own", R"("C:\\Apache\\bin\\httpd.exe -k runservice")", false},
      {"a folder whose name only begins alike", R"("C:\\Program Files\\webserver2\\srv.exe")", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineImage image("webserver-service");
    sweeps::setUp(image, "[[service]]\nname = \"webserver\"\nstate = \"running\"\n",
                  "[" + std::string(kServices) + "webserver]\n\"Type\"=dword:00000010\n\"Start\"=dword:00000002\n" +
                      "\"ImagePath\"=" + c.imagePath + "\n");
    const std::set<std::string> before = keyTree(image, "webserver");
    ASSERT_EQ(image.run().exitStatus, 0);
    sweeps::expectScanSection(image, c.removed ? "\r\nRemoving service: \"webserver\" -> Successful" : "");
    EXPECT_EQ(serviceState(image, u"webserver"), c.removed ? "none" : "running");
    if (!c.removed) {
      EXPECT_EQ(keyTree(image, "webserver"), before);
    }
  }
}

}  // namespace
