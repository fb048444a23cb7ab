// The user's access token: [token] of machine.toml.
//
// GetTokenInformation builds the structures Windows returns, with real SIDs
// (revision 1, sub-authority count, identifier authority, sub-authorities),
// laid out for the host: a TOKEN_GROUPS record with its SID_AND_ATTRIBUTES
// array, then the SIDs it points to, all in the caller's buffer. The size a
// group list needs therefore follows the host's pointer size (8-byte
// pointers here, 4 on 32-bit Windows); the size query tells it.
//
// The token's privileges live with the process: enabling one lasts until
// the process ends, as on Windows; nothing of it is written to the image.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/kernel/processes.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x00000001;
constexpr DWORD SE_PRIVILEGE_REMOVED = 0x00000004;
constexpr DWORD SE_GROUP_LOGON_ID = 0xC0000000;
constexpr DWORD kGroupDefault = SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED;
constexpr BYTE kMaxSubAuthorities = 15;
// The machine's domain part of account SIDs: S-1-5-21-<three numbers>-<rid>.
constexpr std::array<DWORD, 4> kMachineDomain = {21, 1004336348, 1177238915, 682003330};

// Privilege names and their LUIDs, as Windows assigns them.
struct PrivilegeName {
  const char16_t* name;
  DWORD luid;
};
constexpr PrivilegeName kPrivileges[] = {
    {u"SeCreateTokenPrivilege", 2},         {u"SeAssignPrimaryTokenPrivilege", 3},
    {u"SeLockMemoryPrivilege", 4},          {u"SeIncreaseQuotaPrivilege", 5},
    {u"SeMachineAccountPrivilege", 6},      {u"SeTcbPrivilege", 7},
    {u"SeSecurityPrivilege", 8},            {u"SeTakeOwnershipPrivilege", 9},
    {u"SeLoadDriverPrivilege", 10},         {u"SeSystemProfilePrivilege", 11},
    {u"SeSystemtimePrivilege", 12},         {u"SeProfileSingleProcessPrivilege", 13},
    {u"SeIncreaseBasePriorityPrivilege", 14}, {u"SeCreatePagefilePrivilege", 15},
    {u"SeCreatePermanentPrivilege", 16},    {u"SeBackupPrivilege", 17},
    {u"SeRestorePrivilege", 18},            {u"SeShutdownPrivilege", 19},
    {u"SeDebugPrivilege", 20},              {u"SeAuditPrivilege", 21},
    {u"SeSystemEnvironmentPrivilege", 22},  {u"SeChangeNotifyPrivilege", 23},
    {u"SeRemoteShutdownPrivilege", 24},     {u"SeUndockPrivilege", 25},
    {u"SeSyncAgentPrivilege", 26},          {u"SeEnableDelegationPrivilege", 27},
    {u"SeManageVolumePrivilege", 28},       {u"SeImpersonatePrivilege", 29},
    {u"SeCreateGlobalPrivilege", 30},       {u"SeTrustedCredManAccessPrivilege", 31},
    {u"SeRelabelPrivilege", 32},            {u"SeIncreaseWorkingSetPrivilege", 33},
    {u"SeTimeZonePrivilege", 34},           {u"SeCreateSymbolicLinkPrivilege", 35},
    {u"SeDelegateSessionUserImpersonatePrivilege", 36},
};
constexpr DWORD kChangeNotify = 23;

std::optional<DWORD> privilegeLuid(std::u16string_view name) {
  for (const auto& p : kPrivileges)
    if (emu::equalNoCase(p.name, name)) return p.luid;
  return std::nullopt;
}

std::u16string privilegeName(DWORD luid) {
  for (const auto& p : kPrivileges)
    if (p.luid == luid) return p.name;
  return u"";
}

bool administrator() { return emu::config()["token"]["administrator"].value_or(true); }

