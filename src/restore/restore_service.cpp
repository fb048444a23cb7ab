// Putting a removed service back: CreateServiceW with the configuration the
// service manager reported before the deletion, never over a service or key
// of the same name, and then the rest of the service's key tree.
#include "restore/restore_service.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "restore/QuorelRestore.h"
#include "system/scanner.h"
#include "system/text.h"

namespace {

constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services\\";

std::u16string serviceKeyPath(const RestoreItem& item) { return kServicesKey + item.place; }

bool hasValue(const RegBlock& block, std::u16string_view name) {
  return std::any_of(block.values.begin(), block.values.end(),
                     [&](const RegValue& v) { return equalNoCase(v.name, name); });
}

// The dependency list as CreateServiceW takes it: each name and its
// terminator, and a terminator after the last; none for no dependency.
std::u16string dependencyList(const ServiceConfig& config) {
  std::u16string list;
  for (const std::u16string& d : config.dependencies) {
    list += d;
    list.push_back(u'\0');
  }
  list.push_back(u'\0');
  return list;
}

// The service's own key: the recorded values set, and the values the
// service manager wrote that the record does not hold deleted.
win::LONG putBackServiceKey(const RegBlock& recorded) {
  win::LONG rc = setValues(recorded);
  if (rc != win::ERROR_SUCCESS) return rc;
  win::ScopedKey key;
  rc = win::RegOpenKeyExW(recorded.root, recorded.subKey.c_str(), 0, win::KEY_QUERY_VALUE | win::KEY_SET_VALUE,
                          key.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  std::vector<RegValue> now;
  rc = getValues(key.get(), now);
  if (rc != win::ERROR_SUCCESS) return rc;
  for (const RegValue& v : now) {
    if (hasValue(recorded, v.name)) continue;
    rc = win::RegDeleteValueW(key.get(), v.name.c_str());
    if (rc != win::ERROR_SUCCESS) return rc;
  }
  return win::ERROR_SUCCESS;
}

}  // namespace

ServicePlace servicePlace(const RestoreItem& item) {
  win::ScopedServiceHandle manager(
      win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW, win::SC_MANAGER_CONNECT));
  if (!manager) return SERVICE_PLACE_FREE;
  win::ScopedServiceHandle service(win::OpenServiceW(manager.get(), item.place.c_str(), win::SERVICE_QUERY_CONFIG));
  if (!service) {
    const win::DWORD error = win::GetLastError();
    if (error == win::ERROR_SERVICE_MARKED_FOR_DELETE) return SERVICE_PLACE_MARKED;
    if (error != win::ERROR_SERVICE_DOES_NOT_EXIST) return SERVICE_PLACE_TAKEN;
    // No service, but a key of its name (made since, or left by hand) is
    // not overwritten either.
    win::ScopedKey key;
    const win::LONG rc =
        win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, serviceKeyPath(item).c_str(), 0, win::KEY_READ, key.receive());
    return rc == static_cast<win::LONG>(win::ERROR_FILE_NOT_FOUND) ? SERVICE_PLACE_FREE : SERVICE_PLACE_TAKEN;
  }
  ServiceConfig now;
  const win::DWORD rc = readServiceConfig(service.get(), now);
  if (rc == win::ERROR_SERVICE_MARKED_FOR_DELETE) return SERVICE_PLACE_MARKED;
  ServiceConfig marked = item.service;
  marked.start = win::SERVICE_DISABLED;
  return rc == 0 && now == marked ? SERVICE_PLACE_MARKED : SERVICE_PLACE_TAKEN;
}

int restoreService(const RestoreItem& item) {
  win::ScopedServiceHandle manager(win::OpenSCManagerW(nullptr, win::SERVICES_ACTIVE_DATABASEW,
                                                       win::SC_MANAGER_CONNECT | win::SC_MANAGER_CREATE_SERVICE));
  if (!manager) return static_cast<int>(win::GetLastError());
  const ServiceConfig& c = item.service;
  const RegBlock* key = item.blocks.empty() ? nullptr : &item.blocks.front();
  // What the service manager answered by default is not handed back to it
  // as given: a display name the key did not hold, no group, no account
  // name (a driver's default object name).
  const bool display = !key || hasValue(*key, u"DisplayName");
  const std::u16string dependencies = dependencyList(c);
  win::ScopedServiceHandle service(win::CreateServiceW(
      manager.get(), item.place.c_str(), display ? c.displayName.c_str() : nullptr, win::SERVICE_QUERY_STATUS,
      c.type, c.start, c.errorControl, c.binaryPath.c_str(),
      c.loadOrderGroup.empty() ? nullptr : c.loadOrderGroup.c_str(), nullptr,
      c.dependencies.empty() ? nullptr : dependencies.c_str(), c.startName.empty() ? nullptr : c.startName.c_str(),
      nullptr));
  if (!service) return static_cast<int>(win::GetLastError());
  if (!key) return 0;
  win::LONG rc = putBackServiceKey(*key);
  for (std::size_t i = 1; i < item.blocks.size() && rc == win::ERROR_SUCCESS; ++i) rc = setValues(item.blocks[i]);
  return rc;
}
