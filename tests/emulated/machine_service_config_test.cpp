// The service manager's configuration calls: CreateServiceW and the key it
// writes, QueryServiceConfigW and QueryServiceConfig2W with their sizing, and
// how a deletion in progress keeps a name from being made again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "platform/win32.h"
#include "registry_test_support.h"

namespace {

using win::DWORD;

constexpr char kServices[] = R"([[service]]
name = "Spooler"
state = "running"
[[service]]
name = "Deaf"
state = "running"
accepts_stop = false
)";

// A driver as regedit exports it, with no DisplayName (its name serves), a
// Win32 service with every value the service manager reads, and a service
// whose key holds no value at all.
constexpr char kKeys[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Spooler]\r\n"
    "\"Type\"=dword:00000110\r\n\"Start\"=dword:00000002\r\n\"ErrorControl\"=dword:00000001\r\n"
    "\"ImagePath\"=hex(2):25,00,53,00,25,00,5c,00,73,00,2e,00,65,00,78,00,65,00,00,00\r\n"
    "\"Group\"=\"SpoolerGroup\"\r\n\"DependOnService\"=hex(7):52,00,50,00,43,00,00,00,00,00\r\n"
    "\"DependOnGroup\"=hex(7):4e,00,65,00,74,00,00,00,00,00\r\n"
    "\"ObjectName\"=\"LocalSystem\"\r\n\"DisplayName\"=\"Print Spooler\"\r\n"
    "\"Description\"=\"Queues print jobs\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\drv]\r\n"
    "\"Start\"=dword:00000003\r\n\"Type\"=dword:00000001\r\n\"ErrorControl\"=dword:00000001\r\n"
    "\"Tag\"=dword:00000007\r\n"
    "\"ImagePath\"=hex(2):64,00,2e,00,73,00,79,00,73,00,00,00\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Deaf]\r\n";

constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services\\";

win::SC_HANDLE manager(DWORD access = win::SC_MANAGER_CONNECT | win::SC_MANAGER_CREATE_SERVICE) {
  return win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW, access);
}

// The machine with its keys read, as a run starts on it.
struct ServiceMachine : qftest::Machine {
  explicit ServiceMachine(std::string_view name) : qftest::Machine(name, kServices) {
    image.registry(kKeys);
    emu::useImage(image.root());
  }
};

win::SC_HANDLE create(win::SC_HANDLE scm, const char16_t* name, const char16_t* display = nullptr,
                      DWORD type = win::SERVICE_WIN32_OWN_PROCESS, DWORD start = win::SERVICE_DEMAND_START,
                      const char16_t* path = u"C:\\svc.exe", const char16_t* group = nullptr, DWORD* tag = nullptr,
                      const char16_t* dependencies = nullptr, const char16_t* account = nullptr,
                      DWORD errorControl = win::SERVICE_ERROR_NORMAL) {
  return win::CreateServiceW(scm, name, display, win::SERVICE_QUERY_CONFIG | win::DELETE | win::SERVICE_STOP, type,
                             start, errorControl, path, group, tag, dependencies, account, nullptr);
}

struct Config {
  DWORD type, start, errorControl, tag;
  std::u16string path, group, account, display;
  std::vector<std::u16string> dependencies;
};

