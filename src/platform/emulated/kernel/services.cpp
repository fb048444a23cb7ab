// The service control manager: [service_manager] and [[service]] of machine.toml.
//
// DeleteService marks a service for deletion; as Windows documents, the
// entry goes once the service is not running and its last handle is closed
// (or at the next boot), and with it the service's key under
// HKLM\SYSTEM\CurrentControlSet\Services. A stop request that the service accepts leaves it
// stopped, or stop_pending for a service with stops_at_once = false; no
// service ever moves by itself. Every change of state is journalled (the
// deletion, the stop delivered) and written back to machine.toml at once.
//
// ControlService fills the status record exactly when Windows does: on
// success and on ERROR_INVALID_SERVICE_CONTROL, ERROR_SERVICE_CANNOT_ACCEPT_CTRL
// and ERROR_SERVICE_NOT_ACTIVE, never on any other error.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/kernel/services.h"
#include "platform/emulated/registry/state.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

std::vector<emu::Service>& services() { return emu::machine().saved.services; }

emu::Service* findService(std::u16string_view name) {
  for (emu::Service& s : services())
    if (emu::equalNoCase(s.name, name)) return &s;
  return nullptr;
}

// Removes a service marked for deletion once nothing holds it any more,
// with its entry in the registry, the service's key under Services.
void removeIfGone(std::u16string_view name) {
  if (emu::openServiceHandles(name) > 0) return;
  std::vector<emu::Service>& list = services();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (!emu::equalNoCase(it->name, name)) continue;
    if (it->markedForDeletion && it->state == SERVICE_STOPPED) {
      const std::u16string stored = it->name;
      list.erase(it);
      emu::saveConfig();
      emu::deleteServiceKey(stored);
    }
    return;
  }
}

void fillStatus(const emu::Service& s, SERVICE_STATUS* status) {
  *status = {};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = s.state;
  if (s.state != SERVICE_STOPPED && s.state != SERVICE_STOP_PENDING && s.state != SERVICE_START_PENDING &&
      s.acceptsStop)
    status->dwControlsAccepted = SERVICE_ACCEPT_STOP;
}

bool scObject(emu::HandleKind k) { return k == emu::HandleKind::ServiceManager || k == emu::HandleKind::Service; }

// The service behind a handle; null (last error set) for a bad handle or a
// service that is gone.
emu::Service* serviceOf(SC_HANDLE h, DWORD* access) {
  const emu::HandleObject* obj = emu::findHandle(h, emu::HandleKind::Service);
  emu::Service* s = obj ? findService(obj->service) : nullptr;
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
  const emu::Service* s = lpServiceName ? findService(lpServiceName) : nullptr;
  if (!s) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  if (s->openError) {
    SetLastError(s->openError);
    return nullptr;
  }
  return static_cast<SC_HANDLE>(emu::openHandle({emu::HandleKind::Service, 0, dwDesiredAccess, s->name}));
}

BOOL DeleteService(SC_HANDLE hService) {
  if (auto code = emu::injectedFailure("DeleteService")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  emu::Service* s = serviceOf(hService, &access);
  if (!s) return FALSE;
  if (!(access & DELETE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (s->deleteError) {
    SetLastError(s->deleteError);
    return FALSE;
  }
  if (s->markedForDeletion) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  emu::journal("DeleteService name=" + emu::quoted(emu::toUtf8(s->name)));
  s->markedForDeletion = true;
  emu::saveConfig();
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  if (auto code = emu::injectedFailure("ControlService")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  emu::Service* s = serviceOf(hService, &access);
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
  if (s->stopError) {
    SetLastError(s->stopError);
    return FALSE;
  }
  const DWORD state = s->state;
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
  if (!s->acceptsStop) {
    fillStatus(*s, lpServiceStatus);
    SetLastError(ERROR_INVALID_SERVICE_CONTROL);
    return FALSE;
  }
  s->state = s->stopsAtOnce ? SERVICE_STOPPED : SERVICE_STOP_PENDING;
  emu::journal("ControlService name=" + emu::quoted(emu::toUtf8(s->name)) + " control=" + std::to_string(dwControl) +
               " state=" + std::to_string(s->state));
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

void addServicesFromKeys() {
  const auto services = reg::findPath(reg::root(reg::Hive::Machine), {u"SYSTEM", u"CurrentControlSet", u"Services"});
  if (!services) return;
  std::vector<Service>& list = machine().saved.services;
  for (const auto& key : services->subkeys) {
    const auto has = [&](std::u16string_view name, std::initializer_list<win::DWORD> types) {
      const reg::Value* v = reg::findValue(*key, name);
      return v && std::find(types.begin(), types.end(), v->type) != types.end();
    };
    if (!has(u"Type", {win::REG_DWORD}) || !has(u"Start", {win::REG_DWORD}) ||
        !has(u"ImagePath", {win::REG_SZ, win::REG_EXPAND_SZ}))
      continue;
    const bool listed =
        std::any_of(list.begin(), list.end(), [&](const Service& s) { return equalNoCase(s.name, key->name); });
    if (listed) continue;
    Service s;
    s.name = key->name;
    s.state = win::SERVICE_STOPPED;
    s.fromKey = true;
    s.source = static_cast<std::size_t>(-1);  // no element of [[service]]
    list.push_back(std::move(s));
  }
}

bool removeServicesMarkedForDeletion() {
  std::vector<Service>& services = machine().saved.services;
  std::vector<std::u16string> deleted;
  for (auto it = services.begin(); it != services.end();) {
    if (it->markedForDeletion) {
      deleted.push_back(it->name);
      it = services.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& name : deleted) deleteServiceKey(name);
  return !deleted.empty();
}

namespace {
// A newly chosen image's services' keys are services, once its registry is read.
const ImageReader readServices(kReadServicesStage, addServicesFromKeys);
}  // namespace

}  // namespace emu
