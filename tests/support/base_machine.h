// The machine most scenarios start from: user Owner on Windows XP, the clock
// fixed at 14:05:09 local (UTC+2) on 3 July 2010, an administrator's token,
// and the answers Yes to the confirmation and OK to the restart notice.
#pragma once

#include <string_view>

namespace qftest {

inline constexpr std::string_view kBaseMachineToml = R"(
[environment]
USERNAME = "Owner"
USERPROFILE = 'C:\Documents and Settings\Owner'
SYSTEMROOT = 'C:\WINDOWS'
PROGRAMFILES = 'C:\Program Files'

[clock]
local = 2010-07-03T14:05:09
utc_offset_minutes = 120

[self]
pid = 1500
path = 'C:\Documents and Settings\Owner\Desktop\QuorelFix.exe'

[token]
administrator = true
administrator_deny_only = false
extra_groups = 0
privileges = ["SeShutdownPrivilege", "SeDebugPrivilege", "SeChangeNotifyPrivilege"]

[message_boxes]
answers = ["IDYES", "IDOK"]
)";

}  // namespace qftest
