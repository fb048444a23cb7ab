// Handles and their rights, HKEY_CLASSES_ROOT's composition, and the faults
// machine.toml injects into the emulated registry.
#include "registry_test_support.h"

namespace {

using namespace regtest;
using win::HKEY_CLASSES_ROOT;
using win::HKEY_CURRENT_USER;
using win::HKEY_LOCAL_MACHINE;

std::u16string sz(const Data& d) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < d.bytes.size(); i += 2) s.push_back(static_cast<char16_t>(d.bytes[i] | d.bytes[i + 1] << 8));
  if (!s.empty() && s.back() == 0) s.pop_back();
  return s;
}

// ---------------------------------------------------------------- rights
enum class Call { Query, EnumKey, EnumValue, Info, Set, DeleteValue };

win::LONG run(Call call, win::HKEY h) {
  char16_t name[64];
  win::DWORD cch = 64, size = 0, count = 0;
  const Bytes data = utf16(u"new");
  switch (call) {
    case Call::Query: return win::RegQueryValueExW(h, u"v", nullptr, nullptr, nullptr, &size);
    case Call::EnumKey: return win::RegEnumKeyExW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
    case Call::EnumValue: return win::RegEnumValueW(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr);
    case Call::Info:
      return win::RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
    case Call::Set: return win::RegSetValueExW(h, u"v", 0, win::REG_SZ, data.data(), 8);
    case Call::DeleteValue: return win::RegDeleteValueW(h, u"v");
  }
  return -1;
}

