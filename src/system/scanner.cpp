// Registry, directory and process queries. Each returns fresh values owned
// by the caller, and reports failure only as an empty (none) result.
#include "system/scanner.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "system/text.h"

namespace {

// Key and value names never exceed 16383 characters; a buffer this large
// holds any name, so a walk that keeps answering ERROR_MORE_DATA past it is
// treated as ended.
constexpr win::DWORD kLongestRegistryName = 16384;

// The text of a zero-filled buffer up to its first terminator.
std::u16string terminatedText(const std::vector<char16_t>& buffer) {
  return std::u16string(untilTerminator({buffer.data(), buffer.size()}));
}

// Walks the entries of an open key with `enumerate` (one RegEnum*W call for
// index i into a name buffer of the given capacity and, for a walk with
// data, a data buffer of the given size), starting with room for the longest
// name (and data) that RegQueryInfoKeyW reported. An entry that outgrew that
// room while the walk ran gets a larger buffer and is read again; a name
// that keeps answering ERROR_MORE_DATA past the longest possible one is
// passed over. ERROR_NO_MORE_ITEMS ends the walk with 0; any other answer
// (a key deleted under the walk) ends it with that code.
template <typename Enumerate>
win::LONG walkEntries(win::DWORD longestName, std::vector<std::uint8_t>* data, Enumerate enumerate) {
  std::vector<char16_t> name(longestName + 1, u'\0');
  for (win::DWORD index = 0;;) {
    win::DWORD capacity = static_cast<win::DWORD>(name.size());
    win::DWORD dataSize = data ? static_cast<win::DWORD>(data->size()) : 0;
    win::LONG rc = enumerate(index, name.data(), &capacity, data ? data->data() : nullptr, &dataSize);
    if (rc == static_cast<win::LONG>(win::ERROR_MORE_DATA)) {
      const bool grown = data != nullptr || name.size() < kLongestRegistryName;
      if (name.size() < kLongestRegistryName) name.assign(kLongestRegistryName, u'\0');
      if (data) data->assign(std::max<std::size_t>(data->size() * 2, std::size_t{dataSize} + 2), 0);
      if (!grown) ++index;
      continue;
    }
    if (rc == static_cast<win::LONG>(win::ERROR_NO_MORE_ITEMS)) return win::ERROR_SUCCESS;
    if (rc != win::ERROR_SUCCESS) return rc;
    ++index;
  }
}

}  // namespace

std::optional<std::u16string> getRegSZValue(win::HKEY root, const char16_t* subKey, const char16_t* valueName) {
  win::ScopedKey key;
  if (win::RegOpenKeyExW(root, subKey, 0, win::KEY_READ, key.receive()) != win::ERROR_SUCCESS) return std::nullopt;
  win::DWORD size = 0;
  if (win::RegQueryValueExW(key.get(), valueName, nullptr, nullptr, nullptr, &size) != win::ERROR_SUCCESS) {
    return std::nullopt;
  }
  // Room for (size + 1) characters, zero-filled: twice what the data needs, so
  // data stored without its terminator still comes back terminated.
  std::vector<char16_t> buffer(static_cast<std::size_t>(size) + 1, u'\0');
  win::DWORD capacity = size + 1;
  if (win::RegQueryValueExW(key.get(), valueName, nullptr, nullptr, reinterpret_cast<win::BYTE*>(buffer.data()),
                            &capacity) != win::ERROR_SUCCESS) {
    return std::nullopt;
  }
  return terminatedText(buffer);
}

StringList getSubkeys(win::HKEY key) {
  win::DWORD longest = 0;
  if (win::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) != win::ERROR_SUCCESS) {
    return {};
  }
  StringList names;
  (void)walkEntries(longest, nullptr, [&](win::DWORD index, char16_t* name, win::DWORD* capacity, std::uint8_t*,
                                         win::DWORD*) {
    win::LONG rc = win::RegEnumKeyExW(key, index, name, capacity, nullptr, nullptr, nullptr, nullptr);
    if (rc == win::ERROR_SUCCESS && name[0] != u'\0') addString(names, name);
    return rc;
  });
  return names;
}

