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
//
// A service's configuration is its key: QueryServiceConfigW and
// QueryServiceConfig2W read the key's values as they are at the call (a value
// the key lacks answers as the service manager's default), CreateServiceW
// writes them, and DeleteService sets Start to SERVICE_DISABLED there, as the
// service manager changes the start of a service it marks for deletion.
// Windows reads the keys once at start and keeps its database in memory; a
// key changed behind the service manager's back shows here at once.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/emulated/machine/handles.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/kernel/services.h"
#include "platform/emulated/registry/reg_file.h"
#include "platform/emulated/registry/state.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

std::vector<emu::Service>& services() { return emu::machine().saved.services; }

// ---------------------------------------------------------------- the service's key
const emu::reg::Path kServicesPath = {u"SYSTEM", u"CurrentControlSet", u"Services"};

std::shared_ptr<emu::reg::Key> serviceKey(std::u16string_view name) {
  emu::reg::Path path = kServicesPath;
  path.emplace_back(name);
  return emu::reg::findPath(emu::reg::root(emu::reg::Hive::Machine), path);
}

// A REG_DWORD of the key, or the default.
DWORD dwordOf(emu::reg::Key* key, std::u16string_view name, DWORD fallback) {
  const emu::reg::Value* v = key ? emu::reg::findValue(*key, name) : nullptr;
  if (!v || v->type != REG_DWORD || v->data.size() != 4) return fallback;
  return static_cast<DWORD>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) | (static_cast<DWORD>(v->data[3]) << 24));
}

// The strings of a REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value: each up to
// its terminator, the list up to an empty string; none for a missing value
// or another type.
std::vector<std::u16string> stringsOf(emu::reg::Key* key, std::u16string_view name) {
  const emu::reg::Value* v = key ? emu::reg::findValue(*key, name) : nullptr;
  std::vector<std::u16string> out;
  if (!v || (v->type != REG_SZ && v->type != REG_EXPAND_SZ && v->type != REG_MULTI_SZ)) return out;
  std::u16string current;
  for (std::size_t i = 0; i + 1 < v->data.size(); i += 2) {
    const auto c = static_cast<char16_t>(v->data[i] | (v->data[i + 1] << 8));
    if (c != 0) {
      current.push_back(c);
      continue;
    }
    if (current.empty()) break;
    out.push_back(current);
    current.clear();
    if (v->type != REG_MULTI_SZ) return out;
  }
  if (!current.empty()) out.push_back(current);
  if (v->type != REG_MULTI_SZ && out.empty()) out.emplace_back();
  return out;
}

std::u16string textOf(emu::reg::Key* key, std::u16string_view name, std::u16string_view fallback) {
  std::vector<std::u16string> all = stringsOf(key, name);
  return all.empty() ? std::u16string(fallback) : all.front();
}

bool isDriver(DWORD type) { return (type & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0; }

// The configuration as QueryServiceConfigW gives it.
struct Config {
  DWORD type, start, errorControl, tag;
  std::u16string binaryPath, group, startName, displayName;
  std::vector<std::u16string> dependencies;  // services, then groups with their '+'
};

Config configOf(const emu::Service& s) {
  const std::shared_ptr<emu::reg::Key> key = serviceKey(s.name);
  Config c;
  c.type = dwordOf(key.get(), u"Type", SERVICE_WIN32_OWN_PROCESS);
  c.start = dwordOf(key.get(), u"Start", SERVICE_DEMAND_START);
  c.errorControl = dwordOf(key.get(), u"ErrorControl", SERVICE_ERROR_NORMAL);
  c.tag = dwordOf(key.get(), u"Tag", 0);
  c.binaryPath = textOf(key.get(), u"ImagePath", u"");
  c.group = textOf(key.get(), u"Group", u"");
  c.startName = textOf(key.get(), u"ObjectName", isDriver(c.type) ? u"" : u"LocalSystem");
  c.displayName = textOf(key.get(), u"DisplayName", s.name);
  if (c.displayName.empty()) c.displayName = s.name;
  c.dependencies = stringsOf(key.get(), u"DependOnService");
  for (const std::u16string& group : stringsOf(key.get(), u"DependOnGroup"))
    c.dependencies.push_back(SC_GROUP_IDENTIFIERW + group);
  return c;
}

// A string's bytes with its terminator.
std::vector<BYTE> textBytes(std::u16string_view text) {
  std::vector<BYTE> out;
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  out.insert(out.end(), 2, 0);
  return out;
}

std::vector<BYTE> listBytes(const std::vector<std::u16string>& items) {
  std::vector<BYTE> out;
  for (const std::u16string& item : items) {
    std::vector<BYTE> one = textBytes(item);
    out.insert(out.end(), one.begin(), one.end());
  }
  out.insert(out.end(), 2, 0);
  return out;
}

std::vector<BYTE> dwordBytes(DWORD n) {
  return {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16), static_cast<BYTE>(n >> 24)};
}