TEST_F(RegistryTest, HandleRightsAreEnforced) {
  struct Case {
    const char* what;
    win::REGSAM sam;
    Call call;
    win::LONG rc;
  };
  constexpr win::REGSAM kGenericRead = 0x80000000;
  constexpr win::REGSAM kMaximumAllowed = 0x02000000;
  const std::vector<Case> cases = {
      {"query with KEY_QUERY_VALUE", win::KEY_QUERY_VALUE, Call::Query, 0},
      {"query with KEY_SET_VALUE only", win::KEY_SET_VALUE, Call::Query, 5},
      {"query with GENERIC_READ (maps to KEY_READ)", kGenericRead, Call::Query, 0},
      {"enumerate subkeys with KEY_ENUMERATE_SUB_KEYS", win::KEY_ENUMERATE_SUB_KEYS, Call::EnumKey, 0},
      {"enumerate subkeys with KEY_QUERY_VALUE only", win::KEY_QUERY_VALUE, Call::EnumKey, 5},
      {"enumerate values with KEY_ENUMERATE_SUB_KEYS only", win::KEY_ENUMERATE_SUB_KEYS, Call::EnumValue, 5},
      {"enumerate values with KEY_READ", win::KEY_READ, Call::EnumValue, 0},
      {"key info with KEY_QUERY_VALUE", win::KEY_QUERY_VALUE, Call::Info, 0},
      {"key info with KEY_ENUMERATE_SUB_KEYS only", win::KEY_ENUMERATE_SUB_KEYS, Call::Info, 5},
      {"set with KEY_READ", win::KEY_READ, Call::Set, 5},
      {"set with KEY_WRITE", win::KEY_WRITE, Call::Set, 0},
      {"set with MAXIMUM_ALLOWED", kMaximumAllowed, Call::Set, 0},
      {"delete value with KEY_READ", win::KEY_READ, Call::DeleteValue, 5},
      {"delete value with DELETE | KEY_SET_VALUE", win::DELETE | win::KEY_SET_VALUE, Call::DeleteValue, 0},
      {"delete value with DELETE only", win::DELETE, Call::DeleteValue, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load("[HKLM\\Software\\R\\sub]\r\n[HKLM\\Software\\R]\r\n\"v\"=\"old\"\r\n");
    Key key;
    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\R", c.sam, key), 0);
    EXPECT_EQ(run(c.call, key.h), c.rc);
    // A refused change changes nothing, in memory or on reload.
    if (c.rc != 0) {
      reload();
      EXPECT_EQ(sz(query(HKEY_LOCAL_MACHINE, u"Software\\R", u"v")), u"old");
    }
  }
}

TEST_F(RegistryTest, Handles) {
  load("[HKLM\\Software\\H\\sub]\r\n\"v\"=\"1\"\r\n");
  const auto sentinel = reinterpret_cast<win::HKEY>(0x77);
  win::DWORD size = 0;
  struct Row {
    const char* what;
    win::LONG rc;
    win::LONG expected;
  };
  Key closed;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\H", win::KEY_READ, closed), 0);
  ASSERT_EQ(win::RegCloseKey(closed.h), 0);
  win::HKEY missing = sentinel, bad = sentinel, users = sentinel, same = sentinel, self = sentinel,
            trailing = sentinel, viaHandle = sentinel;
  Key parent;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"software\\h", win::KEY_READ, parent), 0);
  const std::vector<Row> rows = {
      {"closing a predefined root does nothing", win::RegCloseKey(HKEY_LOCAL_MACHINE), 0},
      {"the root still works afterwards", win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, win::KEY_READ, &same), 0},
      {"closing twice", win::RegCloseKey(closed.h), win::ERROR_INVALID_HANDLE},
      {"using a closed handle", win::RegQueryValueExW(closed.h, u"v", nullptr, nullptr, nullptr, &size),
       win::ERROR_INVALID_HANDLE},
      {"a made-up handle", win::RegCloseKey(reinterpret_cast<win::HKEY>(0x1235)), win::ERROR_INVALID_HANDLE},
      {"a null handle", win::RegOpenKeyExW(nullptr, u"Software", 0, win::KEY_READ, &bad), win::ERROR_INVALID_HANDLE},
      {"HKEY_USERS is not emulated", win::RegOpenKeyExW(win::HKEY_USERS, u"S-1-5-18", 0, win::KEY_READ, &users),
       win::ERROR_INVALID_HANDLE},
      {"missing key: 2, result untouched",
       win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Nope", 0, win::KEY_READ, &missing), 2},
      {"leading backslash", win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software\\H", 0, win::KEY_READ, &bad),
       win::ERROR_BAD_PATHNAME},
      {"no result slot", win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\H", 0, win::KEY_READ, nullptr),
       win::ERROR_INVALID_PARAMETER},
      {"\"\" below an open key: a new handle", win::RegOpenKeyExW(parent.h, u"", 0, win::KEY_READ, &self), 0},
      {"trailing backslash", win::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\H\\", 0, win::KEY_READ, &trailing), 0},
      {"relative to an open key", win::RegOpenKeyExW(parent.h, u"SUB", 0, win::KEY_READ, &viaHandle), 0},
  };
  for (const auto& r : rows) EXPECT_EQ(r.rc, r.expected) << r.what;
  EXPECT_EQ(same, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(missing, sentinel);
  EXPECT_EQ(bad, sentinel);
  EXPECT_EQ(users, sentinel);
  EXPECT_NE(self, parent.h);
  for (win::HKEY h : {self, trailing, viaHandle}) EXPECT_EQ(win::RegCloseKey(h), 0);
  closed.h = nullptr;

  // Handles do not outlive the image they were opened on.
  Key stale;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\H", win::KEY_READ, stale), 0);
  reload();
  EXPECT_EQ(win::RegQueryValueExW(stale.h, u"v", nullptr, nullptr, nullptr, &size), win::ERROR_INVALID_HANDLE);
  stale.h = nullptr;
}

// ---------------------------------------------------------------- HKEY_CLASSES_ROOT
constexpr std::string_view kClasses =
    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\.txt]\r\n@=\"txtfile\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\shared]\r\n@=\"machine\"\r\n\"m\"=\"machine only\"\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Classes\\onlyM]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\Shared]\r\n@=\"user\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\shared\\userSub]\r\n"
    "[HKEY_CURRENT_USER\\Software\\Classes\\onlyU]\r\n";

