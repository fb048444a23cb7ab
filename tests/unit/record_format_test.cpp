// The record files' text: every rule written and read back by the same
// codec, value lines of every type (wrapped as regedit wraps them), key
// places, landed lines; and lines the reader refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "system/record_format.h"

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> list) {
  std::vector<std::uint8_t> out;
  for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

std::vector<std::uint8_t> utf16z(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// ---------------------------------------------------------------- regedit text

TEST(RegeditValueLine, EveryTypeAsRegeditWritesItAndBack) {
  std::vector<std::uint8_t> long_(40);
  for (std::size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<std::uint8_t>(i);
  struct Row {
    const char* what;
    RegValue value;
    std::u16string line;
  };
  const Row rows[] = {
      {"text", {u"Run", 1, utf16z(u"C:\\a b.exe")}, u"\"Run\"=\"C:\\\\a b.exe\""},
      {"quotes in name and text", {u"a\"b", 1, utf16z(u"say \"x\"")}, u"\"a\\\"b\"=\"say \\\"x\\\"\""},
      {"default value", {u"", 1, utf16z(u"d")}, u"@=\"d\""},
      {"empty text", {u"NameServer", 1, utf16z(u"")}, u"\"NameServer\"=\"\""},
      // Text that "..." would not give back exactly goes as hex(1).
      {"text without terminator", {u"t", 1, bytes({0x41, 0, 0x42, 0})}, u"\"t\"=hex(1):41,00,42,00"},
      {"zero inside the text", {u"t", 1, bytes({0x41, 0, 0, 0, 0x42, 0, 0, 0})}, u"\"t\"=hex(1):41,00,00,00,42,00,00,00"},
      {"line break in the text", {u"t", 1, bytes({0x0D, 0, 0x0A, 0, 0, 0})}, u"\"t\"=hex(1):0d,00,0a,00,00,00"},
      {"odd size", {u"t", 1, bytes({0x41, 0, 0})}, u"\"t\"=hex(1):41,00,00"},
      {"no data", {u"t", 1, {}}, u"\"t\"=hex(1):"},
      {"expandable text", {u"e", 2, utf16z(u"%a%")}, u"\"e\"=hex(2):25,00,61,00,25,00,00,00"},
      {"dword", {u"n", 4, bytes({0x2a, 0, 0, 0x80})}, u"\"n\"=dword:8000002a"},
      {"dword of three bytes", {u"n", 4, bytes({1, 2, 3})}, u"\"n\"=hex(4):01,02,03"},
      {"binary", {u"b", 3, bytes({0xff, 0})}, u"\"b\"=hex:ff,00"},
      {"empty binary", {u"b", 3, {}}, u"\"b\"=hex:"},
      {"qword", {u"q", 11, bytes({1, 0, 0, 0, 0, 0, 0, 0})}, u"\"q\"=hex(b):01,00,00,00,00,00,00,00"},
      {"type of no name", {u"x", 0x20000, bytes({7})}, u"\"x\"=hex(20000):07"},
      // Wrapped as regedit wraps: ",\" and two blanks, no line past 80.
      {"long binary", {u"Flags", 3, long_},
       u"\"Flags\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
       u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(regeditValueLine(r.value), r.line) << r.what;
    // Read back line by line, as the undo file is read.
    std::u16string continued, joined;
    std::u16string_view rest = r.line;
    bool whole = false;
    for (;;) {
      const std::size_t end = rest.find(u"\r\n");
      whole = joinWrappedLine(continued, rest.substr(0, end), joined);
      if (end == std::u16string_view::npos) break;
      ASSERT_FALSE(whole) << r.what;
      rest.remove_prefix(end + 2);
    }
    ASSERT_TRUE(whole) << r.what;
    RegValue back;
    ASSERT_TRUE(parseValueLine(joined, back)) << r.what;
    EXPECT_EQ(back.name, r.value.name) << r.what;
    EXPECT_EQ(back.type, r.value.type) << r.what;
    EXPECT_EQ(back.data, r.value.data) << r.what;
  }
}

TEST(RegeditValueLine, LinesThatAreNotAValue) {
  const char16_t* rows[] = {
      u"",                    // nothing
      u"\"n\"",               // no data
      u"\"n=\"x\"",           // the name's quote never closes
      u"\"n\"=\"x",           // the text's quote never closes
      u"\"n\"=\"a\"b\"",      // a quote inside the text
      u"\"n\"=dword:2a",      // fewer than 8 digits
      u"\"n\"=dword:0000002g",
      u"\"n\"=hex:0",          // half a byte
      u"\"n\"=hex:00,",        // cut after a comma
      u"\"n\"=hex:00,,01",
      u"\"n\"=hex(zz):00",
      u"\"n\"=hex(1:00",
      u"\"n\"=-",              // a deletion: QuorelFix never records one
      u"n=\"x\"",              // the name unquoted
  };
  for (const char16_t* line : rows) {
    RegValue value{u"keep", 9, {1}};
    EXPECT_FALSE(parseValueLine(line, value)) << std::u16string_view(line).size();
    EXPECT_EQ(value.name, u"keep");  // untouched
  }
}

TEST(RecordFormat, KeyPlacesAndLandedLinesAndBack) {
  struct Row {
    win::HKEY root;
    std::u16string subKey;
    std::u16string place;
  };
  const Row keys[] = {
      {win::HKEY_LOCAL_MACHINE, u"Software\\x", u"HKEY_LOCAL_MACHINE\\Software\\x"},
      {win::HKEY_CURRENT_USER, u"Software\\Classes\\y", u"HKEY_CURRENT_USER\\Software\\Classes\\y"},
      {win::HKEY_CLASSES_ROOT, u"CLSID\\{1}", u"HKEY_CLASSES_ROOT\\CLSID\\{1}"},
      {win::HKEY_USERS, u".DEFAULT", u"HKEY_USERS\\.DEFAULT"},
  };
  for (const Row& r : keys) {
    EXPECT_EQ(keyPlace(r.root, r.subKey), r.place);
    EXPECT_EQ(keyLine(r.root, r.subKey), u"[" + r.place + u"]\r\n");
    EXPECT_EQ(valuePlace(r.root, r.subKey, u"v"), r.place + u"\\\\v");
    win::HKEY root = nullptr;
    std::u16string subKey;
    ASSERT_TRUE(parseKeyPath(r.place, root, subKey)) << r.subKey.size();
    EXPECT_EQ(root, r.root);
    EXPECT_EQ(subKey, r.subKey);
  }
  win::HKEY root = nullptr;
  std::u16string subKey;
  for (std::u16string_view bad : {u"HKEY_LOCAL_MACHINE", u"HKEY_LOCAL_MACHINE\\", u"HKLM\\Software", u"HKEY_LOCAL_MACHINEX\\a"})
    EXPECT_FALSE(parseKeyPath(bad, root, subKey)) << bad.size();

  // Without a fingerprint, as records written before it came read, and with one.
  const std::u16string original = u"C:\\evil\\a.dll";
  const std::u16string landing = u"C:\\Desktop\\QuorelFix Backups\\C\\evil\\a (2).dll";
  const std::u16string content = u"4A8A08F09D37B73795649038408B5F33";
  for (std::u16string_view fingerprint : {std::u16string_view(), std::u16string_view(content)}) {
    const std::u16string line = landedLine(original, landing, fingerprint);
    const std::u16string fields = u"landed\t" + landing + u"\t" +
                                  (fingerprint.empty() ? u"" : std::u16string(fingerprint) + u"\t");
    ASSERT_EQ(line.substr(0, fields.size()), fields);
    ASSERT_EQ(line.size(), fields.size() + 32 + 2);
    const std::u16string read = line.substr(0, line.size() - 2);
    std::u16string back;
    std::u16string backContent = u"left over";
    bool checked = false;
    parseLandedLine(read, original, back, backContent, checked);
    EXPECT_EQ(back, landing);
    EXPECT_EQ(backContent, fingerprint);
    EXPECT_TRUE(checked);
    parseLandedLine(read, u"C:\\other.dll", back, backContent, checked);  // the check covers the original too
    EXPECT_FALSE(checked);
    // ... and the fingerprint: another one, or one taken away, no longer checks.
    std::u16string changed = read;
    if (fingerprint.empty())
      changed.insert(fields.size(), content + u"\t");
    else
      changed.erase(fields.size() - 33, 33);
    parseLandedLine(changed, original, back, backContent, checked);
    EXPECT_FALSE(checked);
  }
  std::u16string back;
  std::u16string backContent;
  bool checked = false;
  parseLandedLine(u"landed\t" + landing, original, back, backContent, checked);  // no check at all
  EXPECT_EQ(back, landing);
  EXPECT_FALSE(checked);
}

// ---------------------------------------------------------------- service records

// Splits a record's text into its lines (CR LF each).
std::vector<std::u16string> lines(std::u16string_view text) {
  std::vector<std::u16string> out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find(u"\r\n", at);
    out.emplace_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

TEST(ServiceRecord, EveryConfigurationAsWrittenAndBack) {
  ServiceConfig driver;
  driver.type = 1;
  driver.start = 3;
  driver.errorControl = 1;
  driver.binaryPath = u"system32\\drivers\\xwoarh.sys";
  driver.displayName = u"xwoarh";
  ServiceConfig win32;
  win32.type = 0x110;
  win32.start = 2;
  win32.errorControl = 3;
  win32.binaryPath = u"\"C:\\Program Files\\web\\w.exe\" -k";
  win32.loadOrderGroup = u"Net";
  win32.tagId = 4294967295u;
  win32.dependencies = {u"RPC", u"+Net Group"};
  win32.startName = u"LocalSystem";
  win32.displayName = u"Web \"Server\"";
  win32.hasDescription = true;
  win32.description = u"line one\r\nline two\ttab \u00e9\x7f";
  struct Row {
    const char* what;
    std::u16string name;
    ServiceConfig config;
    std::u16string text;
  };
  const Row rows[] = {
      {"driver", u"xwoarh", driver,
       u"; deleted service \"xwoarh\"\r\n"
       u"; service type 1\r\n; service start 3\r\n; service error control 1\r\n"
       u"; service binary path \"system32\\\\drivers\\\\xwoarh.sys\"\r\n; service load order group \"\"\r\n"
       u"; service tag 0\r\n; service dependencies\r\n; service start name \"\"\r\n"
       u"; service display name \"xwoarh\"\r\n; service description none\r\n"},
      // Quotes and backslashes behind a backslash, control characters as
      // \x and four digits: every text stays on its line.
      {"Win32 service", u"Web\"1", win32,
       u"; deleted service \"Web\\\"1\"\r\n"
       u"; service type 272\r\n; service start 2\r\n; service error control 3\r\n"
       u"; service binary path \"\\\"C:\\\\Program Files\\\\web\\\\w.exe\\\" -k\"\r\n"
       u"; service load order group \"Net\"\r\n; service tag 4294967295\r\n"
       u"; service dependencies \"RPC\" \"+Net Group\"\r\n; service start name \"LocalSystem\"\r\n"
       u"; service display name \"Web \\\"Server\\\"\"\r\n"
       u"; service description \"line one\\x000D\\x000Aline two\\x0009tab \u00e9\\x007F\"\r\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const std::u16string text = serviceRecordLines(r.name, r.config);
    EXPECT_EQ(text, r.text);
    const std::vector<std::u16string> all = lines(text);
    ASSERT_FALSE(all.empty());
    std::u16string name;
    ASSERT_TRUE(parseServiceKindLine(all[0], name));
    EXPECT_EQ(name, r.name);
    ServiceConfig back;
    std::size_t fields = 0;
    for (std::size_t i = 1; i < all.size(); ++i) {
      EXPECT_FALSE(serviceFieldsComplete(fields));
      ASSERT_TRUE(parseServiceField(all[i], fields, back)) << i;
    }
    EXPECT_TRUE(serviceFieldsComplete(fields));
    EXPECT_TRUE(back == r.config);
  }
}

TEST(ServiceRecord, LinesThatAreNoFieldOrOutOfPlace) {
  struct Row {
    std::size_t fields;  // the fields read before the line
    const char16_t* line;
  } const rows[] = {
      {0, u"; service start 3"},              // out of its order
      {0, u"; service type"},                 // no number
      {0, u"; service type -1"},
      {0, u"; service type 4294967296"},      // past 32 bits
      {0, u"; service type 1 "},
      {0, u"; service typeX 1"},
      {3, u"; service binary path x"},        // unquoted
      {3, u"; service binary path \"x"},      // the quote never closes
      {3, u"; service binary path \"x\" y"}, // something after it
      {3, u"; service binary path \"\\q\""}, // no such escape
      {3, u"; service binary path \"\\x00G1\""},
      {6, u"; service dependencies \"\""},    // an empty name
      {6, u"; service dependencies \"a\"\"b\""},
      {6, u"; service dependencies "},
      {9, u"; service description \"\""},     // an empty description is none
      {9, u"; service description"},
      {10, u"; service description none"},    // every field read already
      {0, u"; deleted service \"x\""},
  };
  for (const Row& r : rows) {
    ServiceConfig config;
    config.type = 77;
    std::size_t fields = r.fields;
    EXPECT_FALSE(parseServiceField(r.line, fields, config)) << std::u16string_view(r.line).size();
    EXPECT_EQ(fields, r.fields);
    EXPECT_EQ(config.type, 77u);  // untouched
  }
  std::u16string name = u"keep";
  for (const char16_t* line : {u"; deleted service x", u"; deleted service \"\"", u"; deleted service \"x\" y",
                               u"; deleted key"})
    EXPECT_FALSE(parseServiceKindLine(line, name));
  EXPECT_EQ(name, u"keep");
}

}  // namespace
