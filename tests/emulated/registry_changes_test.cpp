// Changes to the emulated registry: creating and deleting keys, handles to
// deleted keys, and durability (every change is appended to registry.reg in
// the file's own encoding and survives a reload).
#include "registry_test_support.h"

namespace {

using namespace regtest;
using win::HKEY_CLASSES_ROOT;
using win::HKEY_CURRENT_USER;
using win::HKEY_LOCAL_MACHINE;

// ---------------------------------------------------------------- durability
// One change of every kind, through the seam.
void changeEverything() {
  Key k;
  win::DWORD disposition = 0;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                 nullptr, &k.h, &disposition),
            0);
  ASSERT_EQ(disposition, win::REG_CREATED_NEW_KEY);
  auto set = [&](const char16_t* name, win::DWORD type, const Bytes& data) {
    ASSERT_EQ(win::RegSetValueExW(k.h, name, 0, type, data.data(), static_cast<win::DWORD>(data.size())), 0);
  };
  set(u"plain", win::REG_SZ, utf16(u"C:\\dir \"quoted\""));
  // Stored without a terminator: the character after the two given is not zero.
  const Bytes abc = utf16(u"abc", false);
  ASSERT_EQ(win::RegSetValueExW(k.h, u"unterminated", 0, win::REG_SZ, abc.data(), 4), 0);
  set(u"lines", win::REG_SZ, utf16(u"one\r\ntwo"));
  set(u"odd", win::REG_SZ, {0x61});
  set(u"astral", win::REG_SZ, utf16(u"\U0001F600 ü"));
  set(u"lone surrogate", win::REG_SZ, utf16(u"\xD800x"));
  set(u"dword", win::REG_DWORD, {0x2a, 0, 0, 0});
  set(u"multi", win::REG_MULTI_SZ, utf16(std::u16string(u"a\0b\0", 4)));
  set(u"empty binary", win::REG_BINARY, {});
  set(u"long binary", win::REG_BINARY, Bytes(100, 0xAB));
  set(u"odd type", 0x12345, {1, 2, 3});
  set(u"na\"me\\", win::REG_SZ, utf16(u"x"));
  set(nullptr, win::REG_SZ, utf16(u"default"));
  set(u"plain", win::REG_SZ, utf16(u"overwritten in place"));
  set(u"gone", win::REG_SZ, utf16(u"soon"));
  ASSERT_EQ(win::RegDeleteValueW(k.h, u"GONE"), 0);

  Key user;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Mine", 0, nullptr, 0, win::KEY_SET_VALUE, nullptr,
                                 &user.h, nullptr),
            0);
  const Bytes u = utf16(u"user");
  ASSERT_EQ(win::RegSetValueExW(user.h, u"u", 0, win::REG_SZ, u.data(), static_cast<win::DWORD>(u.size())), 0);

  Key empty;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Empty\\Key", 0, nullptr, 0, win::KEY_READ, nullptr,
                                 &empty.h, nullptr),
            0);
  Key cls;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_CLASSES_ROOT, u".new", 0, nullptr, 0, win::KEY_READ, nullptr, &cls.h, nullptr), 0);
  ASSERT_EQ(win::RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Old\\Leaf"), 0);
  ASSERT_EQ(win::SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Tree"), 0);
}

constexpr std::string_view kStart =
    "[HKEY_LOCAL_MACHINE\\Software\\Old\\Leaf]\r\n\"v\"=\"1\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Tree\\a\\b]\r\n\"v\"=dword:00000001\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Kept]\r\n\"Grüße\"=\"✓\"\r\n";

// kStart made through the seam, for a run that starts without a file.
void makeStartKeys() {
  auto make = [](const char16_t* path, const char16_t* name, win::DWORD type, const Bytes& data) {
    Key k;
    ASSERT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, win::KEY_SET_VALUE, nullptr, &k.h,
                                   nullptr),
              0);
    ASSERT_EQ(win::RegSetValueExW(k.h, name, 0, type, data.data(), static_cast<win::DWORD>(data.size())), 0);
  };
  make(u"Software\\Old\\Leaf", u"v", win::REG_SZ, utf16(u"1"));
  make(u"Software\\Tree\\a\\b", u"v", win::REG_DWORD, {1, 0, 0, 0});
  make(u"Software\\Kept", u"Grüße", win::REG_SZ, utf16(u"✓"));
}

struct DurabilityCase {
  const char* what;
  bool hasFile;
  std::string file;     // registry.reg before the run
  bool utf16Expected;   // the file's encoding afterwards
};

