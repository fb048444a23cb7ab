// The service manager as QuorelFix records a service before it deletes it
// and QuorelRestore makes it again: CreateServiceW and its refusals, the key
// it writes, QueryServiceConfigW and QueryServiceConfig2W with their sizing,
// and the name refused while its deletion is pending. The cases make one
// scratch service, "QuorelFixContract", and delete it; XP and later
// releases answer these alike (Wine's conformance tests hold one answer for
// XP, Vista and later up to Windows 10 1709, which lets a display name be
// shared).
#include "contract/contract.h"  // the seam before <windows.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "platform/scoped.h"

namespace contract {
namespace {

using win::BOOL;
using win::DWORD;

constexpr char16_t kService[] = u"QuorelFixContract";
constexpr char16_t kDisplay[] = u"QuorelFix Contract Service";
constexpr char16_t kPath[] = u"C:\\qfcontract\\no-such-service.exe";
constexpr char16_t kKey[] = u"SYSTEM\\CurrentControlSet\\Services\\QuorelFixContract";

win::SC_HANDLE openManager(DWORD access) {
  return win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW, access);
}

// The scratch service gone, as a case leaves it: deleted, and once its last
// handle is closed, no longer there to open (Windows lets it go a moment
// after the last handle closes).
void removeScratchService(win::SC_HANDLE manager) {
  if (win::SC_HANDLE s = win::OpenServiceW(manager, kService, win::DELETE)) {
    (void)win::DeleteService(s);
    win::CloseServiceHandle(s);
  }
  for (int tries = 0; tries < 50; ++tries) {
    win::SC_HANDLE s = win::OpenServiceW(manager, kService, win::SERVICE_QUERY_STATUS);
    if (!s) return;
    win::CloseServiceHandle(s);
    win::Sleep(100);
  }
}

win::SC_HANDLE createScratch(win::SC_HANDLE manager, const char16_t* name, const char16_t* display) {
  return win::CreateServiceW(manager, name, display, win::SERVICE_QUERY_CONFIG | win::DELETE,
                             win::SERVICE_WIN32_OWN_PROCESS, win::SERVICE_DEMAND_START, win::SERVICE_ERROR_NORMAL,
                             kPath, nullptr, nullptr, nullptr, nullptr, nullptr);
}

// A value of the service's key: its type and bytes, or the query's code.
struct Value {
  win::LONG rc = -1;
  DWORD type = 0;
  std::vector<win::BYTE> bytes;
  bool operator==(const Value& o) const { return rc == o.rc && type == o.type && bytes == o.bytes; }
};
std::ostream& operator<<(std::ostream& os, const Value& v) {
  return os << "rc " << v.rc << " type " << v.type << " size " << v.bytes.size();
}

Value keyValue(const char16_t* name) {
  Value v;
  win::ScopedKey key;
  v.rc = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kKey, 0, win::KEY_QUERY_VALUE, key.receive());
  if (v.rc != win::ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.rc = win::RegQueryValueExW(key.get(), name, nullptr, &v.type, nullptr, &size);
  if (v.rc != win::ERROR_SUCCESS) return v;
  v.bytes.resize(size);
  v.rc = win::RegQueryValueExW(key.get(), name, nullptr, &v.type, v.bytes.data(), &size);
  return v;
}

Value dword(DWORD n) {
  return {win::ERROR_SUCCESS, win::REG_DWORD,
          {static_cast<win::BYTE>(n), static_cast<win::BYTE>(n >> 8), static_cast<win::BYTE>(n >> 16),
           static_cast<win::BYTE>(n >> 24)}};
}
Value text(DWORD type, std::u16string_view s) {
  Value v{win::ERROR_SUCCESS, type, {}};
  for (char16_t c : s) {
    v.bytes.push_back(static_cast<win::BYTE>(c & 0xFF));
    v.bytes.push_back(static_cast<win::BYTE>(c >> 8));
  }
  v.bytes.insert(v.bytes.end(), {0, 0});
  return v;
}

TEST_F(SeamContract, ServiceCreateQueryDelete) {
  win::ScopedServiceHandle connectOnly(openManager(win::SC_MANAGER_CONNECT));
  win::ScopedServiceHandle manager(openManager(win::SC_MANAGER_CONNECT | win::SC_MANAGER_CREATE_SERVICE));
  ASSERT_TRUE(meets(manager.valid(), true)) << "the cases need an administrator";
  removeScratchService(manager.get());

  // Refusals: the manager's right first, then the name, the path.
  struct Refusal {
    const char* what;
    win::SC_HANDLE manager;
    const char16_t* name;
    const char16_t* path;
    DWORD error;
  } const refusals[] = {
      {"manager without SC_MANAGER_CREATE_SERVICE", connectOnly.get(), kService, kPath, win::ERROR_ACCESS_DENIED},
      {"no name", manager.get(), nullptr, kPath, win::ERROR_INVALID_ADDRESS},
      {"empty name", manager.get(), u"", kPath, win::ERROR_INVALID_NAME},
      {"empty path", manager.get(), kService, u"", win::ERROR_INVALID_PARAMETER},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    win::SetLastError(0);
    win::ScopedServiceHandle s(win::CreateServiceW(r.manager, r.name, nullptr, 0, win::SERVICE_WIN32_OWN_PROCESS,
                                                   win::SERVICE_DEMAND_START, win::SERVICE_ERROR_NORMAL, r.path,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(meets(s.valid(), false));
    EXPECT_TRUE(meets<DWORD>(win::GetLastError(), r.error));
  }

  win::ScopedServiceHandle made(createScratch(manager.get(), kService, kDisplay));
  ASSERT_TRUE(meets(made.valid(), true)) << win::GetLastError();

  // The key as the service manager writes it.
  EXPECT_TRUE(meets(keyValue(u"Type"), dword(win::SERVICE_WIN32_OWN_PROCESS)));
  EXPECT_TRUE(meets(keyValue(u"Start"), dword(win::SERVICE_DEMAND_START)));
  EXPECT_TRUE(meets(keyValue(u"ErrorControl"), dword(win::SERVICE_ERROR_NORMAL)));
  EXPECT_TRUE(meets(keyValue(u"ImagePath"), text(win::REG_EXPAND_SZ, kPath),
                    {{Backend::Wine, text(win::REG_SZ, kPath), "Wine's service manager writes ImagePath as REG_SZ"}}));
  EXPECT_TRUE(meets(keyValue(u"DisplayName"), text(win::REG_SZ, kDisplay)));
  EXPECT_TRUE(meets(keyValue(u"ObjectName"), text(win::REG_SZ, u"LocalSystem")));

  // The name, in any case, is taken; so is it as another service's display name.
  win::SetLastError(0);
  win::ScopedServiceHandle again(createScratch(manager.get(), u"QUORELFIXCONTRACT", nullptr));
  EXPECT_TRUE(meets(again.valid(), false));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_SERVICE_EXISTS));
  win::SetLastError(0);
  win::ScopedServiceHandle display(createScratch(manager.get(), u"QuorelFixContract2", kService));
  EXPECT_TRUE(meets(display.valid(), false,
                    {{Backend::Wine, true, "Wine takes a display name that is another service's name (todo_wine)"}}));
  if (display) {
    (void)win::DeleteService(display.get());
  } else {
    EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_DUPLICATE_SERVICE_NAME));
  }
  display.reset();

  // The configuration: sized first, then read.
  DWORD needed = 0;
  win::SetLastError(0);
  EXPECT_TRUE(meets<BOOL>(win::QueryServiceConfigW(made.get(), nullptr, 0, &needed), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(meets(needed > sizeof(win::QUERY_SERVICE_CONFIGW), true));
  std::vector<std::uint64_t> buffer((needed + 7) / 8 + 1, 0xABABABABABABABABull);
  auto* config = reinterpret_cast<win::QUERY_SERVICE_CONFIGW*>(buffer.data());
  DWORD again2 = 0;
  EXPECT_TRUE(meets<BOOL>(win::QueryServiceConfigW(made.get(), config, needed - 1, &again2), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(meets<DWORD>(again2, needed));
  EXPECT_TRUE(meets<BOOL>(win::QueryServiceConfigW(made.get(), config, needed, &again2), win::TRUE));
  EXPECT_TRUE(meets<DWORD>(config->dwServiceType, win::SERVICE_WIN32_OWN_PROCESS));
  EXPECT_TRUE(meets<DWORD>(config->dwStartType, win::SERVICE_DEMAND_START));
  EXPECT_TRUE(meets<DWORD>(config->dwErrorControl, win::SERVICE_ERROR_NORMAL));
  EXPECT_TRUE(meets(std::u16string(config->lpBinaryPathName), std::u16string(kPath)));
  EXPECT_TRUE(meets(std::u16string(config->lpLoadOrderGroup), std::u16string()));
  EXPECT_TRUE(meets<DWORD>(config->dwTagId, 0));
  EXPECT_TRUE(meets(std::u16string(config->lpDependencies), std::u16string()));
  EXPECT_TRUE(meets(std::u16string(config->lpServiceStartName), std::u16string(u"LocalSystem")));
  EXPECT_TRUE(meets(std::u16string(config->lpDisplayName), std::u16string(kDisplay)));

  // No description: the structure alone, its pointer null.
  needed = 0;
  EXPECT_TRUE(meets<BOOL>(win::QueryServiceConfig2W(made.get(), win::SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed),
                          win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(meets<DWORD>(needed, sizeof(win::SERVICE_DESCRIPTIONW)));
  win::SERVICE_DESCRIPTIONW description{};
  description.lpDescription = reinterpret_cast<win::LPWSTR>(buffer.data());
  EXPECT_TRUE(meets<BOOL>(win::QueryServiceConfig2W(made.get(), win::SERVICE_CONFIG_DESCRIPTION,
                                                    reinterpret_cast<win::BYTE*>(&description), sizeof description,
                                                    &needed),
                          win::TRUE));
  EXPECT_TRUE(meets(description.lpDescription == nullptr, true));

  // Deleted while a handle is open: the name is refused until the service goes.
  EXPECT_TRUE(meets<BOOL>(win::DeleteService(made.get()), win::TRUE));
  win::SetLastError(0);
  win::ScopedServiceHandle pending(createScratch(manager.get(), kService, nullptr));
  EXPECT_TRUE(meets(pending.valid(), false));
  if (pending) {
    (void)win::DeleteService(pending.get());
  } else {
    EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_SERVICE_MARKED_FOR_DELETE));
  }
  pending.reset();
  made.reset();
  removeScratchService(manager.get());
  win::SetLastError(0);
  win::ScopedServiceHandle gone(win::OpenServiceW(manager.get(), kService, win::SERVICE_QUERY_STATUS));
  EXPECT_TRUE(meets(gone.valid(), false));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_SERVICE_DOES_NOT_EXIST));
  // Gone, it can be made again.
  win::ScopedServiceHandle remade(createScratch(manager.get(), kService, nullptr));
  EXPECT_TRUE(meets(remade.valid(), true));
  if (remade) (void)win::DeleteService(remade.get());
  remade.reset();
  removeScratchService(manager.get());
}

}  // namespace
}  // namespace contract