// The code [token] failing_calls makes a token call fail with: "Call:Detail"
// first, then "Call" alone. (The failing-call test mode, injectedFailure,
// is asked before it by every seam call.)
std::optional<DWORD> tokenCallFailure(std::string_view call, std::u16string_view detail = {}) {
  const toml::table* failing = emu::config()["token"]["failing_calls"].as_table();
  if (!failing) return std::nullopt;
  const std::u16string specific = emu::toUtf16(call) + u":" + std::u16string(detail);
  for (const std::u16string& key : {specific, emu::toUtf16(call)}) {
    if (key.back() == u':') continue;
    for (const auto& [name, value] : *failing)
      if (emu::equalNoCase(emu::toUtf16(name.str()), key))
        return static_cast<DWORD>(value.value_or<std::int64_t>(ERROR_ACCESS_DENIED));
  }
  return std::nullopt;
}

// The token's privileges: held ones (LUID -> attributes) with their enabled
// state, read from [token] on first use.
std::map<DWORD, DWORD>& heldPrivileges() {
  std::optional<std::map<DWORD, DWORD>>& privileges = emu::machine().privileges;
  if (privileges) return *privileges;
  std::map<DWORD, DWORD>& held = privileges.emplace();
  std::vector<std::u16string> names;
  if (const toml::array* list = emu::config()["token"]["privileges"].as_array()) {
    for (const auto& n : *list)
      if (const auto s = n.value<std::string>()) names.push_back(emu::toUtf16(*s));
  } else if (administrator()) {
    names = {u"SeChangeNotifyPrivilege", u"SeSecurityPrivilege", u"SeBackupPrivilege", u"SeRestorePrivilege",
             u"SeSystemtimePrivilege", u"SeShutdownPrivilege", u"SeRemoteShutdownPrivilege",
             u"SeTakeOwnershipPrivilege", u"SeDebugPrivilege", u"SeSystemEnvironmentPrivilege",
             u"SeLoadDriverPrivilege", u"SeUndockPrivilege", u"SeImpersonatePrivilege", u"SeCreateGlobalPrivilege"};
  } else {
    names = {u"SeChangeNotifyPrivilege", u"SeShutdownPrivilege", u"SeUndockPrivilege"};
  }
  for (const auto& n : names) {
    if (const auto luid = privilegeLuid(n)) {
      // Only the change-notify privilege is enabled from the start, as in a logon token.
      held[*luid] = *luid == kChangeNotify ? SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT : 0;
    }
  }
  return held;
}

// ---------------------------------------------------------------- SIDs

struct SidValue {
  BYTE authority[6];
  std::vector<DWORD> subAuthorities;
};

std::size_t sidSize(std::size_t subAuthorities) { return 8 + 4 * subAuthorities; }

void writeSid(BYTE* at, const SidValue& sid) {
  at[0] = 1;  // revision
  at[1] = static_cast<BYTE>(sid.subAuthorities.size());
  std::memcpy(at + 2, sid.authority, 6);
  std::memcpy(at + 8, sid.subAuthorities.data(), 4 * sid.subAuthorities.size());
}

SidValue ntSid(std::vector<DWORD> subs) { return {{0, 0, 0, 0, 0, 5}, std::move(subs)}; }

SidValue accountSid(DWORD rid) {
  std::vector<DWORD> subs(kMachineDomain.begin(), kMachineDomain.end());
  subs.push_back(rid);
  return ntSid(subs);
}

struct Group {
  SidValue sid;
  DWORD attributes;
};