TEST_F(RegistryTest, ChangesAreAppendedAndSurviveAReload) {
  const std::vector<DurabilityCase> cases = {
      {"UTF-16LE file stays UTF-16LE", true, utf16File(kStart), true},
      {"UTF-8 file stays UTF-8", true, utf8File(kStart), false},
      {"UTF-8 file with mark stays UTF-8", true, utf8File(kStart, true), false},
      {"no file: created as regedit writes it", false, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.hasFile) {
      loadRaw(c.file);
    } else {
      std::filesystem::remove(image.root() / "registry.reg");
      image.config("[environment]\n");
      emu::useImage(image.root());
      makeStartKeys();
    }
    changeEverything();
    const std::string before = dumpAll();
    const std::string bytes = fileBytes();
    // Appended, never rewritten: the old file is still its beginning.
    EXPECT_EQ(bytes.substr(0, c.file.size()), c.file);
    EXPECT_EQ(bytes.substr(0, 2) == "\xFF\xFE", c.utf16Expected);
    std::string text = image.registryText();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    reload();
    EXPECT_EQ(dumpAll(), before);
    // What the change blocks look like.
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\New\\Deep]\r\n\"plain\"=\"C:\\\\dir \\\"quoted\\\"\"\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"unterminated\"=hex(1):61,00,62,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"dword\"=hex(4):2a,00,00,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"gone\"=-\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Empty\\Key]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\.new]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[-HKEY_LOCAL_MACHINE\\Software\\Old\\Leaf]\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[-HKEY_LOCAL_MACHINE\\Software\\Tree]\r\n"), std::string::npos);
    // Spot checks of the reloaded state.
    EXPECT_EQ(hex(query(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", u"unterminated").bytes), hex(utf16(u"ab", false)));
    EXPECT_EQ(hex(query(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", u"odd type").bytes), "010203");
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", u"odd type").type, 0x12345u);
    EXPECT_EQ(hex(query(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", u"lone surrogate").bytes),
              hex(utf16(u"\xD800x")));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, u"Software\\New\\Deep", u"gone").rc, 2);
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"Software\\Old"));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\Old\\Leaf"));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\Tree"));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"Software\\Empty\\Key"));
    EXPECT_EQ(hex(query(HKEY_LOCAL_MACHINE, u"Software\\Kept", u"grüße").bytes), hex(utf16(u"✓")));
  }
}

TEST_F(RegistryTest, OpeningOrReadingWritesNothing) {
  load(std::string(kStart));
  const std::string before = fileBytes();
  Key k;
  win::DWORD disposition = 0;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\KEPT", 0, nullptr, 0, win::KEY_ALL_ACCESS, nullptr,
                                 &k.h, &disposition),
            0);
  EXPECT_EQ(disposition, win::REG_OPENED_EXISTING_KEY);
  (void)dumpAll();
  EXPECT_EQ(win::RegDeleteValueW(k.h, u"missing"), 2);
  EXPECT_EQ(fileBytes(), before);
}

// ---------------------------------------------------------------- deleting keys
TEST_F(RegistryTest, DeletingKeys) {
  const std::string start =
      "[HKLM\\Software\\T\\Parent\\Child]\r\n[HKLM\\Software\\T\\Leaf]\r\n[HKLM\\Software\\T\\Tree\\x\\y]\r\n";
  struct Case {
    const char* what;
    bool shell;                  // SHDeleteKeyW, else RegDeleteKeyW
    const char16_t* openPath;    // key opened first with `sam`; nullptr: call on HKEY_LOCAL_MACHINE
    win::REGSAM sam;
    const char16_t* subKey;
    win::LONG rc;
    const char16_t* gone;        // must no longer exist (below HKLM)
    const char16_t* kept;        // must still exist
  };
  const std::vector<Case> cases = {
      {"a key with subkeys is refused (code chosen: 5)", false, nullptr, 0, u"Software\\T\\Parent", 5, nullptr,
       u"Software\\T\\Parent\\Child"},
      {"a leaf goes", false, nullptr, 0, u"Software\\T\\Leaf", 0, u"Software\\T\\Leaf", u"Software\\T"},
      {"names ignore case", false, nullptr, 0, u"SOFTWARE\\t\\leaf", 0, u"Software\\T\\Leaf", u"Software\\T"},
      {"missing key", false, nullptr, 0, u"Software\\T\\Missing", 2, nullptr, u"Software\\T"},
      {"no subkey name at all", false, nullptr, 0, nullptr, win::ERROR_INVALID_PARAMETER, nullptr, u"Software\\T"},
      {"\"\" deletes the opened key (DELETE held)", false, u"Software\\T\\Leaf", win::DELETE, u"", 0,
       u"Software\\T\\Leaf", u"Software\\T"},
      {"\"\" without DELETE on the handle", false, u"Software\\T\\Leaf", win::KEY_READ, u"", 5, nullptr,
       u"Software\\T\\Leaf"},
      {"a subkey needs no right on the parent handle", false, u"Software\\T", win::KEY_QUERY_VALUE, u"Leaf", 0,
       u"Software\\T\\Leaf", u"Software\\T"},
      {"a predefined root is never deleted", false, nullptr, 0, u"", 5, nullptr, u"Software"},
      {"SHDeleteKeyW removes a tree", true, nullptr, 0, u"Software\\T\\Tree", 0, u"Software\\T\\Tree",
       u"Software\\T\\Leaf"},
      {"SHDeleteKeyW on a missing key", true, nullptr, 0, u"Software\\T\\Missing", 2, nullptr, u"Software\\T"},
      {"SHDeleteKeyW below an opened key", true, u"Software\\T", win::KEY_READ, u"Parent", 0, u"Software\\T\\Parent",
       u"Software\\T\\Leaf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(start);
    Key opened;
    win::HKEY h = HKEY_LOCAL_MACHINE;
    if (c.openPath) {
      ASSERT_EQ(open(HKEY_LOCAL_MACHINE, c.openPath, c.sam, opened), 0);
      h = opened.h;
    }
    EXPECT_EQ(c.shell ? win::SHDeleteKeyW(h, c.subKey) : win::RegDeleteKeyW(h, c.subKey), c.rc);
    if (c.gone) { EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, c.gone)); }
    if (c.kept) { EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, c.kept)); }
    reload();  // the file agrees
    if (c.gone) { EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, c.gone)); }
    if (c.kept) { EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, c.kept)); }
  }
}

