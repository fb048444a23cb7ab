// The bundled machine image (images/xp-demo), which the README's main command
// runs: every scan finds its infection, the locked driver is left to the
// reboot pass, and booting the machine finishes the job. The report is
// compared byte for byte before and after the restart, on the image as it is
// (XP SP3) and with its [windows] version set to Vista and later: the run
// meets no answer that differs between them, so the bytes are the same.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "support/base_machine.h"
#include "support/machine_image.h"

namespace {

namespace fs = std::filesystem;
using qftest::MachineImage;

constexpr const char* kDesktop = "C:\\Documents and Settings\\Owner\\Desktop";

// The report as written before the restart: the Reboot banner ends it, with
// no footer, for the reboot pass to finish.
constexpr const char* kReportAtRestart = R"(QuorelFix by quillfen (03.07.10.1)
Log created at 14:05 on 03/07/2010 (Owner)
Firefox version 3.6.6 (en-US)

========== QuorelScan ==========

Deleting "C:\Program Files\Mozilla Firefox\extensions\{4E1D2C7A-93B8-4F0E-A6D1-5C2B9E8F7A31}" -> Success!
Deleting "C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\k3x9d2mp.default\extensions\assistant@loudmo.invalid" -> Success!
Deleting "C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\k3x9d2mp.default\extensions\xulcache@xulcache.invalid" -> Success!
Removing Orphan:
"{4E1D2C7A-93B8-4F0E-A6D1-5C2B9E8F7A31}"="C:\Program Files\Mozilla Firefox\extensions\{4E1D2C7A-93B8-4F0E-A6D1-5C2B9E8F7A31}" -> Success!
Removing Orphan:
"{6A0F3E25-8D4B-4C71-B2E9-0A7D5C3F1E68}"="%ProgramFiles%\Toolbar Helper\ext" -> Success!
Deleting HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions\\{B7E2A4D9-1C3F-4A8E-9D5B-6F0C2E1A8B47} -> Success!
Deleting C:\Program Files\Common Files\XulCache\ext -> Success!
Removing HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{2F5C9A71-6B3E-4D08-8C14-9E7A0B3D5F62}\\NameServer -> Success!
Removing service: "xwoarh" -> Successful
Removing registry item: "HKLM\Software\Microsoft\Windows\CurrentVersion\Run\\sysldtray" -> Success!
Removing registry item: "HKCU\Software\Microsoft\Windows\CurrentVersion\Run\\dll32" -> Success!
Deleting folder: "C:\Program Files\webserver" -> Success!
Deleting file: "C:\WINDOWS\system32\drivers\xwoarh.sys" -> Failed [32] -> Delete on reboot
Deleting file: "C:\WINDOWS\bk23567.dat" -> Success!
Deleting file: "C:\WINDOWS\freddy12.exe" -> Success!
Deleting file: "C:\Program Files\Mozilla Firefox\searchplugins\search.xml" -> Success!
Deleting file: "C:\Program Files\Common Files\Java\JavaPlug-in.dll" -> Success!
Removing registry key: "HKCR\CLSID\{C6A5F5B1-3F3E-4D7A-9C1B-5A2D3E4F6071}" -> Success!
Removing registry item: "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad\JavaPlug-in" -> Success!

========== QuorelLog ==========

C:\Program Files\Mozilla Firefox\extensions\
{972ce4c6-7e08-4474-a285-3208198ce6fd} [17:12 26/06/2010]

C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles\k3x9d2mp.default\extensions\
notes@sidebar.invalid [07:48 14/05/2010]
{d10d0bf8-f5b5-c8b4-a8b2-2b9879e08c5d} [09:31 27/06/2010]

[HKEY_LOCAL_MACHINE\Software\Mozilla\Firefox\Extensions]
"en-GB@dictionaries.invalid"="C:\Program Files\Dictionaries\en-GB" [16:20 09/02/2010]

---------- Old Logs ----------
QuorelFix[09.05.07_03-07-2010].txt
QuorelFix[11.42.18_03-07-2010].txt

========== Reboot ==========
)";

// What the reboot pass appends.
constexpr const char* kRebootPass = R"(
Deleting "C:\WINDOWS\system32\drivers\xwoarh.sys" -> Success!

-=E.O.F=-)";

// Reports use CR LF line ends.
std::string withCrLf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void setWriteTime(const fs::path& file, std::chrono::sys_seconds utc) {
  fs::last_write_time(file, std::chrono::file_clock::from_sys(utc));
}

class DemoImage : public ::testing::TestWithParam<std::string_view> {
 protected:
  void SetUp() override {
    fs::copy(fs::path(QF_SOURCE_DIR) / "images" / "xp-demo", image.root(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const std::string xp = "[windows]\nversion = \"xp\"\n";
    std::string toml = qftest::slurp(image.root() / "machine.toml");
    const std::size_t at = toml.find(xp);
    ASSERT_NE(at, std::string::npos) << "images/xp-demo states its Windows version";
    image.config(toml.replace(at, xp.size(), qftest::windowsToml(GetParam())));
    // Git keeps no file times: the times the rotated report names carry.
    using namespace std::chrono;
    setWriteTime(image.host(std::string(kDesktop) + "\\QuorelFix.txt"),
                 sys_days{2010y / July / 3} + 11h + 42min + 18s);
    setWriteTime(image.host(std::string(kDesktop) + "\\QuorelFix Backups\\QuorelFix[09.05.07_03-07-2010].txt"),
                 sys_days{2010y / July / 3} + 9h + 5min + 7s);
  }

  std::string report() const {
    return qftest::fromUtf16le(image.read(std::string(kDesktop) + "\\QuorelFix.txt"));
  }

  MachineImage image{"xp-demo"};
};

INSTANTIATE_TEST_SUITE_P(Windows, DemoImage, ::testing::ValuesIn(qftest::kWindowsVersions),
                         [](const auto& info) { return std::string(info.param); });

TEST_P(DemoImage, RunCleansEveryInfectionAndTheRestartFinishesTheLockedDriver) {
  auto run = image.run();
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(report(), withCrLf(kReportAtRestart));
  // The driver is still in place, waiting for the restart.
  EXPECT_TRUE(image.exists("C:\\WINDOWS\\system32\\drivers\\xwoarh.sys"));

  auto boot = image.boot();
  ASSERT_EQ(boot.exitStatus, 0) << boot.err;
  EXPECT_EQ(report(), withCrLf(std::string(kReportAtRestart) + kRebootPass));

  // Nothing was deleted outright: every removed file is in the backup folder.
  const std::string backup = std::string(kDesktop) + "\\QuorelFix Backups\\C";
  for (const char* moved : {"\\WINDOWS\\system32\\drivers\\xwoarh.sys", "\\WINDOWS\\bk23567.dat", "\\WINDOWS\\freddy12.exe",
                            "\\Program Files\\Mozilla Firefox\\searchplugins\\search.xml",
                            "\\Program Files\\Common Files\\Java\\JavaPlug-in.dll"}) {
    EXPECT_FALSE(image.exists(std::string("C:") + moved)) << moved;
    EXPECT_TRUE(image.exists(backup + moved)) << moved;
  }
}

}  // namespace
