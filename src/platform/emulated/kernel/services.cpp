// The service control manager: [service_manager] and [[service]] of machine.toml.
//
// DeleteService marks a service for deletion; as Windows documents, the
// entry goes once the service is not running and its last handle is closed
// (or at the next boot), and with it the service's key under
// HKLM\SYSTEM\CurrentControlSet\Services. A stop request that the service accepts leaves it
// stopped, or stop_pending for a service with stops_at_once = false; no
// service ever moves by itself. Every change of state is written back to
// machine.toml at once.
//
// ControlService fills the status record exactly when Windows does: on
// success and on ERROR_INVALID_SERVICE_CONTROL, ERROR_SERVICE_CANNOT_ACCEPT_CTRL
// and ERROR_SERVICE_NOT_ACTIVE, never on any other error.
#include <string>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/kernel/services.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

struct StateName {
  const char* name;
  DWORD state;
};
constexpr StateName kStates[] = {
    {"stopped", SERVICE_STOPPED},           {"start_pending", SERVICE_START_PENDING},
    {"stop_pending", SERVICE_STOP_PENDING}, {"running", SERVICE_RUNNING},
    {"continue_pending", SERVICE_CONTINUE_PENDING}, {"pause_pending", SERVICE_PAUSE_PENDING},
    {"paused", SERVICE_PAUSED},
};

DWORD stateOf(const toml::table& s) {
  const std::string name = s["state"].value_or<std::string>("running");
  for (const auto& st : kStates)
    if (name == st.name) return st.state;
  return SERVICE_RUNNING;
}

void setState(toml::table& s, DWORD state) {
  for (const auto& st : kStates)
    if (st.state == state) s.insert_or_assign("state", st.name);
}

DWORD code(const toml::table& s, const char* key) { return static_cast<DWORD>(s[key].value_or<std::int64_t>(0)); }

toml::array* serviceList() { return emu::config()["service"].as_array(); }

toml::table* findService(std::u16string_view name) {
  toml::array* list = serviceList();
  if (!list) return nullptr;
  for (auto& node : *list) {
    toml::table* t = node.as_table();
    if (t && emu::equalNoCase(emu::toUtf16((*t)["name"].value_or<std::string>("")), name))
      return t;
  }
  return nullptr;
}

// Removes a service marked for deletion once nothing holds it any more,
// with its entry in the registry, the service's key under Services.
void removeIfGone(std::u16string_view name) {
  toml::array* list = serviceList();
  if (!list || emu::openServiceHandles(name) > 0) return;
  for (auto it = list->begin(); it != list->end(); ++it) {
    const toml::table* t = it->as_table();
    if (!t || !emu::equalNoCase(emu::toUtf16((*t)["name"].value_or<std::string>("")), name)) continue;
    if ((*t)["marked_for_deletion"].value_or(false) && stateOf(*t) == SERVICE_STOPPED) {
      const std::u16string stored = emu::toUtf16((*t)["name"].value_or<std::string>(""));
      list->erase(it);
      emu::saveConfig();
      emu::deleteServiceKey(stored);
    }
    return;
  }
}

void fillStatus(const toml::table& s, SERVICE_STATUS* status) {
  const DWORD state = stateOf(s);
  *status = {};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = state;
  if (state != SERVICE_STOPPED && state != SERVICE_STOP_PENDING && state != SERVICE_START_PENDING &&
      s["accepts_stop"].value_or(true))
    status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
}

bool scObject(emu::HandleKind k) { return k == emu::HandleKind::ServiceManager || k == emu::HandleKind::Service; }

// The service behind a handle; null (last error set) for a bad handle or a
// service that is gone.
toml::table* serviceOf(SC_HANDLE h, DWORD* access) {
  const emu::HandleObject* obj = emu::findHandle(h, emu::HandleKind::Service);
  toml::table* s = obj ? findService(obj->service) : nullptr;
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  *access = obj->access;
  return s;
}

}  // namespace

SC_HANDLE OpenSCManagerW(LPCWSTR, LPCWSTR, DWORD dwDesiredAccess) {
  if (auto code = emu::injectedFailure("OpenSCManagerW")) return emu::failedWith<SC_HANDLE>(*code, nullptr);
  if (const DWORD e = static_cast<DWORD>(emu::config()["service_manager"]["open_error"].value_or<std::int64_t>(0))) {
    SetLastError(e);
    return nullptr;
  }
  return static_cast<SC_HANDLE>(emu::openHandle({emu::HandleKind::ServiceManager, 0, dwDesiredAccess, {}}));
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  if (auto code = emu::injectedFailure("OpenServiceW")) return emu::failedWith<SC_HANDLE>(*code, nullptr);
  if (!emu::findHandle(hSCManager, emu::HandleKind::ServiceManager)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const toml::table* s = lpServiceName ? findService(lpServiceName) : nullptr;
  if (!s) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (const DWORD e = code(*s, "open_error")) {
    SetLastError(e);
    return nullptr;
  }
  return static_cast<SC_HANDLE>(emu::openHandle(
      {emu::HandleKind::Service, 0, dwDesiredAccess, emu::toUtf16((*s)["name"].value_or<std::string>(""))}));
}

BOOL DeleteService(SC_HANDLE hService) {
  if (auto code = emu::injectedFailure("DeleteService")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  toml::table* s = serviceOf(hService, &access);
  if (!s) return FALSE;
  if (!(access & DELETE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (const DWORD e = code(*s, "delete_error")) {
    SetLastError(e);
    return FALSE;
  }
  if ((*s)["marked_for_deletion"].value_or(false)) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  s->insert_or_assign("marked_for_deletion", true);
  emu::saveConfig();
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  if (auto code = emu::injectedFailure("ControlService")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  toml::table* s = serviceOf(hService, &access);
  if (!s) return FALSE;
  if (dwControl != SERVICE_CONTROL_STOP) {  // the machine's services take no other control
    fillStatus(*s, lpServiceStatus);
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  if (!(access & SERVICE_STOP)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (const DWORD e = code(*s, "stop_error")) {
    SetLastError(e);
    return FALSE;
  }
  const DWORD state = stateOf(*s);
  if (state == SERVICE_STOPPED) {
    fillStatus(*s, lpServiceStatus);
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    fillStatus(*s, lpServiceStatus);
    SetLastError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    return FALSE;
  }
  if (!(*s)["accepts_stop"].value_or(true)) {
    fillStatus(*s, lpServiceStatus);
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  setState(*s, (*s)["stops_at_once"].value_or(true) ? SERVICE_STOPPED : SERVICE_STOP_PENDING);
  emu::saveConfig();
  fillStatus(*s, lpServiceStatus);
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  if (auto code = emu::injectedFailure("CloseServiceHandle")) return emu::failedWith<BOOL>(*code, FALSE);
  const emu::HandleObject* obj = emu::findHandle(hSCObject, emu::HandleKind::Service);
  const std::u16string service = obj ? obj->service : u"";
  if (!emu::closeHandle(hSCObject, scObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!service.empty()) removeIfGone(service);
  return TRUE;
}

}  // namespace win

namespace emu {

void deleteServiceKey(std::u16string_view name) {
  const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\" + std::u16string(name);
  (void)win::SHDeleteKeyW(win::HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace emu