// The service manager writes its own key: no injected registry fault, no
// call of the seam, but the change recorded in registry.reg like any other.
void writeValues(emu::reg::Key& key, const std::vector<emu::reg::Value>& values) {
  std::u16string block = emu::reg::keyBlock(key);
  for (const emu::reg::Value& v : values)
    block += emu::reg::valueLine(emu::reg::setValue(key, v.name, v.type, v.data), emu::reg::fileEncoding());
  emu::reg::record(block);
}

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
  if (const std::shared_ptr<emu::reg::Key> key = serviceKey(s->name))
    writeValues(*key, {{u"Start", REG_DWORD, dwordBytes(SERVICE_DISABLED)}});
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

namespace {

bool validName(std::u16string_view name) {
  return !name.empty() && name.size() <= 256 && name.find_first_of(u"\\/") == std::u16string_view::npos;
}

// The service types CreateServiceW takes: one driver or one Win32 type, the
// Win32 ones also interactive (only under LocalSystem).
bool validType(DWORD type, LPCWSTR startName) {
  const DWORD base = type & ~SERVICE_INTERACTIVE_PROCESS;
  if (base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER) return base == type;
  if (base != SERVICE_WIN32_OWN_PROCESS && base != SERVICE_WIN32_SHARE_PROCESS) return false;
  return !(type & SERVICE_INTERACTIVE_PROCESS) || !startName || emu::equalNoCase(startName, u"LocalSystem");
}

// The list of a double-zero-terminated argument.
std::vector<std::u16string> listOf(LPCWSTR list) {
  std::vector<std::u16string> out;
  for (LPCWSTR p = list; p && *p; p += std::char_traits<char16_t>::length(p) + 1) out.emplace_back(p);
  return out;
}

// Another service whose name or display name is `display`.
bool displayNameTaken(std::u16string_view display) {
  for (const emu::Service& other : services())
    if (emu::equalNoCase(other.name, display) || emu::equalNoCase(configOf(other).displayName, display)) return true;
  return false;
}

DWORD nextTag(std::u16string_view group) {
  DWORD highest = 0;
  for (const emu::Service& other : services()) {
    const Config c = configOf(other);
    if (emu::equalNoCase(c.group, group)) highest = std::max(highest, c.tag);
  }
  return highest + 1;
}

// Appends a string after the structure of a query's answer and points at it.
LPWSTR putString(BYTE* base, std::size_t& at, std::u16string_view text, bool list = false) {
  const auto start = reinterpret_cast<LPWSTR>(base + at);
  std::memcpy(base + at, text.data(), text.size() * sizeof(char16_t));
  at += text.size() * sizeof(char16_t);
  std::memset(base + at, 0, list ? 4 : 2);
  at += list ? 4 : 2;
  return start;
}

}  // namespace

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                         DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                         LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                         LPCWSTR lpServiceStartName, LPCWSTR /*lpPassword*/) {
  if (auto code = emu::injectedFailure("CreateServiceW")) return emu::failedWith<SC_HANDLE>(*code, nullptr);
  const emu::HandleObject* manager = emu::findHandle(hSCManager, emu::HandleKind::ServiceManager);
  if (!manager) return emu::failedWith<SC_HANDLE>(ERROR_INVALID_HANDLE, nullptr);
  // The checks in the order Wine's conformance tests show them on Windows.
  if (!lpServiceName || !lpBinaryPathName) return emu::failedWith<SC_HANDLE>(ERROR_INVALID_ADDRESS, nullptr);
  if (!(manager->access & SC_MANAGER_CREATE_SERVICE)) return emu::failedWith<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  if (!validName(lpServiceName)) return emu::failedWith<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  const bool driver = isDriver(dwServiceType);
  const std::u16string group = lpLoadOrderGroup ? lpLoadOrderGroup : u"";
  if (!*lpBinaryPathName || !validType(dwServiceType, lpServiceStartName) || dwStartType > SERVICE_DISABLED ||
      (!driver && dwStartType < SERVICE_AUTO_START) || dwErrorControl > SERVICE_ERROR_CRITICAL ||
      (lpdwTagId && group.empty()))
    return emu::failedWith<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  if (const emu::Service* there = findService(lpServiceName))
    return emu::failedWith<SC_HANDLE>(there->markedForDeletion ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
                                      nullptr);
  if (lpDisplayName && *lpDisplayName && !emu::equalNoCase(lpDisplayName, lpServiceName) &&
      displayNameTaken(lpDisplayName))
    return emu::failedWith<SC_HANDLE>(ERROR_DUPLICATE_SERVICE_NAME, nullptr);

  // The key, with the values Windows documents for a service.
  std::vector<emu::reg::Value> values = {
      {u"Type", REG_DWORD, dwordBytes(dwServiceType)},
      {u"Start", REG_DWORD, dwordBytes(dwStartType)},
      {u"ErrorControl", REG_DWORD, dwordBytes(dwErrorControl)},
      {u"ImagePath", REG_EXPAND_SZ, textBytes(lpBinaryPathName)},
  };
  if (!group.empty()) values.push_back({u"Group", REG_SZ, textBytes(group)});
  DWORD tag = 0;
  if (lpdwTagId) {
    tag = nextTag(group);
    values.push_back({u"Tag", REG_DWORD, dwordBytes(tag)});
  }
  std::vector<std::u16string> onServices, onGroups;
  for (const std::u16string& d : listOf(lpDependencies)) {
    if (d[0] == SC_GROUP_IDENTIFIERW)
      onGroups.push_back(d.substr(1));
    else
      onServices.push_back(d);
  }
  if (!onServices.empty()) values.push_back({u"DependOnService", REG_MULTI_SZ, listBytes(onServices)});
  if (!onGroups.empty()) values.push_back({u"DependOnGroup", REG_MULTI_SZ, listBytes(onGroups)});
  const std::u16string startName = lpServiceStartName ? lpServiceStartName : u"";
  if (!driver || !startName.empty())
    values.push_back({u"ObjectName", REG_SZ, textBytes(startName.empty() ? u"LocalSystem" : startName)});
  if (lpDisplayName && *lpDisplayName) values.push_back({u"DisplayName", REG_SZ, textBytes(lpDisplayName)});
  emu::reg::Path path = kServicesPath;
  path.emplace_back(lpServiceName);
  bool created = false;
  const std::shared_ptr<emu::reg::Key> key =
      emu::reg::createPath(emu::reg::root(emu::reg::Hive::Machine), path, &created);
  writeValues(*key, values);

  emu::Service s;
  s.name = lpServiceName;
  s.state = SERVICE_STOPPED;
  s.fromKey = true;
  s.source = static_cast<std::size_t>(-1);  // no element of [[service]]
  services().push_back(s);
  emu::journal("CreateService name=" + emu::quoted(emu::toUtf8(s.name)));
  emu::saveConfig();
  if (lpdwTagId) *lpdwTagId = tag;
  return static_cast<SC_HANDLE>(emu::openHandle({emu::HandleKind::Service, 0, dwDesiredAccess, s.name}));
}

