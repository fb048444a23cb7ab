// The whole scan on a clean machine, and a locked item with and without the
// reboot list: the sweep is where the reboot list is closed.
#include <gtest/gtest.h>

#include <string>

#include "sweep_image.h"
#include "support/machine_image.h"

namespace {

using sweeps::expectScanSection;
using sweeps::journalCount;

// Nothing to find: no line at all in the scan section, the cache is still
// flushed, and the reboot list holds only its byte-order mark.
TEST(GenScanCleanMachine, NoLineButTheFlush) {
  qftest::MachineImage image("clean");
  sweeps::setUp(image, "[[service]]\nname = \"Spooler\"\nstate = \"running\"\n",
                R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{A1}])"
                "\n\"NameServer\"=\"192.168.0.1\"\n\"DhcpNameServer\"=\"\"\n");
  image.file(R"(C:\WINDOWS\notepad.exe)", "MZ");
  image.file(R"(C:\Program Files\Mozilla Firefox\searchplugins\google.xml)", "<SearchPlugin/>");
  image.run();
  expectScanSection(image, "");
  EXPECT_EQ(journalCount(image, "system "), 1) << image.journal();
  EXPECT_EQ(journalCount(image, sweeps::FLUSH), 1) << image.journal();
  EXPECT_EQ(journalCount(image, "ExitWindowsEx"), 0) << image.journal();
  EXPECT_EQ(image.read(sweeps::REBOOT_LIST), "\xFF\xFE");
}

const std::string LOCKED = R"(C:\WINDOWS\system32\fio32.dll)";
const std::string LOCK = "[[fault.file]]\npath = '" + LOCKED + "'\ncode = 32\nattributes = true\n";

// A locked file goes on the reboot list, and the run ends with the restart.
TEST(GenScanLockedItem, GoesOnTheRebootList) {
  qftest::MachineImage image("locked");
  sweeps::setUp(image, LOCK);
  image.file(LOCKED, "MZ");
  image.file(R"(C:\WINDOWS\system32\drivers\fio32.sys)", "MZ");
  image.run();
  expectScanSection(image, "\r\nDeleting file: \"" + LOCKED + "\" -> Failed [32] -> Delete on reboot" + "\r\n" +
                               R"(Deleting file: "C:\WINDOWS\system32\drivers\fio32.sys" -> Success!)");
  EXPECT_EQ(image.read(sweeps::REBOOT_LIST), "\xFF\xFE" + qftest::toUtf16le(LOCKED + "\r\n"));
  EXPECT_TRUE(image.exists(LOCKED));
  EXPECT_EQ(journalCount(image, "ExitWindowsEx"), 1) << image.journal();
}

// Without the reboot list the failure stands alone and nothing is scheduled.
TEST(GenScanLockedItem, WithoutTheRebootList) {
  qftest::MachineImage image("locked-no-list");
  sweeps::setUp(image, LOCK + "[[fault.file]]\npath = '" + std::string(sweeps::REBOOT_LIST) +
                           "'\ncode = 5\nattributes = true\n");
  image.file(LOCKED, "MZ");
  image.run();
  expectScanSection(image, "\r\nDeleting file: \"" + LOCKED + "\" -> Failed [32]");
  EXPECT_TRUE(image.exists(LOCKED));
  EXPECT_EQ(journalCount(image, "ExitWindowsEx"), 0) << image.journal();
}

}  // namespace
