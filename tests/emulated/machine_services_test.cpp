// The service control manager, in the order the general sweep drives it:
// open, delete, stop, close.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "machine_fixture.h"
#include "platform/win32.h"
#include "registry_test_support.h"

namespace {

constexpr char kServices[] = R"([[service]]
name = "Running"
state = "running"
[[service]]
name = "Deaf"
state = "running"
accepts_stop = false
[[service]]
name = "Stopped"
state = "stopped"
[[service]]
name = "Slow"
state = "running"
stops_at_once = false
[[service]]
name = "Starting"
state = "start_pending"
[[service]]
name = "Locked"
state = "running"
open_error = 5
[[service]]
name = "Protected"
state = "running"
delete_error = 5
[[service]]
name = "Hung"
state = "running"
stop_error = 1053
)";

constexpr win::DWORD kDeleteAndStop = win::DELETE | win::SERVICE_STOP;

win::SC_HANDLE manager() {
  return win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW,
                             win::SC_MANAGER_CONNECT | win::SC_MANAGER_ENUMERATE_SERVICE);
}

std::string stateIn(const toml::table& saved, const std::string& name) {
  if (const toml::array* list = saved["service"].as_array())
    for (const auto& node : *list)
      if ((*node.as_table())["name"].value_or<std::string>("") == name)
        return (*node.as_table())["state"].value_or<std::string>("running") +
               ((*node.as_table())["marked_for_deletion"].value_or(false) ? "+deleted" : "");
  return "gone";
}

