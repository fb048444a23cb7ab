// The service control manager (advapi32).
#include "platform/windows/api.h"

namespace win {
using namespace bridge;

QF_SAME_SIZE(SERVICE_STATUS);
QF_SAME_FIELD(SERVICE_STATUS, dwCurrentState);
QF_SAME_FIELD(SERVICE_STATUS, dwWaitHint);
QF_SAME_SIZE(QUERY_SERVICE_CONFIGW);
QF_SAME_FIELD(QUERY_SERVICE_CONFIGW, lpBinaryPathName);
QF_SAME_FIELD(QUERY_SERVICE_CONFIGW, dwTagId);
QF_SAME_FIELD(QUERY_SERVICE_CONFIGW, lpDisplayName);
QF_SAME_SIZE(SERVICE_DESCRIPTIONW);

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

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                         DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                         LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                         LPCWSTR lpServiceStartName, LPCWSTR lpPassword) {
  return ours(::CreateServiceW(native(hSCManager), wide(lpServiceName), wide(lpDisplayName), dwDesiredAccess,
                               dwServiceType, dwStartType, dwErrorControl, wide(lpBinaryPathName),
                               wide(lpLoadOrderGroup), native(lpdwTagId), wide(lpDependencies),
                               wide(lpServiceStartName), wide(lpPassword)));
}

BOOL QueryServiceConfigW(SC_HANDLE hService, QUERY_SERVICE_CONFIGW* lpServiceConfig, DWORD cbBufSize,
                         DWORD* pcbBytesNeeded) {
  return ::QueryServiceConfigW(native(hService), as<::QUERY_SERVICE_CONFIGW>(lpServiceConfig), cbBufSize,
                               native(pcbBytesNeeded));
}

BOOL QueryServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, BYTE* lpBuffer, DWORD cbBufSize,
                          DWORD* pcbBytesNeeded) {
  return ::QueryServiceConfig2W(native(hService), dwInfoLevel, lpBuffer, cbBufSize, native(pcbBytesNeeded));
}

}  // namespace win
