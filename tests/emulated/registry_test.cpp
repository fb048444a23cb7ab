// The emulated registry read from registry.reg: encodings and value syntax,
// RegQueryValueExW sizes, enumeration order and buffers, RegQueryInfoKeyW.
#include <array>

#include "registry_test_support.h"

namespace {

using namespace regtest;
using win::HKEY_CURRENT_USER;
using win::HKEY_LOCAL_MACHINE;

// ---------------------------------------------------------------- the file
struct FormatCase {
  const char* what;
  std::string file;  // registry.reg bytes
  win::HKEY root;
  std::u16string path;
  std::u16string name;
  win::LONG rc;  // of opening the key and querying the value
  win::DWORD type;
  Bytes data;
};

class RegistryFile : public RegistryTest {};

TEST_F(RegistryFile, ReadsRegeditText) {
  const std::string plain = "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n\"s\"=\"text\"\r\n";
  const std::vector<FormatCase> cases = {
      // The three encodings regedit files come in.
      {"UTF-8 without mark", utf8File(plain), HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"text")},
      {"UTF-8 with mark", utf8File(plain, true), HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"text")},
      {"UTF-16LE with mark", utf16File(plain), HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"text")},
      {"UTF-16LE non-ASCII", utf16File("[HKLM\\Software\\A]\r\n\"s\"=\"Grüße ✓\"\r\n"), HKEY_LOCAL_MACHINE,
       u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"Grüße ✓")},
      {"UTF-8 non-ASCII", utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"Grüße ✓\"\r\n"), HKEY_LOCAL_MACHINE,
       u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"Grüße ✓")},
      // Escapes in data and names: only \\ and \" are escapes.
      {"escaped data", utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"), HKEY_LOCAL_MACHINE,
       u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"C:\\dir\\\"q\"")},
      {"escaped name", utf8File("[HKLM\\Software\\A]\r\n\"a\\\\b \\\"c\\\"\"=\"x\"\r\n"), HKEY_LOCAL_MACHINE,
       u"Software\\A", u"a\\b \"c\"", 0, win::REG_SZ, utf16(u"x")},
      {"empty string", utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"\"\r\n"), HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0,
       win::REG_SZ, utf16(u"")},
      {"default value @", utf8File("[HKLM\\Software\\A]\r\n@=\"def\"\r\n"), HKEY_LOCAL_MACHINE, u"Software\\A", u"", 0,
       win::REG_SZ, utf16(u"def")},
      // Typed data.
      {"dword", utf8File("[HKLM\\Software\\A]\r\n\"d\"=dword:0000002a\r\n"), HKEY_LOCAL_MACHINE, u"Software\\A", u"d",
       0, win::REG_DWORD, {0x2a, 0, 0, 0}},
      {"hex: is REG_BINARY", utf8File("[HKLM\\Software\\A]\r\n\"b\"=hex:01,02,ff\r\n"), HKEY_LOCAL_MACHINE,
       u"Software\\A", u"b", 0, win::REG_BINARY, {1, 2, 0xff}},
      {"hex(2) REG_EXPAND_SZ", utf8File("[HKLM\\Software\\A]\r\n\"e\"=hex(2):25,00,41,00,25,00,00,00\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"e", 0, win::REG_EXPAND_SZ, utf16(u"%A%")},
      {"hex(7) REG_MULTI_SZ", utf8File("[HKLM\\Software\\A]\r\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"m", 0, win::REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}},
      {"hex(b) REG_QWORD", utf8File("[HKLM\\Software\\A]\r\n\"q\"=hex(b):01,00,00,00,00,00,00,80\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"q", 0, win::REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0x80}},
      {"hex(1) REG_SZ without terminator", utf8File("[HKLM\\Software\\A]\r\n\"s\"=hex(1):61,00\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0, win::REG_SZ, {0x61, 0}},
      {"empty hex", utf8File("[HKLM\\Software\\A]\r\n\"b\"=hex:\r\n"), HKEY_LOCAL_MACHINE, u"Software\\A", u"b", 0,
       win::REG_BINARY, {}},
      {"continued hex lines", utf8File("[HKLM\\Software\\A]\r\n\"b\"=hex:01,02,\\\r\n  03,\\\r\n  04\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"b", 0, win::REG_BINARY, {1, 2, 3, 4}},
      {"continuation in UTF-16", utf16File("[HKLM\\Software\\A]\r\n\"b\"=hex(0):01,\\\r\n  02\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"b", 0, win::REG_NONE, {1, 2}},
      // Deletions replayed in order.
      {"\"name\"=- deletes", utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"x\"\r\n\r\n[HKLM\\Software\\A]\r\n\"s\"=-\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 2, 0xDEAD, {}},
      {"[-key] deletes the tree",
       utf8File("[HKLM\\Software\\A\\B\\C]\r\n\"s\"=\"x\"\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software\\A]\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A\\B\\C", u"s", 2, 0xDEAD, {}},
      {"key re-created after [-key]",
       utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"old\"\r\n[-HKLM\\Software\\A]\r\n[HKLM\\Software\\A]\r\n\"t\"=\"new\"\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 2, 0xDEAD, {}},
      // Roots.
      {"HKEY_CURRENT_USER", utf8File("[HKEY_CURRENT_USER\\Software\\U]\r\n\"s\"=\"u\"\r\n"), HKEY_CURRENT_USER,
       u"Software\\U", u"s", 0, win::REG_SZ, utf16(u"u")},
      {"HKCU abbreviation", utf8File("[HKCU\\Software\\U]\r\n\"s\"=\"u\"\r\n"), HKEY_CURRENT_USER, u"Software\\U", u"s",
       0, win::REG_SZ, utf16(u"u")},
      {"HKEY_CLASSES_ROOT is HKLM\\Software\\Classes", utf8File("[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"txtfile\"\r\n"),
       HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.txt", u"", 0, win::REG_SZ, utf16(u"txtfile")},
      // Names ignore case; comments are skipped.
      {"case-insensitive keys and values, comment",
       utf8File("; a comment\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mixed]\r\n\"Value\"=\"v\"\r\n"), HKEY_LOCAL_MACHINE,
       u"software\\mIXED", u"VALUE", 0, win::REG_SZ, utf16(u"v")},
      {"same value twice: the last wins", utf8File("[HKLM\\Software\\A]\r\n\"s\"=\"1\"\r\n\"S\"=\"2\"\r\n"),
       HKEY_LOCAL_MACHINE, u"Software\\A", u"s", 0, win::REG_SZ, utf16(u"2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    loadRaw(c.file);
    Data d = query(c.root, c.path, c.name);
    EXPECT_EQ(d.rc, c.rc);
    EXPECT_EQ(d.type, c.type);
    EXPECT_EQ(hex(d.bytes), hex(c.data));
  }
}

TEST_F(RegistryFile, MissingFileIsAnEmptyRegistry) {
  image.config("[environment]\n");
  emu::useImage(image.root());
  Key key;
  EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"Software", win::KEY_READ, key), 2);
  win::DWORD subkeys = 77;
  EXPECT_EQ(win::RegQueryInfoKeyW(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(subkeys, 0u);
}

// ---------------------------------------------------------------- RegQueryValueExW
struct QueryCase {
  const char* what;
  const char16_t* name;  // nullptr: the default value
  bool buffer;           // pass a buffer of `capacity` bytes, else none
  win::DWORD capacity;
  win::LONG rc;
  win::DWORD size;  // *lpcbData afterwards
  win::DWORD type;  // *lpType afterwards
  Bytes written;    // the buffer's first bytes afterwards; the rest keeps its sentinel
};

TEST_F(RegistryTest, QueryValueSizes) {
  load("[HKLM\\Software\\Q]\r\n"
       "\"sz\"=\"abc\"\r\n"
       "\"raw\"=hex(1):61,00,62,00\r\n"
       "\"d\"=dword:00000001\r\n"
       "\"empty\"=hex:\r\n"
       "@=\"dflt\"\r\n");
  constexpr win::BYTE kSentinel = 0xCC;
  constexpr win::DWORD kSizeSentinel = 0x55555555;
  const std::vector<QueryCase> cases = {
      {"no buffer: size with terminator", u"sz", false, 0, 0, 8, win::REG_SZ, {}},
      {"exact buffer", u"sz", true, 8, 0, 8, win::REG_SZ, utf16(u"abc")},
      {"larger buffer: size is the data's", u"sz", true, 32, 0, 8, win::REG_SZ, utf16(u"abc")},
      {"one byte short: needed size, buffer untouched", u"sz", true, 7, win::ERROR_MORE_DATA, 8, win::REG_SZ, {}},
      {"zero capacity", u"sz", true, 0, win::ERROR_MORE_DATA, 8, win::REG_SZ, {}},
      {"no terminator: size as stored", u"raw", false, 0, 0, 4, win::REG_SZ, {}},
      {"no terminator: exact buffer gets none", u"raw", true, 4, 0, 4, win::REG_SZ, {0x61, 0, 0x62, 0}},
      {"dword", u"d", true, 4, 0, 4, win::REG_DWORD, {1, 0, 0, 0}},
      {"empty data", u"empty", true, 8, 0, 0, win::REG_BINARY, {}},
      {"name ignores case", u"SZ", false, 0, 0, 8, win::REG_SZ, {}},
      {"default value by nullptr", nullptr, true, 32, 0, 10, win::REG_SZ, utf16(u"dflt")},
      {"default value by \"\"", u"", true, 32, 0, 10, win::REG_SZ, utf16(u"dflt")},
      {"missing value: 2, outputs untouched", u"nope", true, 32, 2, kSizeSentinel, 0xDEAD, {}},
      {"missing value, no buffer", u"nope", false, 0, 2, kSizeSentinel, 0xDEAD, {}},
  };
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\Q", win::KEY_QUERY_VALUE, key), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::array<win::BYTE, 40> buf;
    buf.fill(kSentinel);
    win::DWORD size = c.buffer ? c.capacity : 0;
    if (c.rc == 2) size = kSizeSentinel;
    win::DWORD type = 0xDEAD;
    EXPECT_EQ(win::RegQueryValueExW(key.h, c.name, nullptr, &type, c.buffer ? buf.data() : nullptr, &size), c.rc);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(hex(Bytes(buf.begin(), buf.begin() + c.written.size())), hex(c.written));
    for (std::size_t i = c.written.size(); i < buf.size(); ++i) ASSERT_EQ(buf[i], kSentinel) << "byte " << i;
  }
}

// A string set with a size that leaves out its terminator is stored with it
// when the character after the given data is zero, as Windows does (Wine's
// test_set_value, "off-by-one size"); otherwise the bytes are kept as given.
TEST_F(RegistryTest, SetValueAddsAForgottenStringTerminator) {
  load("[HKLM\\Software\\S]\r\n");
  struct SetCase {
    const char* what;
    win::DWORD type;
    Bytes buffer;      // the caller's bytes, beyond the size given too
    win::DWORD given;  // the size passed
    Bytes stored;
  };
  const std::vector<SetCase> cases = {
      {"terminator left out, zero after it: added", win::REG_SZ, utf16(u"abc"), 6, utf16(u"abc")},
      {"the same for REG_EXPAND_SZ", win::REG_EXPAND_SZ, utf16(u"%a%"), 6, utf16(u"%a%")},
      {"the same for REG_MULTI_SZ", win::REG_MULTI_SZ, utf16(std::u16string(u"a\0b\0", 4)), 6,
       utf16(std::u16string(u"a\0b\0", 4), false)},
      {"terminator counted: as given", win::REG_SZ, utf16(u"abc"), 8, utf16(u"abc")},
      {"no zero after the data: as given", win::REG_SZ, utf16(u"abcd", false), 6, utf16(u"abc", false)},
      {"last character given is zero: as given", win::REG_SZ, utf16(std::u16string(u"a\0\0", 3), false), 4,
       utf16(u"a")},
      {"empty: nothing added", win::REG_SZ, utf16(u""), 0, {}},
      {"odd size: as given", win::REG_SZ, utf16(u"ab"), 3, {0x61, 0, 0x62}},
      {"not a string type: as given", win::REG_BINARY, utf16(u"ab"), 4, utf16(u"ab", false)},
  };
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\S", win::KEY_SET_VALUE, key), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(win::RegSetValueExW(key.h, u"v", 0, c.type, c.buffer.data(), c.given), 0);
    const Data stored = query(HKEY_LOCAL_MACHINE, u"Software\\S", u"v");
    EXPECT_EQ(stored.type, c.type);
    EXPECT_EQ(hex(stored.bytes), hex(c.stored));
  }
}

// ---------------------------------------------------------------- enumeration
std::vector<std::u16string> subkeyNames(win::HKEY key) {
  std::vector<std::u16string> out;
  for (win::DWORD i = 0;; ++i) {
    char16_t name[256];
    win::DWORD cch = 256;
    win::LONG rc = win::RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == win::ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, 0);
    if (rc != 0) break;
    out.emplace_back(name, cch);
  }
  return out;
}

std::vector<std::u16string> valueNames(win::HKEY key) {
  std::vector<std::u16string> out;
  for (win::DWORD i = 0;; ++i) {
    char16_t name[256];
    win::DWORD cch = 256;
    win::LONG rc = win::RegEnumValueW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
    if (rc == win::ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, 0);
    if (rc != 0) break;
    out.emplace_back(name, cch);
  }
  return out;
}

TEST_F(RegistryTest, SubkeysEnumerateSortedByUpperCasedName) {
  load("[HKLM\\Software\\E\\zeta]\r\n[HKLM\\Software\\E\\_under]\r\n[HKLM\\Software\\E\\beta]\r\n"
       "[HKLM\\Software\\E\\Alpha]\r\n");
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\E", win::KEY_ALL_ACCESS, key), 0);
  Key made;
  ASSERT_EQ(win::RegCreateKeyExW(key.h, u"Gamma", 0, nullptr, 0, win::KEY_READ, nullptr, &made.h, nullptr), 0);
  // '_' (0x5F) sorts after 'Z' once names are upper-cased, though before 'b' as written.
  EXPECT_EQ(subkeyNames(key.h), (std::vector<std::u16string>{u"Alpha", u"beta", u"Gamma", u"zeta", u"_under"}));
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrder) {
  load("[HKLM\\Software\\V]\r\n\"A\"=\"1\"\r\n\"C\"=\"1\"\r\n");
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\V", win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, key), 0);
  const Bytes one = utf16(u"2");
  ASSERT_EQ(win::RegSetValueExW(key.h, u"D", 0, win::REG_SZ, one.data(), 4), 0);
  ASSERT_EQ(win::RegSetValueExW(key.h, u"B", 0, win::REG_SZ, one.data(), 4), 0);
  // Setting an existing value (in another case) keeps its place and its name.
  ASSERT_EQ(win::RegSetValueExW(key.h, u"c", 0, win::REG_DWORD, one.data(), 4), 0);
  EXPECT_EQ(valueNames(key.h), (std::vector<std::u16string>{u"A", u"C", u"D", u"B"}));
  // A deleted and re-created value goes to the end.
  ASSERT_EQ(win::RegDeleteValueW(key.h, u"A"), 0);
  ASSERT_EQ(win::RegSetValueExW(key.h, u"A", 0, win::REG_SZ, one.data(), 4), 0);
  EXPECT_EQ(valueNames(key.h), (std::vector<std::u16string>{u"C", u"D", u"B", u"A"}));
}

TEST_F(RegistryTest, EnumKeyNameBuffer) {
  load("[HKLM\\Software\\K\\12]\r\n");
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\K", win::KEY_ENUMERATE_SUB_KEYS, key), 0);
  struct Case {
    const char* what;
    win::DWORD index;
    win::DWORD capacity;  // characters, terminator included
    win::LONG rc;
    win::DWORD count;  // *lpcchName afterwards
    std::u16string written;
  };
  const std::vector<Case> cases = {
      {"no room for the terminator: count and buffer untouched", 0, 2, win::ERROR_MORE_DATA, 2, u""},
      {"no room at all", 0, 0, win::ERROR_MORE_DATA, 0, u""},
      {"exact fit: count without terminator", 0, 3, 0, 2, std::u16string(u"12\0", 3)},
      {"past the end", 1, 10, win::ERROR_NO_MORE_ITEMS, 10, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char16_t name[8];
    std::fill(std::begin(name), std::end(name), u'\x5555');
    win::DWORD cch = c.capacity;
    EXPECT_EQ(win::RegEnumKeyExW(key.h, c.index, name, &cch, nullptr, nullptr, nullptr, nullptr), c.rc);
    EXPECT_EQ(cch, c.count);
    EXPECT_EQ(std::u16string(name, c.written.size()), c.written);
    for (std::size_t i = c.written.size(); i < 8; ++i) ASSERT_EQ(name[i], u'\x5555');
  }
}

TEST_F(RegistryTest, EnumValueBuffers) {
  load("[HKLM\\Software\\K]\r\n\"Test\"=\"foobar\"\r\n");
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\K", win::KEY_QUERY_VALUE, key), 0);
  struct Case {
    const char* what;
    win::DWORD nameCapacity;
    win::DWORD dataCapacity;
    win::LONG rc;
    win::DWORD nameCount;  // afterwards
    win::DWORD dataSize;   // afterwards
    bool nameWritten;
    bool dataWritten;
  };
  const std::vector<Case> cases = {
      // Name too small: as on Windows, name and count stay, type and data size are reported, no data.
      {"name overflow", 4, 20, win::ERROR_MORE_DATA, 4, 14, false, false},
      // Data too small: the name is written, the data is not.
      {"data overflow", 20, 2, win::ERROR_MORE_DATA, 4, 14, true, false},
      {"both fit", 5, 14, 0, 4, 14, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char16_t name[20];
    std::fill(std::begin(name), std::end(name), u'x');
    std::array<win::BYTE, 20> data;
    data.fill(0xCC);
    win::DWORD cch = c.nameCapacity, size = c.dataCapacity, type = 0xDEAD;
    EXPECT_EQ(win::RegEnumValueW(key.h, 0, name, &cch, nullptr, &type, data.data(), &size), c.rc);
    EXPECT_EQ(cch, c.nameCount);
    EXPECT_EQ(size, c.dataSize);
    EXPECT_EQ(type, win::REG_SZ);
    EXPECT_EQ(std::u16string(name, 5), c.nameWritten ? std::u16string(u"Test\0", 5) : std::u16string(u"xxxxx"));
    EXPECT_EQ(hex(Bytes(data.begin(), data.begin() + 14)),
              c.dataWritten ? hex(utf16(u"foobar")) : hex(Bytes(14, 0xCC)));
  }
  char16_t name[20];
  win::DWORD cch = 20;
  EXPECT_EQ(win::RegEnumValueW(key.h, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), win::ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, QueryInfoKeyCountsAndLongestNames) {
  load("[HKLM\\Software\\I\\a]\r\n[HKLM\\Software\\I\\longest1]\r\n"
       "[HKLM\\Software\\I]\r\n@=dword:00000001\r\n\"nm12345\"=hex:00,01,02,03,04,05,06,07,08,09\r\n");
  Key key;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, u"Software\\I", win::KEY_READ, key), 0);
  char16_t cls[4] = {u'x', u'x', u'x', u'x'};
  win::DWORD cchClass = 4, subkeys = 0, maxSub = 0, maxClass = 9, values = 0, maxName = 0, maxData = 0, sd = 9;
  win::FILETIME ft{};
  ASSERT_EQ(win::RegQueryInfoKeyW(key.h, cls, &cchClass, nullptr, &subkeys, &maxSub, &maxClass, &values, &maxName,
                                  &maxData, &sd, &ft),
            0);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSub, 8u);  // "longest1", characters without terminator
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 7u);  // "nm12345"
  EXPECT_EQ(maxData, 10u);  // bytes
  EXPECT_EQ(cchClass, 0u);
  EXPECT_EQ(cls[0], u'\0');
  EXPECT_EQ(maxClass, 0u);
}

}  // namespace
