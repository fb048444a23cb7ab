// The extension inventory at the end of the report: headings, "(none)" lines,
// the registry key's states, creation-time stamps in UTC and error codes. The
// inventory section is compared byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "quorel_image.h"

namespace {

using namespace quorel_scn;

const std::string PF = std::string(FF_EXT);
const std::string P1 = std::string(PROFILES) + R"(a1b2c3d4.default\extensions\)";
const std::string P2 = std::string(PROFILES) + R"(e5f6g7h8.work\extensions\)";
const std::string REG = "[" + std::string(REG_KEY) + "]\n";
const std::string REG_HEADING = "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions]";

std::string fileTime(const std::string& path, const char* created) {
  return "[[file_time]]\npath = '" + path + "'\ncreated = " + created + "\n";
}

// The machine's clock runs two hours ahead of UTC; the stamps stay in UTC.
TEST(QuorelInventory, StampsAndErrorCodes) {
  qftest::MachineImage image("stamps");
  clean(image, PF + "{late}");
  clean(image, PF + "{padded}");
  clean(image, P1 + "{new-year}");
  image.folder(P2);
  clean(image, R"(C:\Documents and Settings\Owner\Ext\{env})");
  image.folder(R"(C:\Ext\{denied})");
  const std::string toml =
      // 22:30 UTC on 2 July is 00:30 on 3 July on this machine's clock.
      fileTime(PF + "{late}", "2010-07-02T22:30:00Z") +
      fileTime(PF + "{padded}", "2010-02-01T09:05:00Z") +
      fileTime(P1 + "{new-year}", "2009-12-31T23:59:59Z") +
      fileTime(R"(C:\Documents and Settings\Owner\Ext\{env})", "2010-07-03T00:00:00Z") +
      "[[fault.file]]\npath = 'C:\\Ext\\{denied}'\ncode = 5\nattributes = false\n"
      // The sweep cannot delete the orphans' values, so they stay for the inventory.
      "[[fault.registry]]\nkey = '" + std::string(REG_KEY) + "'\naccess = 0x0002\ncode = 5\n";
  const std::string registry = REG +
                               R"("{env}"="%USERPROFILE%\\Ext\\{env}")" "\n"
                               R"("{missing}"="C:\\Ext\\{missing}")" "\n"
                               R"("{no-path}"="C:\\Gone\\{no-path}")" "\n"
                               R"("{denied}"="C:\\Ext\\{denied}")" "\n"
                               R"("{empty}"="")" "\n";
  setUp(image, toml, registry);

  const auto result = image.run();
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  expectBytes(scanSection(image),
              "\r\n(none)"  // the second profile
              "\r\nRemoving Orphan:\r\n\"{missing}\"=\"C:\\Ext\\{missing}\" -> Failed [5]"
              "\r\nRemoving Orphan:\r\n\"{no-path}\"=\"C:\\Gone\\{no-path}\" -> Failed [5]");
  expectBytes(inventorySection(image),
              "\r\n" + PF +
              "\r\n{late} [22:30 02/07/2010]"
              "\r\n{padded} [09:05 01/02/2010]"
              "\r\n\r\n" + P1 +
              "\r\n{new-year} [23:59 31/12/2009]"
              "\r\n\r\n" + P2 +
              "\r\n(none)" + REG_HEADING +
              // The data as stored; the stamp belongs to the expanded path.
              "\r\n\"{env}\"=\"%USERPROFILE%\\Ext\\{env}\" [00:00 03/07/2010]"
              "\r\n\"{missing}\"=\"C:\\Ext\\{missing}\" [Error code: 2]"
              "\r\n\"{no-path}\"=\"C:\\Gone\\{no-path}\" [Error code: 3]"
              "\r\n\"{denied}\"=\"C:\\Ext\\{denied}\" [Error code: 5]"
              // No path to stamp: shown as a folder that is not there.
              "\r\n\"{empty}\"=\"\" [Error code: 2]");
}

struct KeyCase {
  const char* what;
  std::string toml;
  std::string registry;
  std::string expected;  // after the registry heading
};

// Without a program-wide folder and without profiles, the registry heading
// follows the program-wide part directly; the key's state decides the rest.
TEST(QuorelInventory, KeyStates) {
  const KeyCase cases[] = {
      {"key missing", "", "", "\r\n(Key not found)"},
      {"key refuses reading", "[[fault.registry]]\nkey = '" + std::string(REG_KEY) + "'\naccess = 0x0001\ncode = 5\n",
       REG + R"("{a}"="C:\\Ext\\{a}")" "\n", "\r\n(Unable to open key, error code: 5)"},
      {"key empty", "", REG, "\r\n(none)"},
      {"key with values of other types only", "", REG + R"("{n}"=dword:00000001)" "\n", "\r\n(none)"},
  };
  for (const KeyCase& c : cases) {
    qftest::MachineImage image(c.what);
    setUp(image, c.toml, c.registry);
    ASSERT_EQ(image.run().exitStatus, 0) << c.what;
    SCOPED_TRACE(c.what);
    expectBytes(inventorySection(image), "\r\n" + PF + "\r\n(none)" + REG_HEADING + c.expected);
  }
}

}  // namespace