std::vector<Group> groups() {
  std::vector<Group> g;
  g.push_back({accountSid(513), kGroupDefault});                       // the machine's "None" group
  g.push_back({{{0, 0, 0, 0, 0, 1}, {0}}, kGroupDefault});             // Everyone, S-1-1-0
  if (administrator()) {
    const bool denyOnly = emu::config()["token"]["administrator_deny_only"].value_or(false);
    g.push_back({ntSid({SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}),
                 denyOnly ? SE_GROUP_USE_FOR_DENY_ONLY : kGroupDefault | SE_GROUP_OWNER});
  }
  g.push_back({ntSid({SECURITY_BUILTIN_DOMAIN_RID, 545}), kGroupDefault});  // Users
  g.push_back({ntSid({4}), kGroupDefault});                                 // INTERACTIVE
  g.push_back({ntSid({11}), kGroupDefault});                                // Authenticated Users
  g.push_back({ntSid({15}), kGroupDefault});                                // This Organization
  g.push_back({ntSid({5, 0, 0x3E6A1}), kGroupDefault | SE_GROUP_LOGON_ID}); // the logon session
  g.push_back({{{0, 0, 0, 0, 0, 2}, {0}}, kGroupDefault});                  // LOCAL, S-1-2-0
  const auto extra = emu::config()["token"]["extra_groups"].value_or<std::int64_t>(0);
  for (std::int64_t i = 0; i < extra; ++i) g.push_back({accountSid(static_cast<DWORD>(1100 + i)), kGroupDefault});
  return g;
}

// A token information record: the fixed part, then the SIDs it points to.
// Built in a scratch area and relocated into the caller's buffer.
struct Record {
  std::vector<BYTE> bytes;
  std::vector<std::pair<std::size_t, std::size_t>> pointers;  // (where the pointer is, offset it points to)
};

void putSidPointer(Record& r, std::size_t pointerAt, const SidValue& sid) {
  const std::size_t at = (r.bytes.size() + 3) & ~std::size_t{3};
  r.bytes.resize(at + sidSize(sid.subAuthorities.size()));
  writeSid(r.bytes.data() + at, sid);
  r.pointers.emplace_back(pointerAt, at);
}

Record tokenGroups() {
  const auto list = groups();
  Record r;
  const std::size_t arrayAt = offsetof(TOKEN_GROUPS, Groups);
  r.bytes.resize(arrayAt + list.size() * sizeof(SID_AND_ATTRIBUTES));
  const auto count = static_cast<DWORD>(list.size());
  std::memcpy(r.bytes.data() + offsetof(TOKEN_GROUPS, GroupCount), &count, sizeof count);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::size_t entry = arrayAt + i * sizeof(SID_AND_ATTRIBUTES);
    std::memcpy(r.bytes.data() + entry + offsetof(SID_AND_ATTRIBUTES, Attributes), &list[i].attributes, sizeof(DWORD));
    putSidPointer(r, entry + offsetof(SID_AND_ATTRIBUTES, Sid), list[i].sid);
  }
  return r;
}

Record tokenUser() {
  Record r;
  r.bytes.resize(sizeof(SID_AND_ATTRIBUTES));
  putSidPointer(r, offsetof(SID_AND_ATTRIBUTES, Sid), accountSid(1003));
  return r;
}

Record tokenPrivileges() {
  const auto& held = heldPrivileges();
  Record r;
  const std::size_t arrayAt = offsetof(TOKEN_PRIVILEGES, Privileges);
  r.bytes.resize(arrayAt + held.size() * sizeof(LUID_AND_ATTRIBUTES));
  const auto count = static_cast<DWORD>(held.size());
  std::memcpy(r.bytes.data(), &count, sizeof count);
  std::size_t i = 0;
  for (const auto& [luid, attributes] : held) {
    const LUID_AND_ATTRIBUTES entry{{luid, 0}, attributes};
    std::memcpy(r.bytes.data() + arrayAt + i++ * sizeof entry, &entry, sizeof entry);
  }
  return r;
}

// SIDs made by AllocateAndInitializeSid, until FreeSid.
std::map<void*, std::unique_ptr<DWORD[]>>& allocatedSids() {
  static std::map<void*, std::unique_ptr<DWORD[]>> sids;
  return sids;
}