std::vector<std::u16string> subkeys(win::HKEY root, std::u16string_view path) {
  Key key;
  std::vector<std::u16string> out;
  if (open(root, path, win::KEY_ENUMERATE_SUB_KEYS, key) != 0) return out;
  for (win::DWORD i = 0;; ++i) {
    char16_t name[64];
    win::DWORD cch = 64;
    if (win::RegEnumKeyExW(key.h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0) break;
    out.emplace_back(name, cch);
  }
  return out;
}

TEST_F(RegistryTest, ClassesRootReadsPreferTheUserCopy) {
  load(std::string(kClasses));
  // The key's values come from the HKCU copy when there is one, the HKLM copy otherwise.
  EXPECT_EQ(sz(query(HKEY_CLASSES_ROOT, u"shared", u"")), u"user");
  EXPECT_EQ(query(HKEY_CLASSES_ROOT, u"shared", u"m").rc, 2);
  EXPECT_EQ(sz(query(HKEY_CLASSES_ROOT, u".TXT", u"")), u"txtfile");
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"onlyU"));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"\\onlyM"));  // a leading backslash is accepted here
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, u"nowhere"));
  // Enumeration merges both copies, sorted, without duplicates; the HKCU name wins.
  EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, u""), (std::vector<std::u16string>{u".txt", u"onlyM", u"onlyU", u"Shared"}));
  EXPECT_EQ(subkeys(HKEY_CLASSES_ROOT, u"shared"), (std::vector<std::u16string>{u"userSub"}));
  win::DWORD count = 0;
  ASSERT_EQ(win::RegQueryInfoKeyW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(count, 4u);
}

TEST_F(RegistryTest, ClassesRootWrites) {
  struct Case {
    const char* what;
    const char16_t* key;        // below HKEY_CLASSES_ROOT
    win::HKEY landsIn;          // where the value is stored
    const char16_t* storePath;  // ... at this path
  };
  const std::vector<Case> cases = {
      {"a key in HKCU: value goes to HKCU", u"shared", HKEY_CURRENT_USER, u"Software\\Classes\\shared"},
      {"a key only in HKLM: value goes to HKLM", u"onlyM", HKEY_LOCAL_MACHINE, u"Software\\Classes\\onlyM"},
      {"a key only in HKCU", u"onlyU", HKEY_CURRENT_USER, u"Software\\Classes\\onlyU"},
      {"a new key lands in HKLM", u"brand\\new", HKEY_LOCAL_MACHINE, u"Software\\Classes\\brand\\new"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(std::string(kClasses));
    Key key;
    ASSERT_EQ(win::RegCreateKeyExW(HKEY_CLASSES_ROOT, c.key, 0, nullptr, 0, win::KEY_SET_VALUE, nullptr, &key.h,
                                   nullptr),
              0);
    const Bytes data = utf16(u"written");
    ASSERT_EQ(win::RegSetValueExW(key.h, u"w", 0, win::REG_SZ, data.data(), static_cast<win::DWORD>(data.size())), 0);
    reload();
    EXPECT_EQ(sz(query(c.landsIn, c.storePath, u"w")), u"written");
    const win::HKEY other = c.landsIn == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    EXPECT_EQ(query(other, c.storePath, u"w").rc, 2);
    EXPECT_EQ(sz(query(HKEY_CLASSES_ROOT, c.key, u"w")), u"written");
  }
}

TEST_F(RegistryTest, ClassesRootDeletesTheUserCopyFirst) {
  load(std::string(kClasses));
  EXPECT_EQ(win::SHDeleteKeyW(HKEY_CLASSES_ROOT, u"shared"), 0);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software\\Classes\\shared"));
  EXPECT_EQ(sz(query(HKEY_CLASSES_ROOT, u"shared", u"")), u"machine");  // the HKLM copy shows through
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CLASSES_ROOT, u"shared"), 0);
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, u"shared"));
  EXPECT_EQ(win::RegDeleteKeyW(HKEY_CLASSES_ROOT, u"shared"), 2);
  reload();
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, u"shared"));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, u"onlyU"));
}

// ---------------------------------------------------------------- injected faults
constexpr std::string_view kFaults =
    "[environment]\n"
    "[[fault.registry]]\n"
    "key = 'HKLM\\SYSTEM\\Locked'\n"
    "access = 0x0002\n"
    "code = 5\n"
    "[[fault.registry]]\n"
    "key = 'hkey_local_machine\\system\\CODE'\n"
    "access = 0x20019\n"
    "code = 1314\n"
    "[[fault.registry]]\n"
    "key = 'HKEY_LOCAL_MACHINE\\SYSTEM\\Tree\\Protected'\n"
    "access = 0x10000\n"
    "code = 5\n"
    "[[fault.registry]]\n"
    "key = 'HKCU\\Software\\NotYet'\n"
    "access = 0x0004\n"
    "code = 1\n";

