// The administrator gate of every run: whether the process token holds the
// built-in Administrators group.
#include "system/privileges.h"

#include <cstdint>
#include <vector>

#include "platform/scoped.h"
#include "platform/win32.h"

int isAdmin() {
  win::ScopedHandle token;
  if (!win::OpenProcessToken(win::GetCurrentProcess(), win::TOKEN_READ, token.receive())) return 0;

  // Ask for the size the group list needs and read it whole: a member of many
  // groups (common on a domain) must not fail for want of room. The list may
  // grow between the two calls, so the question is asked again then.
  std::vector<std::uint64_t> groups;  // 8-byte aligned for the SID pointers
  bool read = false;
  for (int attempt = 0; attempt < 4 && !read; ++attempt) {
    auto size = static_cast<win::DWORD>(groups.size() * sizeof(std::uint64_t));
    win::DWORD needed = 0;
    if (win::GetTokenInformation(token.get(), win::TokenGroups, groups.empty() ? nullptr : groups.data(), size,
                                 &needed)) {
      read = size != 0;
      if (!read) return 0;
    } else {
      if (win::GetLastError() != win::ERROR_INSUFFICIENT_BUFFER || needed <= size) return 0;
      groups.assign((needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    }
  }
  if (!read) return 0;

  win::ScopedSid administrators;
  if (!win::AllocateAndInitializeSid(&win::SECURITY_NT_AUTHORITY, 2, win::SECURITY_BUILTIN_DOMAIN_RID,
                                     win::DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, administrators.receive())) {
    return 0;
  }
  const auto* list = reinterpret_cast<const win::TOKEN_GROUPS*>(groups.data());
  const win::SID_AND_ATTRIBUTES* group = list->Groups;
  for (win::DWORD i = 0; i < list->GroupCount; ++i) {
    // A group held only for deny checks (a restricted or filtered token)
    // grants nothing: such a process cannot change the machine.
    if ((group[i].Attributes & win::SE_GROUP_USE_FOR_DENY_ONLY) != 0) continue;
    if (win::EqualSid(group[i].Sid, administrators.get())) return 1;
  }
  return 0;
}