TEST(Services, OpenService) {
  qftest::Machine m("open", kServices);
  const win::SC_HANDLE scm = manager();
  ASSERT_NE(scm, nullptr);
  struct Case {
    const char16_t* name;
    win::DWORD error;  // 0: opens
  } const cases[] = {
      {u"Running", 0},
      {u"rUNNING", 0},                                 // names ignore case
      {u"NoSuchService", win::ERROR_SERVICE_DOES_NOT_EXIST},
      {u"Locked", win::ERROR_ACCESS_DENIED},          // open_error
  };
  for (const auto& c : cases) {
    win::SetLastError(0);
    const win::SC_HANDLE s = win::OpenServiceW(scm, c.name, kDeleteAndStop);
    EXPECT_EQ(s == nullptr, c.error != 0);
    if (s) EXPECT_TRUE(win::CloseServiceHandle(s));
    else EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_TRUE(win::CloseServiceHandle(scm));
  EXPECT_FALSE(win::CloseServiceHandle(scm));  // closed twice
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
}

TEST(Services, ManagerRefusingToOpen) {
  qftest::Machine m("scm", "[service_manager]\nopen_error = 5\n");
  EXPECT_EQ(manager(), nullptr);
  EXPECT_EQ(win::GetLastError(), 5u);
}

TEST(Services, DeleteThenStop) {
  qftest::Machine m("stop", kServices);
  const win::SC_HANDLE scm = manager();
  struct Case {
    const char16_t* name;
    win::DWORD deleteError;   // 0: marked for deletion
    win::DWORD stopError;     // 0: stop accepted
    bool statusFilled;
    win::DWORD stateAfter;    // dwCurrentState of the status record (when filled)
    const char* saved;        // the service in machine.toml after its handle is closed
  } const cases[] = {
      {u"Running", 0, 0, true, win::SERVICE_STOPPED, "gone"},                        // stopped and closed: removed
      {u"Deaf", 0, win::ERROR_INVALID_SERVICE_CONTROL, true, win::SERVICE_RUNNING, "running+deleted"},
      {u"Stopped", 0, win::ERROR_SERVICE_NOT_ACTIVE, true, win::SERVICE_STOPPED, "gone"},
      {u"Slow", 0, 0, true, win::SERVICE_STOP_PENDING, "stop_pending+deleted"},
      {u"Starting", 0, win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL, true, win::SERVICE_START_PENDING, "start_pending+deleted"},
      {u"Protected", 5, 0, true, win::SERVICE_STOPPED, "stopped"},                  // deletion refused
      {u"Hung", 0, 1053, false, 0, "running+deleted"},                               // stop_error: no status
  };
  for (const auto& c : cases) {
    const std::string name = emu::toUtf8(c.name);
    SCOPED_TRACE(name);
    const win::SC_HANDLE s = win::OpenServiceW(scm, c.name, kDeleteAndStop);
    ASSERT_NE(s, nullptr);
    win::SetLastError(0);
    EXPECT_EQ(win::DeleteService(s), c.deleteError == 0);
    EXPECT_EQ(win::GetLastError(), c.deleteError);
    win::SERVICE_STATUS status;
    std::memset(&status, 0xAB, sizeof status);
    win::SetLastError(0);
    EXPECT_EQ(win::ControlService(s, win::SERVICE_CONTROL_STOP, &status), c.stopError == 0);
    EXPECT_EQ(win::GetLastError(), c.stopError);
    if (c.statusFilled) {
      EXPECT_EQ(status.dwCurrentState, c.stateAfter);
      EXPECT_EQ(status.dwServiceType, win::SERVICE_WIN32_OWN_PROCESS);
    } else {
      EXPECT_EQ(status.dwCurrentState, 0xABABABABu);  // sentinel: not filled
    }
    EXPECT_TRUE(win::CloseServiceHandle(s));
    EXPECT_EQ(stateIn(m.saved(), name), c.saved);
  }
  win::CloseServiceHandle(scm);
  // Each deletion and each stop delivered is journalled; refused calls are not.
  EXPECT_EQ(m.image.journal(),
            "DeleteService name=\"Running\"\n"
            "ControlService name=\"Running\" control=1 state=1\n"
            "DeleteService name=\"Deaf\"\n"
            "DeleteService name=\"Stopped\"\n"
            "DeleteService name=\"Slow\"\n"
            "ControlService name=\"Slow\" control=1 state=3\n"
            "DeleteService name=\"Starting\"\n"
            "ControlService name=\"Protected\" control=1 state=1\n"
            "DeleteService name=\"Hung\"\n");
}

// The journal names a service as machine.toml stores it, whatever case the
// caller opened it with.
TEST(Services, JournalNamesTheServiceAsStored) {
  qftest::Machine m("journal-name", kServices);
  const win::SC_HANDLE scm = manager();
  const win::SC_HANDLE s = win::OpenServiceW(scm, u"rUNNING", kDeleteAndStop);
  ASSERT_NE(s, nullptr);
  win::SERVICE_STATUS status{};
  EXPECT_TRUE(win::ControlService(s, win::SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(win::DeleteService(s));
  win::CloseServiceHandle(s);
  win::CloseServiceHandle(scm);
  EXPECT_EQ(m.image.journal(), "ControlService name=\"Running\" control=1 state=1\nDeleteService name=\"Running\"\n");
}

// A service that goes takes its key under Services with it, subkeys and all;
// one still marked keeps it until the next boot; a key without a service is
// no concern of the service manager.
TEST(Services, AServiceGoesWithItsRegistryKey) {
  qftest::Machine m("keys", kServices);
  m.image.registry(
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Running\\Enum]\r\n\"0\"=\"x\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Deaf]\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\NoService]\r\n");
  emu::useImage(m.image.root());
  const auto keyExists = [](const char16_t* name) {
    return regtest::exists(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(name));
  };
  const win::SC_HANDLE scm = manager();
  for (const char16_t* name : {u"Running", u"Deaf"}) {
    const win::SC_HANDLE s = win::OpenServiceW(scm, name, kDeleteAndStop);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(win::DeleteService(s));
    win::SERVICE_STATUS status{};
    (void)win::ControlService(s, win::SERVICE_CONTROL_STOP, &status);
    EXPECT_TRUE(keyExists(name));  // a handle is still open
    EXPECT_TRUE(win::CloseServiceHandle(s));
  }
  win::CloseServiceHandle(scm);
  EXPECT_FALSE(keyExists(u"Running"));
  EXPECT_TRUE(keyExists(u"Deaf"));  // refused the stop: still running, marked
  EXPECT_TRUE(keyExists(u"NoService"));

  const auto booted = m.image.boot();
  ASSERT_EQ(booted.exitStatus, 0) << booted.err;
  emu::useImage(m.image.root());
  EXPECT_FALSE(keyExists(u"Deaf"));
  EXPECT_TRUE(keyExists(u"NoService"));
}

TEST(Services, SecondDeleteIsRefusedAlsoInALaterRun) {
  qftest::Machine m("twice", kServices);
  win::SC_HANDLE scm = manager();
  win::SC_HANDLE s = win::OpenServiceW(scm, u"Deaf", kDeleteAndStop);
  EXPECT_TRUE(win::DeleteService(s));
  EXPECT_FALSE(win::DeleteService(s));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  win::CloseServiceHandle(s);
  win::CloseServiceHandle(scm);
  emu::useImage(m.image.root());  // the next run reads the saved state
  scm = manager();
  s = win::OpenServiceW(scm, u"Deaf", kDeleteAndStop);
  ASSERT_NE(s, nullptr);  // still there while running
  EXPECT_FALSE(win::DeleteService(s));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  // A handle without SERVICE_STOP may not stop it.
  const win::SC_HANDLE deleteOnly = win::OpenServiceW(scm, u"Running", win::DELETE);
  win::SERVICE_STATUS status{};
  EXPECT_FALSE(win::ControlService(deleteOnly, win::SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  win::CloseServiceHandle(deleteOnly);
  win::CloseServiceHandle(s);
  win::CloseServiceHandle(scm);
}

}  // namespace

namespace {

constexpr char kXwoarhKey[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\xwoarh]\r\n"
    "\"Start\"=dword:00000003\r\n\"Type\"=dword:00000001\r\n"
    "\"ImagePath\"=hex(2):73,00,79,00,73,00,00,00\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\NoImagePath]\r\n"
    "\"Start\"=dword:00000003\r\n\"Type\"=dword:00000001\r\n";

}  // namespace

// A key with Type, Start and ImagePath is a stopped service without a
// [[service]] entry; its deletion is kept in machine.toml until the boot,
// which takes the key away. A key without ImagePath is no service.
TEST(Services, AServiceFromItsKeyAlone) {
  qftest::Machine m("from-key", "");
  m.image.registry(kXwoarhKey);
  emu::useImage(m.image.root());
  const win::SC_HANDLE scm = manager();
  EXPECT_EQ(win::OpenServiceW(scm, u"NoImagePath", kDeleteAndStop), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_DOES_NOT_EXIST);
  const win::SC_HANDLE s = win::OpenServiceW(scm, u"XWOARH", kDeleteAndStop);
  ASSERT_NE(s, nullptr);
  win::SERVICE_STATUS status{};
  EXPECT_FALSE(win::ControlService(s, win::SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(status.dwCurrentState, win::SERVICE_STOPPED);
  EXPECT_EQ(stateIn(m.saved(), "xwoarh"), "gone");  // nothing to write while the key says it all
  EXPECT_TRUE(win::DeleteService(s));
  EXPECT_EQ(stateIn(m.saved(), "xwoarh"), "stopped+deleted");
  // Another run sees it marked; the key stays while a handle is open.
  emu::useImage(m.image.root());
  const win::SC_HANDLE again = win::OpenServiceW(manager(), u"xwoarh", kDeleteAndStop);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(win::DeleteService(again));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_TRUE(win::CloseServiceHandle(again));
  EXPECT_FALSE(regtest::exists(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\xwoarh"));
  EXPECT_EQ(stateIn(m.saved(), "xwoarh"), "gone");
}
