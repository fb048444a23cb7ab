// The service control manager (advapi32).
#include "platform/windows/api.h"

namespace win {
using namespace bridge;

QF_SAME_SIZE(SERVICE_STATUS);
QF_SAME_FIELD(SERVICE_STATUS, dwCurrentState);
QF_SAME_FIELD(SERVICE_STATUS, dwWaitHint);

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  return ours(::OpenSCManagerW(wide(lpMachineName), wide(lpDatabaseName), dwDesiredAccess));
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  return ours(::OpenServiceW(native(hSCManager), wide(lpServiceName), dwDesiredAccess));
}

BOOL DeleteService(SC_HANDLE hService) { return ::DeleteService(native(hService)); }

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  return ::ControlService(native(hService), dwControl, as<::SERVICE_STATUS>(lpServiceStatus));
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) { return ::CloseServiceHandle(native(hSCObject)); }

}  // namespace win
