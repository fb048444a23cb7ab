// Rogue name servers: which settings are blanked, the report lines they
// leave, and when the resolver cache is flushed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "sweep_image.h"
#include "support/machine_image.h"

namespace {

using sweeps::expectScanSection;
using sweeps::journalCount;

const std::string IFACES = R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\)";
const std::string GLOBAL = R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters])";
// The line for an interface value: one backslash before the interface, two
// before the value name.
std::string ifaceLine(std::string_view iface, std::string_view value) {
  return "\r\n" R"(Removing HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\)" +
         std::string(iface) + R"(\\)" + std::string(value);
}
// The global key's line shows three backslashes before the value name.
std::string globalLine(std::string_view value) {
  return "\r\n" R"(Removing HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\\\)" +
         std::string(value);
}

struct Case {
  const char* name;
  std::string registry;  // blocks added to the base machine
  std::string toml;      // entries added to machine.toml
  std::string section;   // the scan section expected
  bool blanked;          // whether an empty "NameServer" is stored afterwards
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class NameServers : public ::testing::TestWithParam<Case> {};

TEST_P(NameServers, ScanSectionAndFlush) {
  const Case& c = GetParam();
  qftest::MachineImage image(c.name);
  sweeps::setUp(image, c.toml, c.registry);
  image.run();
  expectScanSection(image, c.section);
  EXPECT_EQ(journalCount(image, sweeps::FLUSH), 1) << image.journal();
  const bool emptied = image.registryText().find(R"("NameServer"="")") != std::string::npos;
  EXPECT_EQ(emptied, c.blanked) << image.registryText();
}

INSTANTIATE_TEST_SUITE_P(
    Wareout, NameServers,
    ::testing::Values(
        // The value is exactly the prefix.
        Case{"EqualToPrefix", IFACES + "{A1}]\n\"NameServer\"=\"85.255.11\"\n", "",
             ifaceLine("{A1}", "NameServer") + " -> Success!", true},
        // Any address starting with the nine characters, whatever follows; a
        // list whose first address is rogue loses all its addresses.
        Case{"StartsWithPrefix", IFACES + "{A1}]\n\"NameServer\"=\"85.255.119.7,192.168.0.1\"\n", "",
             ifaceLine("{A1}", "NameServer") + " -> Success!", true},
        // Eight characters never match.
        Case{"ShorterThanPrefix", IFACES + "{A1}]\n\"NameServer\"=\"85.255.1\"\n", "", "", false},
        // No trimming: a blank before the address hides it.
        Case{"BlankFirst", IFACES + "{A1}]\n\"NameServer\"=\" 85.255.112.1\"\n", "", "", false},
        // Only the start of the list counts.
        Case{"HarmlessBeforeRogue", IFACES + "{A1}]\n\"NameServer\"=\"192.168.0.1,85.255.112.1\"\n", "", "", false},
        // A harmless range that shares the first eight characters.
        Case{"NeighbourRange", IFACES + "{A1}]\n\"NameServer\"=\"85.255.12.1\"\n", "", "", false},
        // Both values of one interface: "NameServer" first, whatever the
        // order in which they are stored.
        Case{"BothValuesOfOneInterface",
             IFACES + "{A1}]\n\"DhcpNameServer\"=\"85.255.112.1 85.255.112.2\"\n\"NameServer\"=\"85.255.113.9\"\n", "",
             ifaceLine("{A1}", "NameServer") + " -> Success!" + ifaceLine("{A1}", "DhcpNameServer") + " -> Success!",
             true},
        // Interfaces in the order the registry lists them; a clean one between.
        Case{"SeveralInterfaces",
             IFACES + "{C3}]\n\"DhcpNameServer\"=\"85.255.114.2\"\n\n" + IFACES +
                 "{B2}]\n\"NameServer\"=\"10.0.0.1\"\n\n" + IFACES + "{A1}]\n\"NameServer\"=\"85.255.115.3\"\n",
             "", ifaceLine("{A1}", "NameServer") + " -> Success!" + ifaceLine("{C3}", "DhcpNameServer") + " -> Success!",
             true},
        // No interfaces at all: the global key alone, three backslashes.
        Case{"GlobalKeyOnly", GLOBAL + "\n\"NameServer\"=\"85.255.116.4\"\n\"DhcpNameServer\"=\"85.255.116.5\"\n", "",
             globalLine("NameServer") + " -> Success!" + globalLine("DhcpNameServer") + " -> Success!", true},
        // Interfaces before the global key.
        Case{"InterfaceThenGlobal",
             GLOBAL + "\n\"DhcpNameServer\"=\"85.255.117.1\"\n\n" + IFACES + "{A1}]\n\"NameServer\"=\"85.255.117.2\"\n",
             "", ifaceLine("{A1}", "NameServer") + " -> Success!" + globalLine("DhcpNameServer") + " -> Success!",
             true},
        // The registry refuses the write: the code follows, the next value is
        // still repaired.
        Case{"RefusedWrite",
             IFACES + "{A1}]\n\"NameServer\"=\"85.255.118.1\"\n\n" + IFACES + "{B2}]\n\"NameServer\"=\"85.255.118.2\"\n",
             "[[fault.registry]]\n"
             "key = 'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{A1}'\n"
             "access = 0x0002\ncode = 5\n",
             ifaceLine("{A1}", "NameServer") + " -> SetValue failed [5]" + ifaceLine("{B2}", "NameServer") +
                 " -> Success!",
             true},
        // A code of more digits is written whole.
        Case{"RefusedWriteLongCode", IFACES + "{A1}]\n\"NameServer\"=\"85.255.118.1\"\n",
             "[[fault.registry]]\n"
             "key = 'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{A1}'\n"
             "access = 0x0002\ncode = 1018\n",
             ifaceLine("{A1}", "NameServer") + " -> SetValue failed [1018]", false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The value keeps its name and becomes REG_SZ holding only its terminator,
// whatever type it had.
TEST(Wareout, BlankedValueIsAnEmptyString) {
  qftest::MachineImage image("blank-type");
  sweeps::setUp(image, "",
                IFACES + "{A1}]\n\"NameServer\"=hex(2):38,00,35,00,2e,00,32,00,35,00,35,00,2e,00,31,00,31,00,32,00,"
                         "2e,00,31,00,00,00\n");
  image.run();
  expectScanSection(image, ifaceLine("{A1}", "NameServer") + " -> Success!");
  const std::string reg = image.registryText();
  const std::size_t block =
      reg.rfind(R"([HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{A1}])");
  ASSERT_NE(block, std::string::npos);
  EXPECT_NE(reg.find(R"("NameServer"="")", block), std::string::npos) << reg;
}

// Without the interfaces key there is nothing to repair: not even the global
// key is read, and the cache is not flushed.
TEST(Wareout, NoInterfacesKeyMeansNoLineAndNoFlush) {
  qftest::MachineImage image("no-interfaces-key");
  sweeps::setUp(image, "",
                R"([-HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces])"
                "\n\n" +
                    GLOBAL + "\n\"NameServer\"=\"85.255.112.1\"\n");
  image.run();
  expectScanSection(image, "");
  EXPECT_EQ(journalCount(image, sweeps::FLUSH), 0) << image.journal();
  EXPECT_EQ(image.registryText().find(R"("NameServer"="")"), std::string::npos);
}

}  // namespace