StringList getSZValues(win::HKEY key) {
  win::DWORD longest = 0;
  if (win::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                            nullptr, nullptr) != win::ERROR_SUCCESS) {
    return {};
  }
  StringList names;
  (void)walkEntries(longest, nullptr, [&](win::DWORD index, char16_t* name, win::DWORD* capacity, std::uint8_t*,
                                         win::DWORD*) {
    win::DWORD type = win::REG_NONE;
    win::LONG rc = win::RegEnumValueW(key, index, name, capacity, nullptr, &type, nullptr, nullptr);
    bool isString = type == win::REG_SZ || type == win::REG_EXPAND_SZ || type == win::REG_MULTI_SZ;
    if (rc == win::ERROR_SUCCESS && isString && name[0] != u'\0') addString(names, name);
    return rc;
  });
  return names;
}

win::LONG getValues(win::HKEY key, std::vector<RegValue>& values) {
  win::DWORD longestName = 0, longestData = 0;
  win::LONG rc = win::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       &longestName, &longestData, nullptr, nullptr);
  if (rc != win::ERROR_SUCCESS) return rc;
  std::vector<std::uint8_t> data(longestData + 2, 0);
  return walkEntries(longestName, &data, [&](win::DWORD index, char16_t* name, win::DWORD* capacity,
                                             std::uint8_t* bytes, win::DWORD* size) {
    win::DWORD type = 0;
    win::LONG got = win::RegEnumValueW(key, index, name, capacity, nullptr, &type, bytes, size);
    if (got == win::ERROR_SUCCESS)
      values.push_back(RegValue{std::u16string(name, *capacity), type, std::vector<std::uint8_t>(bytes, bytes + *size)});
    return got;
  });
}

std::u16string_view foundName(const win::WIN32_FIND_DATAW& entry) {
  return untilTerminator({entry.cFileName, std::size(entry.cFileName)});
}