TEST_F(RegistryTest, HandlesToDeletedKeys) {
  load("[HKLM\\Software\\D\\sub]\r\n\"v\"=\"1\"\r\n");
  Key h;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\D\\sub", win::KEY_ALL_ACCESS, h), 0);
  ASSERT_EQ(win::SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\D"), 0);
  // A key of the same name made afresh is another key.
  Key again;
  ASSERT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\D\\sub", 0, nullptr, 0, win::KEY_READ, nullptr,
                                 &again.h, nullptr),
            0);
  win::DWORD size = 0x55, count = 0x55;
  char16_t name[8];
  win::DWORD cch = 8;
  Key child;
  const Bytes v = utf16(u"x");
  struct Row {
    const char* what;
    win::LONG rc;
  };
  const std::vector<Row> rows = {
      {"RegQueryValueExW", win::RegQueryValueExW(h.h, u"v", nullptr, nullptr, nullptr, &size)},
      {"RegSetValueExW", win::RegSetValueExW(h.h, u"v", 0, win::REG_SZ, v.data(), 4)},
      {"RegDeleteValueW", win::RegDeleteValueW(h.h, u"v")},
      {"RegEnumKeyExW", win::RegEnumKeyExW(h.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr)},
      {"RegEnumValueW", win::RegEnumValueW(h.h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr)},
      {"RegQueryInfoKeyW", win::RegQueryInfoKeyW(h.h, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr)},
      {"RegOpenKeyExW below it", win::RegOpenKeyExW(h.h, u"", 0, win::KEY_READ, &child.h)},
      {"RegCreateKeyExW below it",
       win::RegCreateKeyExW(h.h, u"x", 0, nullptr, 0, win::KEY_READ, nullptr, &child.h, nullptr)},
      {"RegDeleteKeyW of itself", win::RegDeleteKeyW(h.h, u"")},
  };
  for (const auto& r : rows) EXPECT_EQ(r.rc, win::ERROR_KEY_DELETED) << r.what;
  EXPECT_EQ(size, 0x55u);
  EXPECT_EQ(count, 0x55u);
  EXPECT_EQ(cch, 8u);
  EXPECT_EQ(child.h, nullptr);
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\D\\sub\\x"));
  EXPECT_EQ(win::RegCloseKey(h.h), 0);
  h.h = nullptr;
}

TEST_F(RegistryTest, CreatingKeys) {
  load("[HKLM\\Software\\C]\r\n");
  struct Case {
    const char* what;
    const char16_t* subKey;
    bool result;  // pass a result slot
    win::LONG rc;
    win::DWORD disposition;  // 0x55 when untouched
    const char16_t* existsAfter;
  };
  const std::vector<Case> cases = {
      {"missing intermediate keys are made", u"Software\\C\\a\\b\\c", true, 0, win::REG_CREATED_NEW_KEY,
       u"Software\\C\\a\\b\\c"},
      {"an existing key is opened", u"software\\c\\A", true, 0, win::REG_OPENED_EXISTING_KEY, u"Software\\C\\a"},
      {"trailing backslashes are fine", u"Software\\C\\t\\\\", true, 0, win::REG_CREATED_NEW_KEY, u"Software\\C\\t"},
      {"a leading backslash is a bad path", u"\\Software\\C\\x", true, win::ERROR_BAD_PATHNAME, 0x55, nullptr},
      {"no result slot", u"Software\\C\\y", false, win::ERROR_BADKEY, 0x55, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    win::HKEY sentinel = reinterpret_cast<win::HKEY>(0x77);
    win::HKEY result = sentinel;
    win::DWORD disposition = 0x55;
    EXPECT_EQ(win::RegCreateKeyExW(HKEY_LOCAL_MACHINE, c.subKey, 0, nullptr, 0, win::KEY_READ, nullptr,
                                   c.result ? &result : nullptr, &disposition),
              c.rc);
    EXPECT_EQ(disposition, c.disposition);
    if (c.rc == 0) {
      EXPECT_NE(result, sentinel);
      EXPECT_EQ(win::RegCloseKey(result), 0);
    } else {
      EXPECT_EQ(result, sentinel);
    }
    if (c.existsAfter) { EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, c.existsAfter)); }
  }
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\C\\x"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\C\\y"));
}

}  // namespace
