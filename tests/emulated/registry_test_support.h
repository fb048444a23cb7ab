// Shared pieces of the emulated registry's tests: an image fixture, byte
// builders and a dump of the whole registry through the seam.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "support/machine_image.h"

namespace regtest {

using Bytes = std::vector<win::BYTE>;

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

inline Bytes utf16(std::u16string_view s, bool terminator = true) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<win::BYTE>(c & 0xFF));
    out.push_back(static_cast<win::BYTE>(c >> 8));
  }
  if (terminator) out.insert(out.end(), {0, 0});
  return out;
}

// registry.reg bytes as regedit writes them (UTF-16LE with its mark), or UTF-8.
inline std::string utf16File(std::string_view body) {
  return "\xFF\xFE" + qftest::toUtf16le(std::string(kHeader) + std::string(body));
}
inline std::string utf8File(std::string_view body, bool bom = false) {
  return (bom ? "\xEF\xBB\xBF" : "") + std::string(kHeader) + std::string(body);
}

class RegistryTest : public ::testing::Test {
 protected:
  qftest::MachineImage image{"registry"};

  void load(std::string_view regBody, std::string_view toml = "[environment]\n") {
    image.config(toml);
    image.registry(regBody);
    emu::useImage(image.root());
  }
  void loadRaw(std::string_view fileBytes, std::string_view toml = "[environment]\n") {
    image.config(toml);
    std::ofstream f(image.root() / "registry.reg", std::ios::binary | std::ios::trunc);
    f.write(fileBytes.data(), static_cast<std::streamsize>(fileBytes.size()));
    f.close();
    emu::useImage(image.root());
  }
  // Re-reads the same image folder, as a new process would.
  void reload() { emu::useImage(image.root()); }
  std::string fileBytes() const { return qftest::slurp(image.root() / "registry.reg"); }
};

// RAII for a key opened in a test.
struct Key {
  win::HKEY h = nullptr;
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (h) (void)win::RegCloseKey(h);
  }
};

inline win::LONG open(win::HKEY root, std::u16string_view path, win::REGSAM sam, Key& key) {
  return win::RegOpenKeyExW(root, std::u16string(path).c_str(), 0, sam, &key.h);
}

// Whether the key opens for reading.
inline bool exists(win::HKEY root, std::u16string_view path) {
  Key key;
  return open(root, path, win::KEY_READ, key) == 0;
}

struct Data {
  win::LONG rc = -1;
  win::DWORD type = 0xDEAD;
  Bytes bytes;
};

// Reads a value below a root: the open's code when that fails, else the query's.
inline Data query(win::HKEY root, std::u16string_view path, std::u16string_view name) {
  Data out;
  Key key;
  out.rc = open(root, path, win::KEY_QUERY_VALUE, key);
  if (out.rc != 0) return out;
  win::DWORD size = 0;
  const std::u16string n(name);
  out.rc = win::RegQueryValueExW(key.h, n.c_str(), nullptr, &out.type, nullptr, &size);
  if (out.rc != 0) return out;
  out.bytes.resize(size);
  out.rc = win::RegQueryValueExW(key.h, n.c_str(), nullptr, &out.type, out.bytes.data(), &size);
  return out;
}

inline std::string hex(const Bytes& b) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (auto c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

// Every key and value below a key, one line each, in enumeration order.
inline void dumpKey(win::HKEY key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  for (win::DWORD i = 0;; ++i) {
    char16_t name[512];
    win::DWORD cch = 512, type = 0, size = 0;
    if (win::RegEnumValueW(key, i, name, &cch, nullptr, &type, nullptr, &size) != 0) break;
    Bytes data(size);
    win::DWORD cch2 = 512;
    (void)win::RegEnumValueW(key, i, name, &cch2, nullptr, &type, data.data(), &size);
    out += "  " + emu::toUtf8(std::u16string_view(name, cch)) + " " + std::to_string(type) + " " + hex(data) + "\n";
  }
  for (win::DWORD i = 0;; ++i) {
    char16_t name[512];
    win::DWORD cch = 512;
    if (win::RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0) break;
    Key sub;
    if (win::RegOpenKeyExW(key, name, 0, win::KEY_READ, &sub.h) != 0) continue;
    dumpKey(sub.h, path + "\\" + emu::toUtf8(std::u16string_view(name, cch)), out);
  }
}

inline std::string dumpAll() {
  std::string out;
  dumpKey(win::HKEY_LOCAL_MACHINE, "HKLM", out);
  dumpKey(win::HKEY_CURRENT_USER, "HKCU", out);
  return out;
}

}  // namespace regtest