StringList listFolder(std::u16string_view folder, std::u16string_view pattern, int folders, int fullPaths) {
  // The folder is used as given: one that ends in a backslash yields "\\*",
  // which the directory search accepts.
  std::u16string query(folder);
  query += u'\\';
  query += pattern;
  win::WIN32_FIND_DATAW entry{};
  win::ScopedFind search(win::FindFirstFileW(query.c_str(), &entry));
  if (!search) return {};  // nothing matches, or no such folder
  StringList found;
  do {
    const std::u16string_view name = foundName(entry);
    const bool isFolder = (entry.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((folders != LIST_BOTH && isFolder != (folders != 0)) || name == u"." || name == u"..") continue;
    if (fullPaths)
      addString(found, std::u16string(folder) + u'\\' + std::u16string(name));
    else
      addString(found, name);
  } while (win::FindNextFileW(search.get(), &entry));
  return found;
}

StringList getFiles(std::u16string_view folder, int folders) { return listFolder(folder, u"*", folders ? 1 : 0, 0); }

win::ScopedHandle getProcHandle(std::u16string_view imageName) {
  // The enumeration fills at most the buffer it is given; a full buffer may
  // mean that identifiers were left out, so it is grown until one slot stays
  // spare. A failing enumeration finds no process.
  std::vector<win::DWORD> ids(64, 0);
  win::DWORD bytes = 0;
  for (;;) {
    auto capacity = static_cast<win::DWORD>(ids.size() * sizeof(win::DWORD));
    if (!win::EnumProcesses(ids.data(), capacity, &bytes)) return {};
    if (bytes < capacity) break;
    ids.assign(ids.size() * 2, 0);
  }
  std::vector<char16_t> path(win::MAX_PATH + 1, u'\0');
  // Last to first: when several processes match, the one listed last wins.
  for (std::size_t i = bytes / sizeof(win::DWORD); i-- > 0;) {
    win::ScopedHandle process(win::OpenProcess(
        win::PROCESS_TERMINATE | win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION | win::SYNCHRONIZE,
        win::FALSE, ids[i]));
    if (!process) continue;
    win::DWORD length = win::GetModuleFileNameExW(process.get(), nullptr, path.data(), win::MAX_PATH);
    if (length == 0 || path[0] == u'\0') continue;
    std::u16string_view full(path.data(), length < win::MAX_PATH ? length : win::MAX_PATH);
    std::size_t slash = full.rfind(u'\\');
    std::u16string_view fileName = slash == std::u16string_view::npos ? full : full.substr(slash + 1);
    if (equalNoCase(fileName, imageName)) return process;
  }
  return {};
}

std::u16string expand(std::u16string_view text) {
  // "none" (an empty view) and the empty text both expand to nothing.
  std::u16string source(text);
  if (source.empty()) return {};
  win::DWORD needed = win::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (needed == 0) return source;  // nothing could be expanded: the text as given
  std::vector<char16_t> buffer(static_cast<std::size_t>(needed) + 1, u'\0');
  win::DWORD written =
      win::ExpandEnvironmentStringsW(source.c_str(), buffer.data(), static_cast<win::DWORD>(buffer.size()));
  if (written == 0 || written > buffer.size()) return source;
  return std::u16string(untilTerminator({buffer.data(), buffer.size()}));
}

// ---------------------------------------------------------------- services

bool operator==(const ServiceConfig& a, const ServiceConfig& b) {
  return a.type == b.type && a.start == b.start && a.errorControl == b.errorControl &&
         a.binaryPath == b.binaryPath && a.loadOrderGroup == b.loadOrderGroup && a.tagId == b.tagId &&
         a.dependencies == b.dependencies && a.startName == b.startName && a.displayName == b.displayName &&
         a.hasDescription == b.hasDescription && a.description == b.description;
}

namespace {

// The answer of a query that reports the size it needs: asked for the size
// first, then with a buffer of it; a size that grows between the two calls
// is asked again, a few times at most.
template <typename Query>
win::DWORD sizedQuery(std::vector<std::uint64_t>& buffer, Query query) {
  win::DWORD needed = 0;
  if (query(nullptr, 0, &needed)) return win::ERROR_SUCCESS;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const win::DWORD error = win::GetLastError();
    if (error != win::ERROR_INSUFFICIENT_BUFFER || needed == 0) return error ? error : win::ERROR_INVALID_FUNCTION;
    // Whole 8-byte units: the answer's structure is aligned as Windows lays it out.
    buffer.assign((needed + 7) / 8, 0);
    const win::DWORD size = static_cast<win::DWORD>(buffer.size() * 8);
    if (query(reinterpret_cast<win::BYTE*>(buffer.data()), size, &needed)) return win::ERROR_SUCCESS;
  }
  return win::ERROR_INSUFFICIENT_BUFFER;
}

std::u16string textAt(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

win::DWORD readServiceConfig(win::SC_HANDLE service, ServiceConfig& config) {
  std::vector<std::uint64_t> buffer;
  win::DWORD rc = sizedQuery(buffer, [&](win::BYTE* data, win::DWORD size, win::DWORD* needed) {
    return win::QueryServiceConfigW(service, reinterpret_cast<win::QUERY_SERVICE_CONFIGW*>(data), size, needed);
  });
  if (rc != win::ERROR_SUCCESS) return rc;
  ServiceConfig read;
  const auto* answer = reinterpret_cast<const win::QUERY_SERVICE_CONFIGW*>(buffer.data());
  read.type = answer->dwServiceType;
  read.start = answer->dwStartType;
  read.errorControl = answer->dwErrorControl;
  read.binaryPath = textAt(answer->lpBinaryPathName);
  read.loadOrderGroup = textAt(answer->lpLoadOrderGroup);
  read.tagId = answer->dwTagId;
  for (const char16_t* d = answer->lpDependencies; d && *d; d += std::char_traits<char16_t>::length(d) + 1)
    read.dependencies.emplace_back(d);
  read.startName = textAt(answer->lpServiceStartName);
  read.displayName = textAt(answer->lpDisplayName);

  std::vector<std::uint64_t> description;
  rc = sizedQuery(description, [&](win::BYTE* data, win::DWORD size, win::DWORD* needed) {
    return win::QueryServiceConfig2W(service, win::SERVICE_CONFIG_DESCRIPTION, data, size, needed);
  });
  if (rc != win::ERROR_SUCCESS) return rc;
  // A service without a description answers at the first call, with no room.
  const auto* text = description.empty() ? nullptr
                                         : reinterpret_cast<const win::SERVICE_DESCRIPTIONW*>(description.data());
  read.hasDescription = text && text->lpDescription && *text->lpDescription;
  if (read.hasDescription) read.description = text->lpDescription;
  config = read;
  return win::ERROR_SUCCESS;
}

win::DWORD readServiceConfig(win::SC_HANDLE manager, const char16_t* name, ServiceConfig& config) {
  win::ScopedServiceHandle service(win::OpenServiceW(manager, name, win::SERVICE_QUERY_CONFIG));
  if (!service) return win::GetLastError();
  return readServiceConfig(service.get(), config);
}