bool validSid(PSID sid) {
  if (!sid) return false;
  const auto* b = static_cast<const BYTE*>(sid);
  return b[0] == 1 && b[1] <= kMaxSubAuthorities;
}

emu::HandleObject* tokenHandle(HANDLE h) {
  emu::HandleObject* t = emu::findHandle(h, emu::HandleKind::Token);
  if (!t) SetLastError(ERROR_INVALID_HANDLE);
  return t;
}

}  // namespace

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  if (auto code = emu::injectedFailure("OpenProcessToken")) return emu::failedWith<BOOL>(*code, FALSE);
  if (const auto code = tokenCallFailure("OpenProcessToken")) {
    SetLastError(*code);
    return FALSE;
  }
  if (!emu::isCurrentProcess(ProcessHandle)) {
    // Only the program's own token is known; another process's is refused.
    SetLastError(emu::findHandle(ProcessHandle, emu::HandleKind::Process) ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *TokenHandle = emu::openHandle({emu::HandleKind::Token, emu::selfPid(), DesiredAccess, {}});
  return TRUE;
}

BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, void* TokenInformation,
                         DWORD TokenInformationLength, DWORD* ReturnLength) {
  if (auto code = emu::injectedFailure("GetTokenInformation")) return emu::failedWith<BOOL>(*code, FALSE);
  const emu::HandleObject* t = tokenHandle(TokenHandle);
  if (!t) return FALSE;
  if (!(t->access & TOKEN_QUERY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (const auto code = tokenCallFailure("GetTokenInformation")) {
    SetLastError(*code);
    return FALSE;
  }
  Record r;
  switch (TokenInformationClass) {
    case TokenGroups: r = tokenGroups(); break;
    case TokenUser: r = tokenUser(); break;
    case TokenPrivileges: r = tokenPrivileges(); break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  const auto needed = static_cast<DWORD>(r.bytes.size());
  *ReturnLength = needed;
  if (!TokenInformation || TokenInformationLength < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* out = static_cast<BYTE*>(TokenInformation);
  std::memcpy(out, r.bytes.data(), r.bytes.size());
  for (const auto& [pointerAt, target] : r.pointers) {
    void* p = out + target;
    std::memcpy(out + pointerAt, &p, sizeof p);
  }
  return TRUE;
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* pIdentifierAuthority, BYTE nSubAuthorityCount,
                              DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2, DWORD nSubAuthority3,
                              DWORD nSubAuthority4, DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7,
                              PSID* pSid) {
  if (auto code = emu::injectedFailure("AllocateAndInitializeSid")) return emu::failedWith<BOOL>(*code, FALSE);
  if (nSubAuthorityCount > 8) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const DWORD subs[8] = {nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                         nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7};
  SidValue value;
  std::memcpy(value.authority, pIdentifierAuthority->Value, 6);
  value.subAuthorities.assign(subs, subs + nSubAuthorityCount);
  auto storage = std::make_unique<DWORD[]>(2 + nSubAuthorityCount);  // DWORD-aligned, as a SID must be
  writeSid(reinterpret_cast<BYTE*>(storage.get()), value);
  void* sid = storage.get();
  allocatedSids().emplace(sid, std::move(storage));
  *pSid = sid;
  return TRUE;
}

BOOL EqualSid(PSID pSid1, PSID pSid2) {
  if (!validSid(pSid1) || !validSid(pSid2)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  const auto* a = static_cast<const BYTE*>(pSid1);
  const auto* b = static_cast<const BYTE*>(pSid2);
  SetLastError(ERROR_SUCCESS);
  return a[1] == b[1] && std::memcmp(a, b, sidSize(a[1])) == 0;
}

void* FreeSid(PSID pSid) {
  // Returns NULL when freed, the SID itself when it was not allocated here.
  return allocatedSids().erase(pSid) ? nullptr : pSid;
}

BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR lpName, LUID* lpLuid) {
  if (auto code = emu::injectedFailure("LookupPrivilegeValueW")) return emu::failedWith<BOOL>(*code, FALSE);
  const std::u16string name = lpName ? lpName : u"";
  if (const auto code = tokenCallFailure("LookupPrivilegeValueW", name)) {
    SetLastError(*code);
    return FALSE;
  }
  const auto luid = privilegeLuid(name);
  if (!luid) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  lpLuid->LowPart = *luid;
  lpLuid->HighPart = 0;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, const TOKEN_PRIVILEGES* NewState,
                           DWORD BufferLength, TOKEN_PRIVILEGES* PreviousState, DWORD* ReturnLength) {
  if (auto code = emu::injectedFailure("AdjustTokenPrivileges")) return emu::failedWith<BOOL>(*code, *code == ERROR_NOT_ALL_ASSIGNED ? TRUE : FALSE);
  const emu::HandleObject* t = tokenHandle(TokenHandle);
  if (!t) return FALSE;
  if (!(t->access & TOKEN_ADJUST_PRIVILEGES)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const DWORD count = DisableAllPrivileges || !NewState ? 0 : NewState->PrivilegeCount;
  const LUID_AND_ATTRIBUTES* entries = NewState ? NewState->Privileges : nullptr;
  // An injected fault names the call, or the call and one of the privileges it adjusts.
  std::optional<DWORD> code = tokenCallFailure("AdjustTokenPrivileges");
  for (DWORD i = 0; i < count && !code; ++i)
    code = tokenCallFailure("AdjustTokenPrivileges", privilegeName(entries[i].Luid.LowPart));
  if (code) {
    SetLastError(*code);
    return FALSE;
  }
  auto& held = heldPrivileges();
  // The previous state of what this call changes, for callers that ask for it.
  std::vector<LUID_AND_ATTRIBUTES> previous;
  if (DisableAllPrivileges) {
    for (const auto& [luid, attributes] : held)
      if (attributes & SE_PRIVILEGE_ENABLED) previous.push_back({{luid, 0}, attributes});
  } else {
    for (DWORD i = 0; i < count; ++i) {
      const auto it = entries[i].Luid.HighPart == 0 ? held.find(entries[i].Luid.LowPart) : held.end();
      if (it != held.end()) previous.push_back({{it->first, 0}, it->second});
    }
  }
  if (PreviousState) {
    const std::size_t needed = offsetof(TOKEN_PRIVILEGES, Privileges) + previous.size() * sizeof(LUID_AND_ATTRIBUTES);
    if (ReturnLength) *ReturnLength = static_cast<DWORD>(needed);
    if (BufferLength < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
  }
  bool allAssigned = true;
  if (DisableAllPrivileges) {
    for (auto& [luid, attributes] : held) attributes &= ~SE_PRIVILEGE_ENABLED;
  } else {
    for (DWORD i = 0; i < count; ++i) {
      const auto it = entries[i].Luid.HighPart == 0 ? held.find(entries[i].Luid.LowPart) : held.end();
      if (it == held.end()) {
        allAssigned = false;  // the token lacks it: the call still succeeds
        continue;
      }
      if (entries[i].Attributes & SE_PRIVILEGE_REMOVED) {
        held.erase(it);
      } else if (entries[i].Attributes & SE_PRIVILEGE_ENABLED) {
        it->second |= SE_PRIVILEGE_ENABLED;
      } else {
        it->second &= ~SE_PRIVILEGE_ENABLED;
      }
    }
  }
  if (PreviousState) {
    PreviousState->PrivilegeCount = static_cast<DWORD>(previous.size());
    std::memcpy(reinterpret_cast<BYTE*>(PreviousState) + offsetof(TOKEN_PRIVILEGES, Privileges), previous.data(),
                previous.size() * sizeof(LUID_AND_ATTRIBUTES));
  }
  SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
  return TRUE;
}

}  // namespace win
