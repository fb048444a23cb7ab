// ExpandEnvironmentStringsW, with the facts Wine's kernel32/tests/environ.c
// records for Windows.
#include <gtest/gtest.h>

#include <string>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

constexpr char kEnvironment[] = R"(
[environment]
EnvVar = "Long long value"
SystemRoot = 'C:\WINDOWS'
USERNAME = "Owner"
Self = "%EnvVar%"
Empty = ""
)";

struct ExpandCase {
  const char16_t* source;
  const char16_t* expected;
};

TEST(ExpandEnvironmentStrings, ExpandsAsWindowsDoes) {
  qftest::Machine m("env", kEnvironment);
  const ExpandCase cases[] = {
      {u"%EnvVar%", u"Long long value"},                             // size 16 with the terminator (Wine)
      {u"%envvar%", u"Long long value"},                             // names ignore case
      {u"%SYSTEMROOT%\\system32\\notepad.exe", u"C:\\WINDOWS\\system32\\notepad.exe"},
      {u"(%username%)\r\n", u"(Owner)\r\n"},                         // the report header's form
      {u"%NotAnEnvVar%", u"%NotAnEnvVar%"},                          // unknown: stays as written (Wine)
      {u"a%NotAnEnvVar%b%EnvVar%", u"a%NotAnEnvVar%bLong long value"},  // scanning goes on after an unknown one
      {u"100%", u"100%"},                                           // a lone %
      {u"50% of %EnvVar", u"50% of %EnvVar"},                        // a % with no partner
      {u"%%", u"%%"},                                               // an empty name is no reference
      {u"%Self%", u"%EnvVar%"},                                      // a value is not expanded again
      {u"[%Empty%]", u"[]"},                                        // a defined empty value
      {u"12345", u"12345"},                                         // nothing to expand (Wine)
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(emu::toUtf8(c.source)));
    char16_t buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    const win::DWORD n = win::ExpandEnvironmentStringsW(c.source, buffer, 256);
    EXPECT_EQ(std::u16string(buffer), c.expected);
    EXPECT_EQ(n, std::u16string(c.expected).size() + 1);
  }
}

TEST(ExpandEnvironmentStrings, SizeQueryAndTooSmallBuffer) {
  qftest::Machine m("env-size", kEnvironment);
  // The size query of the program's notepad lookup: no buffer.
  EXPECT_EQ(win::ExpandEnvironmentStringsW(u"%EnvVar%", nullptr, 0), 16u);
  // A buffer one short: the size needed comes back, the buffer stays as it was
  // (Windows may leave a partial result; no caller reads it).
  char16_t buffer[15];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(win::ExpandEnvironmentStringsW(u"%EnvVar%", buffer, 15), 16u);
  for (char16_t c : buffer) EXPECT_EQ(c, u'#');
  // Exactly the size needed is enough.
  char16_t exact[16];
  EXPECT_EQ(win::ExpandEnvironmentStringsW(u"%EnvVar%", exact, 16), 16u);
  EXPECT_EQ(std::u16string(exact), u"Long long value");
}

TEST(ExpandEnvironmentStrings, ImageWithoutEnvironment) {
  qftest::Machine m("env-none", "");
  char16_t buffer[32];
  EXPECT_EQ(win::ExpandEnvironmentStringsW(u"(%username%)", buffer, 32), 13u);
  EXPECT_EQ(std::u16string(buffer), u"(%username%)");
}

}  // namespace