constexpr std::string_view kFaultKeys =
    "[HKLM\\SYSTEM\\Locked]\r\n\"v\"=\"1\"\r\n[HKLM\\SYSTEM\\Code]\r\n[HKLM\\SYSTEM\\Tree\\Protected\\deep]\r\n";

TEST_F(RegistryTest, FaultsRefuseOpening) {
  struct Case {
    const char* what;
    bool create;  // RegCreateKeyExW, else RegOpenKeyExW
    win::HKEY root;
    const char16_t* path;
    win::REGSAM sam;
    win::LONG rc;
  };
  const std::vector<Case> cases = {
      {"a right outside the mask", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", win::KEY_READ, 0},
      {"the refused right", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", win::KEY_SET_VALUE, 5},
      {"a mask that includes it", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", win::KEY_ALL_ACCESS, 5},
      {"path case ignored", false, HKEY_LOCAL_MACHINE, u"system\\LOCKED\\", win::KEY_WRITE, 5},
      {"create opens it with the refused right", true, HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", win::KEY_SET_VALUE, 5},
      {"a subkey is not refused", true, HKEY_LOCAL_MACHINE, u"SYSTEM\\Locked\\Sub", win::KEY_SET_VALUE, 0},
      {"the configured code", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Code", win::KEY_READ, 1314},
      {"any one right of the mask", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Code", win::KEY_QUERY_VALUE, 1314},
      {"no right of the mask", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Code", win::KEY_SET_VALUE, 0},
      {"DELETE asked at open", false, HKEY_LOCAL_MACHINE, u"SYSTEM\\Tree\\Protected", win::DELETE | win::KEY_SET_VALUE,
       5},
      {"a missing key is missing first", false, HKEY_CURRENT_USER, u"Software\\NotYet", win::KEY_ALL_ACCESS, 2},
      {"creating a refused key creates nothing", true, HKEY_CURRENT_USER, u"Software\\NotYet", win::KEY_ALL_ACCESS, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(kFaultKeys, kFaults);
    const auto sentinel = reinterpret_cast<win::HKEY>(0x77);
    win::HKEY h = sentinel;
    win::DWORD disposition = 0x55;
    const win::LONG rc =
        c.create ? win::RegCreateKeyExW(c.root, c.path, 0, nullptr, 0, c.sam, nullptr, &h, &disposition)
                 : win::RegOpenKeyExW(c.root, c.path, 0, c.sam, &h);
    EXPECT_EQ(rc, c.rc);
    if (rc == 0) {
      EXPECT_EQ(win::RegCloseKey(h), 0);
    } else {
      EXPECT_EQ(h, sentinel);
      EXPECT_EQ(disposition, 0x55u);
    }
  }
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software\\NotYet"));
}

TEST_F(RegistryTest, FaultsRefuseDeleting) {
  struct Case {
    const char* what;
    bool shell;
    const char16_t* path;
    win::LONG rc;
  };
  const std::vector<Case> cases = {
      {"RegDeleteKeyW of the key", false, u"SYSTEM\\Tree\\Protected\\deep", 0},
      {"RegDeleteKeyW of the refusing key", false, u"SYSTEM\\Tree\\Protected", 5},
      {"SHDeleteKeyW of the refusing key", true, u"SYSTEM\\Tree\\Protected", 5},
      {"SHDeleteKeyW of a tree holding it: nothing removed", true, u"SYSTEM\\Tree", 5},
      {"a fault without DELETE does not stop deletion", true, u"SYSTEM\\Locked", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(kFaultKeys, kFaults);
    EXPECT_EQ(c.shell ? win::SHDeleteKeyW(HKEY_LOCAL_MACHINE, c.path) : win::RegDeleteKeyW(HKEY_LOCAL_MACHINE, c.path),
              c.rc);
    EXPECT_EQ(exists(HKEY_LOCAL_MACHINE, c.path), c.rc != 0);
    if (c.rc != 0) {
      EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"SYSTEM\\Tree\\Protected\\deep"));
    }
  }
}

}  // namespace
