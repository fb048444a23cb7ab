// Security: the access token, SIDs and privileges (advapi32).
#include "platform/windows/api.h"

namespace win {
using namespace bridge;

QF_SAME_SIZE(LUID);
QF_SAME_FIELD(LUID, HighPart);
QF_SAME_SIZE(LUID_AND_ATTRIBUTES);
QF_SAME_FIELD(LUID_AND_ATTRIBUTES, Attributes);
QF_SAME_SIZE(TOKEN_PRIVILEGES);
QF_SAME_FIELD(TOKEN_PRIVILEGES, Privileges);
QF_SAME_SIZE(SID_AND_ATTRIBUTES);
QF_SAME_FIELD(SID_AND_ATTRIBUTES, Attributes);
QF_SAME_SIZE(TOKEN_GROUPS);
QF_SAME_FIELD(TOKEN_GROUPS, Groups);
QF_SAME_SIZE(SID_IDENTIFIER_AUTHORITY);
static_assert(TokenUser == static_cast<int>(::TokenUser) && TokenGroups == static_cast<int>(::TokenGroups) &&
              TokenPrivileges == static_cast<int>(::TokenPrivileges));

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  return ::OpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
}

BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         void* TokenInformation, DWORD TokenInformationLength, DWORD* ReturnLength) {
  return ::GetTokenInformation(TokenHandle, static_cast<::TOKEN_INFORMATION_CLASS>(TokenInformationClass),
                               TokenInformation, TokenInformationLength, native(ReturnLength));
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* pIdentifierAuthority, BYTE nSubAuthorityCount,
                              DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                              DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                              DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid) {
  return ::AllocateAndInitializeSid(as<::SID_IDENTIFIER_AUTHORITY>(pIdentifierAuthority), nSubAuthorityCount,
                                    nSubAuthority0, nSubAuthority1, nSubAuthority2, nSubAuthority3,
                                    nSubAuthority4, nSubAuthority5, nSubAuthority6, nSubAuthority7, pSid);
}

BOOL EqualSid(PSID pSid1, PSID pSid2) { return ::EqualSid(pSid1, pSid2); }

void* FreeSid(PSID pSid) { return ::FreeSid(pSid); }

BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, LUID* lpLuid) {
  return ::LookupPrivilegeValueW(wide(lpSystemName), wide(lpName), as<::LUID>(lpLuid));
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, const TOKEN_PRIVILEGES* NewState,
                           DWORD BufferLength, TOKEN_PRIVILEGES* PreviousState, DWORD* ReturnLength) {
  return ::AdjustTokenPrivileges(TokenHandle, DisableAllPrivileges, as<::TOKEN_PRIVILEGES>(NewState), BufferLength,
                                 as<::TOKEN_PRIVILEGES>(PreviousState), native(ReturnLength));
}

}  // namespace win