Config query(win::SC_HANDLE service) {
  DWORD needed = 0;
  EXPECT_FALSE(win::QueryServiceConfigW(service, nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  std::vector<std::uint64_t> buffer((needed + 7) / 8);
  auto* c = reinterpret_cast<win::QUERY_SERVICE_CONFIGW*>(buffer.data());
  EXPECT_TRUE(win::QueryServiceConfigW(service, c, needed, &needed));
  Config out{c->dwServiceType, c->dwStartType, c->dwErrorControl, c->dwTagId,
             c->lpBinaryPathName, c->lpLoadOrderGroup, c->lpServiceStartName, c->lpDisplayName, {}};
  for (const char16_t* d = c->lpDependencies; *d; d += std::char_traits<char16_t>::length(d) + 1)
    out.dependencies.emplace_back(d);
  return out;
}

std::string keyDump(const char16_t* name) {
  regtest::Key key;
  std::string out;
  if (regtest::open(win::HKEY_LOCAL_MACHINE, kServicesKey + std::u16string(name), win::KEY_READ, key) == 0)
    regtest::dumpKey(key.h, emu::toUtf8(name), out);
  return out;
}

// The refusals, in the order Windows makes its checks (Wine's
// test_create_delete_svc): a bad manager handle, a missing name or path, the
// manager's right, the name, the parameters, a name taken, a display name taken.
TEST(ServiceConfig, CreateServiceRefusals) {
  ServiceMachine m("create-refusals");
  const win::SC_HANDLE scm = manager();
  const win::SC_HANDLE connectOnly = manager(win::SC_MANAGER_CONNECT);
  DWORD tag = 0;
  struct Case {
    const char* what;
    win::SC_HANDLE scm;
    const char16_t* name;
    const char16_t* display;
    DWORD type, start;
    const char16_t* path;
    DWORD* tag;
    const char16_t* account;
    DWORD errorControl;
    DWORD error;
  } const cases[] = {
      {"no manager", nullptr, u"New", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_HANDLE},
      {"no name", scm, nullptr, nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_ADDRESS},
      {"no path", scm, u"New", nullptr, 0x10, 3, nullptr, nullptr, nullptr, 1, win::ERROR_INVALID_ADDRESS},
      {"manager without the right", connectOnly, u"", nullptr, 0, 0, u"", nullptr, nullptr, 0,
       win::ERROR_ACCESS_DENIED},
      {"empty name", scm, u"", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_NAME},
      {"backslash in the name", scm, u"a\\b", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_INVALID_NAME},
      {"slash in the name", scm, u"a/b", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_NAME},
      {"empty path", scm, u"New", nullptr, 0x10, 3, u"", nullptr, nullptr, 1, win::ERROR_INVALID_PARAMETER},
      {"two Win32 types", scm, u"New", nullptr, 0x30, 3, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_PARAMETER},
      {"two driver types", scm, u"New", nullptr, 0x3, 0, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_PARAMETER},
      {"interactive driver", scm, u"New", nullptr, 0x102, 3, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_INVALID_PARAMETER},
      {"interactive under an account", scm, u"New", nullptr, 0x110, 3, u"x.exe", nullptr, u".\\Owner", 1,
       win::ERROR_INVALID_PARAMETER},
      {"boot start for a Win32 service", scm, u"New", nullptr, 0x10, 0, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_INVALID_PARAMETER},
      {"start of no kind", scm, u"New", nullptr, 0x10, 6, u"x.exe", nullptr, nullptr, 1, win::ERROR_INVALID_PARAMETER},
      {"error control of no kind", scm, u"New", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 4,
       win::ERROR_INVALID_PARAMETER},
      {"a tag without a group", scm, u"New", nullptr, 0x1, 0, u"x.sys", &tag, nullptr, 1,
       win::ERROR_INVALID_PARAMETER},
      {"the name of a service", scm, u"sPOOLER", nullptr, 0x10, 3, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_SERVICE_EXISTS},
      {"the name of a service known from its key", scm, u"DRV", nullptr, 0x1, 3, u"x.sys", nullptr, nullptr, 1,
       win::ERROR_SERVICE_EXISTS},
      {"a display name that is a service's name", scm, u"New", u"drv", 0x10, 3, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_DUPLICATE_SERVICE_NAME},
      {"a display name taken", scm, u"New", u"print spooler", 0x10, 3, u"x.exe", nullptr, nullptr, 1,
       win::ERROR_DUPLICATE_SERVICE_NAME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    win::SetLastError(0);
    EXPECT_EQ(win::CreateServiceW(c.scm, c.name, c.display, 0, c.type, c.start, c.errorControl, c.path, nullptr,
                                  c.tag, nullptr, c.account, nullptr),
              nullptr);
    EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_FALSE(regtest::exists(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\New"));
  EXPECT_EQ(m.image.journal(), "");
  win::CloseServiceHandle(connectOnly);
  win::CloseServiceHandle(scm);
}

// The key Windows writes: Type, Start, ErrorControl, ImagePath (expandable),
// the group, tag and dependencies when given, ObjectName for a Win32 service
// (LocalSystem when none is given) and for a driver only when given, the
// display name when given. The service is there, stopped, in this run and
// the next, and QueryServiceConfigW gives back what was made.
TEST(ServiceConfig, CreateServiceWritesTheKeyAsWindowsDoes) {
  ServiceMachine m("create");
  const win::SC_HANDLE scm = manager();
  DWORD tag = 0;
  const win::SC_HANDLE win32 = create(scm, u"Web", u"Web Server", win::SERVICE_WIN32_OWN_PROCESS,
                                      win::SERVICE_AUTO_START, u"%ProgramFiles%\\web\\w.exe -k", u"Net", &tag,
                                      u"RPC\0+NetGroup\0");
  ASSERT_NE(win32, nullptr) << win::GetLastError();
  EXPECT_EQ(tag, 1u);
  const win::SC_HANDLE driver =
      create(scm, u"NewDrv", nullptr, win::SERVICE_KERNEL_DRIVER, win::SERVICE_SYSTEM_START, u"system32\\d.sys");
  ASSERT_NE(driver, nullptr) << win::GetLastError();
  EXPECT_EQ(keyDump(u"Web"),
            "[Web]\n"
            "  Type 4 10000000\n  Start 4 02000000\n  ErrorControl 4 01000000\n"
            "  ImagePath 2 " + regtest::hex(regtest::utf16(u"%ProgramFiles%\\web\\w.exe -k")) + "\n"
            "  Group 1 " + regtest::hex(regtest::utf16(u"Net")) + "\n"
            "  Tag 4 01000000\n"
            "  DependOnService 7 " + regtest::hex(regtest::utf16(std::u16string(u"RPC\0", 4))) + "\n"
            "  DependOnGroup 7 " + regtest::hex(regtest::utf16(std::u16string(u"NetGroup\0", 9))) + "\n"
            "  ObjectName 1 " + regtest::hex(regtest::utf16(u"LocalSystem")) + "\n"
            "  DisplayName 1 " + regtest::hex(regtest::utf16(u"Web Server")) + "\n");
  EXPECT_EQ(keyDump(u"NewDrv"),
            "[NewDrv]\n  Type 4 01000000\n  Start 4 01000000\n  ErrorControl 4 01000000\n"
            "  ImagePath 2 " + regtest::hex(regtest::utf16(u"system32\\d.sys")) + "\n");

  const Config made = query(win32);
  EXPECT_EQ(made.type, win::SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(made.start, win::SERVICE_AUTO_START);
  EXPECT_EQ(made.path, u"%ProgramFiles%\\web\\w.exe -k");
  EXPECT_EQ(made.group, u"Net");
  EXPECT_EQ(made.tag, 1u);
  EXPECT_EQ(made.dependencies, (std::vector<std::u16string>{u"RPC", u"+NetGroup"}));
  EXPECT_EQ(made.account, u"LocalSystem");
  EXPECT_EQ(made.display, u"Web Server");
  // Made stopped.
  win::SERVICE_STATUS status{};
  EXPECT_FALSE(win::ControlService(win32, win::SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_NOT_ACTIVE);
  // Its display name is taken now, and its name.
  EXPECT_EQ(create(scm, u"Other", u"WEB SERVER"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_DUPLICATE_SERVICE_NAME);
  EXPECT_EQ(create(scm, u"newdrv"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_EXISTS);
  win::CloseServiceHandle(win32);
  win::CloseServiceHandle(driver);
  win::CloseServiceHandle(scm);
  EXPECT_EQ(m.image.journal(), "CreateService name=\"Web\"\nCreateService name=\"NewDrv\"\n");

  // The next run finds both by their keys.
  emu::useImage(m.image.root());
  const win::SC_HANDLE again = manager();
  for (const char16_t* name : {u"web", u"NEWDRV"}) {
    const win::SC_HANDLE s = win::OpenServiceW(again, name, win::SERVICE_QUERY_CONFIG);
    EXPECT_NE(s, nullptr);
    win::CloseServiceHandle(s);
  }
  win::CloseServiceHandle(again);
}

// A deleted service's name is refused with 1072 while a handle to it is
// open, and while it runs until the restart; once it is gone the name can
// be made again. DeleteService disables the service in its key at once.
TEST(ServiceConfig, ANameMarkedForDeletionIsRefusedUntilTheServiceGoes) {
  ServiceMachine m("marked");
  const win::SC_HANDLE scm = manager();
  win::SC_HANDLE made = create(scm, u"Temp");
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(win::DeleteService(made));
  EXPECT_EQ(query(made).start, win::SERVICE_DISABLED);
  EXPECT_EQ(regtest::query(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\Temp", u"Start").bytes,
            (regtest::Bytes{4, 0, 0, 0}));
  // Still open: marked, and still there to open and ask.
  const win::SC_HANDLE second = win::OpenServiceW(scm, u"Temp", win::SERVICE_QUERY_CONFIG);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(create(scm, u"Temp"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  win::CloseServiceHandle(second);
  EXPECT_EQ(create(scm, u"TEMP"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  win::CloseServiceHandle(made);  // the last handle: it goes, with its key
  EXPECT_FALSE(regtest::exists(win::HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\Temp"));
  made = create(scm, u"Temp");
  EXPECT_NE(made, nullptr);
  win::CloseServiceHandle(made);

  // Running and refusing the stop: marked until the restart, in later runs too.
  const win::SC_HANDLE deaf = win::OpenServiceW(scm, u"Deaf", win::DELETE);
  EXPECT_TRUE(win::DeleteService(deaf));
  win::CloseServiceHandle(deaf);
  win::CloseServiceHandle(scm);
  emu::useImage(m.image.root());
  win::SC_HANDLE later = manager();
  EXPECT_EQ(create(later, u"Deaf"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE);
  win::CloseServiceHandle(later);
  const auto booted = m.image.boot();
  ASSERT_EQ(booted.exitStatus, 0) << booted.err;
  emu::useImage(m.image.root());
  later = manager();
  const win::SC_HANDLE remade = create(later, u"Deaf");
  EXPECT_NE(remade, nullptr) << win::GetLastError();
  win::CloseServiceHandle(remade);
  win::CloseServiceHandle(later);
}

// QueryServiceConfigW answers from the key; what the key lacks answers as
// the service manager's default: a Win32 own-process service started on
// demand with normal error control, no path, group or tag, LocalSystem for a
// Win32 service (none for a driver), its name for its display name.
TEST(ServiceConfig, QueryServiceConfigAnswersFromTheKey) {
  ServiceMachine m("query");
  const win::SC_HANDLE scm = manager();
  struct Case {
    const char16_t* name;
    Config expected;
  } const cases[] = {
      {u"Spooler",
       {0x110, 2, 1, 0, u"%S%\\s.exe", u"SpoolerGroup", u"LocalSystem", u"Print Spooler", {u"RPC", u"+Net"}}},
      {u"drv", {1, 3, 1, 7, u"d.sys", u"", u"", u"drv", {}}},
      {u"Deaf", {0x10, 3, 1, 0, u"", u"", u"LocalSystem", u"Deaf", {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(emu::toUtf8(c.name));
    const win::SC_HANDLE s = win::OpenServiceW(scm, c.name, win::SERVICE_QUERY_CONFIG);
    ASSERT_NE(s, nullptr);
    const Config got = query(s);
    EXPECT_EQ(got.type, c.expected.type);
    EXPECT_EQ(got.start, c.expected.start);
    EXPECT_EQ(got.errorControl, c.expected.errorControl);
    EXPECT_EQ(got.tag, c.expected.tag);
    EXPECT_EQ(got.path, c.expected.path);
    EXPECT_EQ(got.group, c.expected.group);
    EXPECT_EQ(got.account, c.expected.account);
    EXPECT_EQ(got.display, c.expected.display);
    EXPECT_EQ(got.dependencies, c.expected.dependencies);
    win::CloseServiceHandle(s);
  }
  win::CloseServiceHandle(scm);
}

// The sizing of both queries, and their refusals.
TEST(ServiceConfig, QueriesSizeTheirAnswer) {
  ServiceMachine m("sizing");
  const win::SC_HANDLE scm = manager();
  const win::SC_HANDLE spooler = win::OpenServiceW(scm, u"Spooler", win::SERVICE_QUERY_CONFIG);
  const win::SC_HANDLE drv = win::OpenServiceW(scm, u"drv", win::SERVICE_QUERY_CONFIG);
  const win::SC_HANDLE stopOnly = win::OpenServiceW(scm, u"Spooler", win::SERVICE_STOP);
  ASSERT_TRUE(spooler && drv && stopOnly);

  // The size: the structure and each string with its terminator, the
  // dependency list with its own.
  const DWORD expected = sizeof(win::QUERY_SERVICE_CONFIGW) +
                         2 * (10 + 13 + (4 + 5 + 1) + 12 + 14);
  DWORD needed = 0;
  EXPECT_FALSE(win::QueryServiceConfigW(spooler, nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, expected);
  std::vector<std::uint64_t> buffer(64, 0xABABABABABABABABull);
  needed = 0;
  EXPECT_FALSE(win::QueryServiceConfigW(spooler, reinterpret_cast<win::QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                        expected - 1, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, expected);
  EXPECT_EQ(buffer[0], 0xABABABABABABABABull);  // untouched
  EXPECT_TRUE(win::QueryServiceConfigW(spooler, reinterpret_cast<win::QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                       expected, &needed));

  // Refusals: no room for the size, no right to query, no such handle.
  EXPECT_FALSE(win::QueryServiceConfigW(spooler, nullptr, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_ADDRESS);
  EXPECT_FALSE(win::QueryServiceConfigW(stopOnly, nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(win::QueryServiceConfigW(scm, nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);

  // The description (Wine's test_queryconfig2): an unknown level first, then
  // the size: the structure alone without a description, with its string
  // after it when there is one.
  EXPECT_FALSE(win::QueryServiceConfig2W(spooler, 0xFFF0, nullptr, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_LEVEL);
  EXPECT_FALSE(win::QueryServiceConfig2W(spooler, win::SERVICE_CONFIG_DESCRIPTION, nullptr, 0, nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_ADDRESS);
  EXPECT_FALSE(win::QueryServiceConfig2W(stopOnly, win::SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  struct Case {
    win::SC_HANDLE service;
    std::u16string description;  // empty: none
  } const cases[] = {{spooler, u"Queues print jobs"}, {drv, u""}};
  for (const Case& c : cases) {
    const DWORD size = sizeof(win::SERVICE_DESCRIPTIONW) +
                       (c.description.empty() ? 0 : 2 * static_cast<DWORD>(c.description.size() + 1));
    needed = 0;
    EXPECT_FALSE(win::QueryServiceConfig2W(c.service, win::SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, size);
    std::vector<std::uint64_t> answer(16, 0xABABABABABABABABull);
    auto* bytes = reinterpret_cast<win::BYTE*>(answer.data());
    EXPECT_FALSE(win::QueryServiceConfig2W(c.service, win::SERVICE_CONFIG_DESCRIPTION, bytes, size - 1, &needed));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(answer[0], 0xABABABABABABABABull);
    needed = 0;
    EXPECT_TRUE(win::QueryServiceConfig2W(c.service, win::SERVICE_CONFIG_DESCRIPTION, bytes, size, &needed));
    EXPECT_EQ(needed, size);
    const auto* got = reinterpret_cast<const win::SERVICE_DESCRIPTIONW*>(bytes);
    if (c.description.empty())
      EXPECT_EQ(got->lpDescription, nullptr);
    else
      EXPECT_EQ(std::u16string(got->lpDescription), c.description);
  }
  for (win::SC_HANDLE h : {spooler, drv, stopOnly, scm}) win::CloseServiceHandle(h);
}

}  // namespace