BOOL QueryServiceConfigW(SC_HANDLE hService, QUERY_SERVICE_CONFIGW* lpServiceConfig, DWORD cbBufSize,
                         DWORD* pcbBytesNeeded) {
  if (auto code = emu::injectedFailure("QueryServiceConfigW")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  const emu::Service* s = serviceOf(hService, &access);
  if (!s) return FALSE;
  if (!(access & SERVICE_QUERY_CONFIG)) return emu::failedWith<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  if (!pcbBytesNeeded || (!lpServiceConfig && cbBufSize > 0)) return emu::failedWith<BOOL>(ERROR_INVALID_ADDRESS, FALSE);
  const Config c = configOf(*s);
  std::size_t dependencies = 0;
  for (const std::u16string& d : c.dependencies) dependencies += d.size() + 1;
  const std::size_t needed =
      sizeof(QUERY_SERVICE_CONFIGW) +
      sizeof(char16_t) * (c.binaryPath.size() + c.group.size() + c.startName.size() + c.displayName.size() + 4 +
                          dependencies + (c.dependencies.empty() ? 2 : 1));
  if (!lpServiceConfig || cbBufSize < needed) {
    *pcbBytesNeeded = static_cast<DWORD>(needed);
    return emu::failedWith<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  auto* base = reinterpret_cast<BYTE*>(lpServiceConfig);
  QUERY_SERVICE_CONFIGW answer{};
  answer.dwServiceType = c.type;
  answer.dwStartType = c.start;
  answer.dwErrorControl = c.errorControl;
  answer.dwTagId = c.tag;
  std::size_t at = sizeof(QUERY_SERVICE_CONFIGW);
  answer.lpBinaryPathName = putString(base, at, c.binaryPath);
  answer.lpLoadOrderGroup = putString(base, at, c.group);
  answer.lpDependencies = reinterpret_cast<LPWSTR>(base + at);
  if (c.dependencies.empty()) putString(base, at, u"", true);
  for (std::size_t i = 0; i < c.dependencies.size(); ++i)
    putString(base, at, c.dependencies[i], i + 1 == c.dependencies.size());
  answer.lpServiceStartName = putString(base, at, c.startName);
  answer.lpDisplayName = putString(base, at, c.displayName);
  std::memcpy(base, &answer, sizeof answer);
  return TRUE;
}

BOOL QueryServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, BYTE* lpBuffer, DWORD cbBufSize,
                          DWORD* pcbBytesNeeded) {
  if (auto code = emu::injectedFailure("QueryServiceConfig2W")) return emu::failedWith<BOOL>(*code, FALSE);
  DWORD access = 0;
  const emu::Service* s = serviceOf(hService, &access);
  if (!s) return FALSE;
  if (!(access & SERVICE_QUERY_CONFIG)) return emu::failedWith<BOOL>(ERROR_ACCESS_DENIED, FALSE);
  // The machine keeps the description only; the failure actions (and the
  // levels Vista added) are not modelled.
  if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION) return emu::failedWith<BOOL>(ERROR_INVALID_LEVEL, FALSE);
  if (!pcbBytesNeeded || (!lpBuffer && cbBufSize > 0)) return emu::failedWith<BOOL>(ERROR_INVALID_ADDRESS, FALSE);
  const std::shared_ptr<emu::reg::Key> key = serviceKey(s->name);
  // An empty description is none.
  const std::u16string description = textOf(key.get(), u"Description", u"");
  const std::size_t needed =
      sizeof(SERVICE_DESCRIPTIONW) + (description.empty() ? 0 : sizeof(char16_t) * (description.size() + 1));
  if (!lpBuffer || cbBufSize < needed) {
    *pcbBytesNeeded = static_cast<DWORD>(needed);
    return emu::failedWith<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  SERVICE_DESCRIPTIONW answer{};
  std::size_t at = sizeof(SERVICE_DESCRIPTIONW);
  if (!description.empty()) answer.lpDescription = putString(lpBuffer, at, description);
  std::memcpy(lpBuffer, &answer, sizeof answer);
  *pcbBytesNeeded = static_cast<DWORD>(needed);
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
