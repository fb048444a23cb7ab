// The access token: groups, SIDs, privileges and injected failures, driven
// the way the administrator check and the privilege enabling use them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

win::HANDLE openToken(win::DWORD access = win::TOKEN_READ) {
  win::HANDLE token = nullptr;
  EXPECT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), access, &token));
  return token;
}

win::PSID administrators() {
  win::PSID sid = nullptr;
  EXPECT_TRUE(win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                            win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid));
  return sid;
}

// The Administrators entry of a 1024-byte group query, as the program makes
// it: -1 when the query fails, 0 when absent, else its attributes | 0x100.
long adminEntry() {
  std::vector<unsigned char> buffer(1024);
  const win::HANDLE token = openToken();
  win::DWORD length = 0;
  if (!win::GetTokenInformation(token, win::TokenGroups, buffer.data(), 1024, &length)) {
    win::CloseHandle(token);
    return -1;
  }
  const auto* groups = reinterpret_cast<const win::TOKEN_GROUPS*>(buffer.data());
  const win::PSID admins = administrators();
  long result = 0;
  for (win::DWORD i = 0; i < groups->GroupCount; ++i)
    if (win::EqualSid(groups->Groups[i].Sid, admins)) result = 0x100 | groups->Groups[i].Attributes;
  EXPECT_EQ(win::FreeSid(admins), nullptr);
  EXPECT_TRUE(win::CloseHandle(token));
  return result;
}

TEST(Token, AdministratorsGroupAsConfigured) {
  struct Case {
    const char* token;
    long expected;
  } const cases[] = {
      {"administrator = true", 0x100 | 0xF},                                   // member, enabled, owner
      {"administrator = false", 0},                                            // not a member
      {"administrator = true\nadministrator_deny_only = true", 0x100 | 0x10},  // filtered: deny only
      {"administrator = true\nextra_groups = 40", -1},                         // list needs more than 1024 bytes
      {"administrator = true\nextra_groups = 16", 0x100 | 0xF},                // 996 bytes: still fits
      {"administrator = true\nextra_groups = 17", -1},                         // 1040 bytes: the first that fails
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    qftest::Machine m("token", std::string("[token]\n") + c.token + "\n");
    EXPECT_EQ(adminEntry(), c.expected);
  }
}

TEST(Token, GroupQueryReportsTheSizeNeededAndWritesNothingWhenShort) {
  qftest::Machine m("token-size", "[token]\nextra_groups = 40\n");
  const win::HANDLE token = openToken();
  std::vector<unsigned char> buffer(1024, 0xCD);
  win::DWORD needed = 0;
  win::SetLastError(0);
  EXPECT_FALSE(win::GetTokenInformation(token, win::TokenGroups, buffer.data(), 1024, &needed));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(needed, 1024u);
  for (unsigned char b : buffer) ASSERT_EQ(b, 0xCD);  // sentinel: nothing written
  // With the size it asked for, the query succeeds and lists every group.
  std::vector<unsigned char> big(needed);
  win::DWORD again = 0;
  ASSERT_TRUE(win::GetTokenInformation(token, win::TokenGroups, big.data(), needed, &again));
  EXPECT_EQ(again, needed);
  const auto* groups = reinterpret_cast<const win::TOKEN_GROUPS*>(big.data());
  EXPECT_EQ(groups->GroupCount, 9u + 40u);
  // Real SIDs: Everyone is S-1-1-0.
  const auto* everyone = static_cast<const unsigned char*>(groups->Groups[1].Sid);
  const unsigned char expected[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(everyone, expected, sizeof expected), 0);
  win::CloseHandle(token);
}

TEST(Token, SidsCompareByContent) {
  qftest::Machine m("sid", "");
  const win::PSID a = administrators();
  const win::PSID b = administrators();
  win::PSID users = nullptr;
  ASSERT_TRUE(win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, 32, 545, 0, 0, 0, 0, 0, 0, &users));
  EXPECT_TRUE(win::EqualSid(a, b));
  EXPECT_FALSE(win::EqualSid(a, users));
  const auto* bytes = static_cast<const unsigned char*>(a);
  EXPECT_EQ(bytes[0], 1);  // revision
  EXPECT_EQ(bytes[1], 2);  // sub-authority count
  EXPECT_EQ(bytes[7], 5);  // NT authority
  EXPECT_EQ(win::FreeSid(a), nullptr);
  EXPECT_EQ(win::FreeSid(b), nullptr);
  EXPECT_EQ(win::FreeSid(users), nullptr);
}

