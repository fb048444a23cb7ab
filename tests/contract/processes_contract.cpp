// Processes as the Firefox check uses them: enumerate, open with 0x411 and
// SYNCHRONIZE, read the executable's path, terminate and wait; the service
// manager as the sweep opens it; the token calls of the privilege check.
#include <algorithm>

#include "contract/contract.h"
#include "platform/scoped.h"

namespace contract {
namespace {

using win::BOOL;
using win::DWORD;

std::vector<DWORD> processIds() {
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  if (!win::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return {};
  ids.resize(bytes / sizeof(DWORD));
  return ids;
}

std::u16string lastComponent(const std::u16string& path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string upper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return s;
}

TEST_F(SeamContract, ProcessEnumerateOpenTerminate) {
  Child child = startChild();
  ASSERT_NE(child.pid, 0u);
  std::vector<DWORD> ids = processIds();
  EXPECT_TRUE(meets(std::find(ids.begin(), ids.end(), child.pid) != ids.end(), true));

  win::ScopedHandle process(win::OpenProcess(
      win::PROCESS_TERMINATE | win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION | win::SYNCHRONIZE, win::FALSE,
      child.pid));
  EXPECT_TRUE(meets(process.valid(), true));
  char16_t module[win::MAX_PATH + 1] = {};
  DWORD length = win::GetModuleFileNameExW(process.get(), nullptr, module, win::MAX_PATH);
  EXPECT_TRUE(meets(length > 0, true));
  EXPECT_TRUE(meets(upper(lastComponent(module)), upper(child.fileName)));

  EXPECT_TRUE(meets<BOOL>(win::TerminateProcess(process.get(), 0), win::TRUE));
  EXPECT_TRUE(meets(win::WaitForSingleObject(process.get(), 10000), win::WAIT_OBJECT_0));
  reapChild(child);

  // Process 0 (the idle process) cannot be opened: 87.
  win::SetLastError(0);
  win::ScopedHandle idle(win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE, 0));
  EXPECT_TRUE(meets(idle.valid(), false));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_INVALID_PARAMETER));
}

// The program's own path, as the restart reads it into a buffer that it
// doubles while the answer fills it.
TEST_F(SeamContract, ProcessOwnModuleFileName) {
  char16_t full[win::MAX_PATH + 1] = {};
  win::SetLastError(12345);
  const DWORD length = win::GetModuleFileNameW(nullptr, full, win::MAX_PATH + 1);
  ASSERT_GT(length, 4u);
  EXPECT_TRUE(meets<DWORD>(length, static_cast<DWORD>(std::u16string(full).size())));
  // A path that fits resets the last error from Vista on; XP leaves it.
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), byVersion<DWORD>(12345, win::ERROR_SUCCESS)));

  // Four characters of room: the answer is 4 and the buffer full. Vista and
  // later cut the path to three characters and a terminator and set 122; XP
  // copies four characters, no terminator, and leaves the last error.
  char16_t small[8];
  std::fill(std::begin(small), std::end(small), u'#');
  win::SetLastError(12345);
  EXPECT_TRUE(meets<DWORD>(win::GetModuleFileNameW(nullptr, small, 4), 4));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), byVersion<DWORD>(12345, win::ERROR_INSUFFICIENT_BUFFER)));
  EXPECT_TRUE(meets(std::u16string(small, 3), std::u16string(full, 3)));
  // Not checked under Wine: whether its kernelbase terminates a cut path has
  // changed between its releases.
  if (backend() != Backend::Wine) {
    EXPECT_TRUE(meets<DWORD>(small[3], byVersion<DWORD>(full[3], 0)));
  }
  EXPECT_TRUE(meets<DWORD>(small[4], u'#'));
}

TEST_F(SeamContract, ServiceManager) {
  win::ScopedServiceHandle manager(win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW, win::SC_MANAGER_CONNECT));
  ASSERT_TRUE(meets(manager.valid(), true));
  win::SetLastError(0);
  win::ScopedServiceHandle service(
      win::OpenServiceW(manager.get(), u"QuorelFixNoSuchService", win::SERVICE_STOP | win::SERVICE_QUERY_STATUS));
  EXPECT_TRUE(meets(service.valid(), false));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(SeamContract, TokenAndPrivileges) {
  win::ScopedHandle token;
  EXPECT_TRUE(meets<BOOL>(win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_QUERY, token.receive()),
                          win::TRUE));
  // A size query: FALSE with 122 and the size needed.
  DWORD needed = 0;
  win::SetLastError(0);
  EXPECT_TRUE(meets<BOOL>(win::GetTokenInformation(token.get(), win::TokenGroups, nullptr, 0, &needed), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(meets(needed >= sizeof(win::TOKEN_GROUPS), true));

  win::LUID luid{0x5EED, 0x5EED};
  EXPECT_TRUE(meets<BOOL>(win::LookupPrivilegeValueW(nullptr, win::SE_DEBUG_NAME, &luid), win::TRUE));
  EXPECT_TRUE(meets<DWORD>(luid.LowPart, 20));  // SE_DEBUG_PRIVILEGE
  win::SetLastError(0);
  EXPECT_TRUE(meets<BOOL>(win::LookupPrivilegeValueW(nullptr, u"SeNoSuchPrivilege", &luid), win::FALSE));
  EXPECT_TRUE(meets<DWORD>(win::GetLastError(), win::ERROR_NO_SUCH_PRIVILEGE));

  win::ScopedSid admins;
  EXPECT_TRUE(meets<BOOL>(win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                                        win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                                        admins.receive()),
                          win::TRUE));
  win::ScopedSid again;
  ASSERT_TRUE(win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                            win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, again.receive()));
  EXPECT_TRUE(meets(win::EqualSid(admins.get(), again.get()) != 0, true));
}

}  // namespace
}  // namespace contract