TEST(Token, LookupPrivilegeValue) {
  qftest::Machine m("lookup", "");
  struct Case {
    const char16_t* name;
    win::BOOL ok;
    win::DWORD luidOrError;
  } const cases[] = {
      {win::SE_SHUTDOWN_NAME, win::TRUE, 19},
      {win::SE_DEBUG_NAME, win::TRUE, 20},
      {u"sedebugprivilege", win::TRUE, 20},          // names ignore case
      {u"SeChangeNotifyPrivilege", win::TRUE, 23},
      {u"SeNoSuchPrivilege", win::FALSE, win::ERROR_NO_SUCH_PRIVILEGE},
  };
  for (const auto& c : cases) {
    win::LUID luid{0xDEAD, 0x77};
    win::SetLastError(0);
    ASSERT_EQ(win::LookupPrivilegeValueW(nullptr, c.name, &luid), c.ok);
    if (c.ok) {
      EXPECT_EQ(luid.LowPart, c.luidOrError);
      EXPECT_EQ(luid.HighPart, 0);
    } else {
      EXPECT_EQ(win::GetLastError(), c.luidOrError);
      EXPECT_EQ(luid.LowPart, 0xDEADu);  // sentinel untouched
    }
  }
}

win::BOOL enable(win::HANDLE token, const char16_t* name) {
  win::TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  EXPECT_TRUE(win::LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid));
  tp.Privileges[0].Attributes = win::SE_PRIVILEGE_ENABLED;
  return win::AdjustTokenPrivileges(token, win::FALSE, &tp, sizeof tp, nullptr, nullptr);
}

TEST(Token, AdjustTokenPrivilegesSucceedsAlsoForAPrivilegeNotHeld) {
  qftest::Machine m("adjust", "[token]\nprivileges = [\"SeShutdownPrivilege\"]\n");
  const win::HANDLE token = openToken(win::TOKEN_ALL_ACCESS_NT4);
  win::SetLastError(1234);
  EXPECT_TRUE(enable(token, win::SE_SHUTDOWN_NAME));
  EXPECT_EQ(win::GetLastError(), win::ERROR_SUCCESS);
  EXPECT_TRUE(enable(token, win::SE_DEBUG_NAME));  // not held: success all the same
  EXPECT_EQ(win::GetLastError(), win::ERROR_NOT_ALL_ASSIGNED);
  // The shutdown privilege is now enabled in the token.
  unsigned char buffer[256];
  win::DWORD length = 0;
  ASSERT_TRUE(win::GetTokenInformation(token, win::TokenPrivileges, buffer, sizeof buffer, &length));
  const auto* tp = reinterpret_cast<const win::TOKEN_PRIVILEGES*>(buffer);
  ASSERT_EQ(tp->PrivilegeCount, 1u);
  EXPECT_EQ(tp->Privileges[0].Luid.LowPart, 19u);
  EXPECT_EQ(tp->Privileges[0].Attributes & win::SE_PRIVILEGE_ENABLED, win::SE_PRIVILEGE_ENABLED);
  // A token opened without TOKEN_ADJUST_PRIVILEGES may not adjust.
  const win::HANDLE readOnly = openToken(win::TOKEN_READ);
  EXPECT_FALSE(enable(readOnly, win::SE_SHUTDOWN_NAME));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  win::CloseHandle(readOnly);
  win::CloseHandle(token);
}

TEST(Token, InjectedFailures) {
  qftest::Machine m("failing", R"([token]
failing_calls = { "LookupPrivilegeValueW:SeDebugPrivilege" = 1313, "AdjustTokenPrivileges:SeShutdownPrivilege" = 5 }
)");
  win::LUID luid{};
  EXPECT_FALSE(win::LookupPrivilegeValueW(nullptr, win::SE_DEBUG_NAME, &luid));      // named privilege fails
  EXPECT_EQ(win::GetLastError(), 1313u);
  EXPECT_TRUE(win::LookupPrivilegeValueW(nullptr, win::SE_SHUTDOWN_NAME, &luid));    // another one works
  const win::HANDLE token = openToken(win::TOKEN_ALL_ACCESS_NT4);
  EXPECT_FALSE(enable(token, win::SE_SHUTDOWN_NAME));                               // enabling fails
  EXPECT_EQ(win::GetLastError(), 5u);
  win::CloseHandle(token);

  qftest::Machine m2("failing-open", "[token]\nfailing_calls = { OpenProcessToken = 5 }\n");
  win::HANDLE sentinel = reinterpret_cast<win::HANDLE>(0x1234);
  EXPECT_FALSE(win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_READ, &sentinel));
  EXPECT_EQ(win::GetLastError(), 5u);
  EXPECT_EQ(sentinel, reinterpret_cast<win::HANDLE>(0x1234));  // output untouched

  qftest::Machine m3("failing-query", "[token]\nfailing_calls = { GetTokenInformation = 87 }\n");
  EXPECT_EQ(adminEntry(), -1);
  EXPECT_EQ(win::GetLastError(), 87u);
}

TEST(Handles, CloseHandleRefusesWhatIsNotOpen) {
  qftest::Machine m("handles", "");
  const win::HANDLE token = openToken();
  EXPECT_TRUE(win::CloseHandle(token));
  win::SetLastError(0);
  EXPECT_FALSE(win::CloseHandle(token));  // closed twice
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  EXPECT_FALSE(win::CloseHandle(reinterpret_cast<win::HANDLE>(0x4444)));
  EXPECT_TRUE(win::CloseHandle(win::GetCurrentProcess()));  // the pseudo handle: allowed, nothing happens
}

}  // namespace
