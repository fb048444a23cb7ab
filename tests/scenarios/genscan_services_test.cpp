// The service phase of the definition sweep: delete, then stop, and the line
// each situation of the service control manager leaves.
#include <gtest/gtest.h>
#include <toml++/toml.h>

#include <ostream>
#include <string>

#include "sweep_image.h"
#include "support/machine_image.h"

namespace {

using sweeps::expectScanSection;

std::string service(std::string_view name, std::string_view state, std::string_view more = {}) {
  return "[[service]]\nname = \"" + std::string(name) + "\"\nstate = \"" + std::string(state) + "\"\n" +
         std::string(more) + "\n";
}
std::string removing(std::string_view name) { return "\r\nRemoving service: \"" + std::string(name) + "\" -> "; }

struct Case {
  const char* name;
  std::string toml;
  std::string section;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Services : public ::testing::TestWithParam<Case> {};

TEST_P(Services, ScanSection) {
  const Case& c = GetParam();
  qftest::MachineImage image(c.name);
  sweeps::setUp(image, c.toml);
  image.run();
  expectScanSection(image, c.section);
}

INSTANTIATE_TEST_SUITE_P(
    GenScan, Services,
    ::testing::Values(
        // None of the six is installed; another service is not looked at.
        Case{"Missing", service("Spooler", "running"), ""},
        // Not running: the stop request fails with the state "stopped".
        Case{"Stopped", service("dnsfilter", "stopped"), removing("dnsfilter") + "Successful"},
        // Running and stoppable: the stop request succeeds.
        Case{"RunningStops", service("xwoarh", "running", "accepts_stop = true"), removing("xwoarh") + "Successful"},
        // Running, refusing the stop: it goes at the restart.
        Case{"RunningRefusesStop", service("xwoarh", "running", "accepts_stop = false"),
             removing("xwoarh") + "Successful (reboot)"},
        // Already stopping: no restart note.
        Case{"StopPending", service("fio32", "stop_pending", "accepts_stop = false"), removing("fio32") + "Successful"},
        // The stop request fails without a status record: the state is
        // unknown, and an unknown state is not taken for stopped.
        Case{"StopFailsWithoutRecord", service("fioo32", "running", "stop_error = 1053"),
             removing("fioo32") + "Successful (reboot)"},
        Case{"StoppedButStopFailsWithoutRecord", service("fioo32", "stopped", "stop_error = 5"),
             removing("fioo32") + "Successful (reboot)"},
        // Deletion refused: the code, and the stop request still goes out.
        Case{"DeletionRefused", service("ddnsfilter", "stopped", "delete_error = 5"),
             removing("ddnsfilter") + "Failed [5]"},
        Case{"DeletionRefusedWhileRunning", service("ddnsfilter", "running", "accepts_stop = false\ndelete_error = 1072"),
             removing("ddnsfilter") + "Failed [1072] (reboot)"},
        // Cannot be opened: the name without a closing quote, then the code.
        Case{"OpenRefused", service("dnsfilter", "running", "open_error = 5"),
             "\r\nUnable to open handle to \"dnsfilter[5]."},
        // The manager itself refuses: one line, and no service is touched.
        Case{"ManagerRefuses", "[service_manager]\nopen_error = 5\n" + service("dnsfilter", "running"),
             "\r\nUnable to open SCM [5].\r\n"},
        // Table order, not the order of the machine's list.
        Case{"TableOrder",
             service("fio32", "stopped") + service("xwoarh", "stopped") + service("dnsfilter", "stopped") +
                 service("fioo32", "running", "open_error = 5"),
             removing("dnsfilter") + "Successful" + removing("xwoarh") + "Successful" +
                 "\r\nUnable to open handle to \"fioo32[5]." + removing("fio32") + "Successful"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The service's entry in the machine after the run.
toml::table serviceEntry(const qftest::MachineImage& image, std::string_view name) {
  toml::table config = toml::parse_file((image.root() / "machine.toml").string());
  if (auto* services = config["service"].as_array())
    for (auto& entry : *services)
      if (auto* table = entry.as_table(); table && (*table)["name"].value_or(std::string()) == name) return *table;
  return {};
}

// The stop request is sent even when the deletion is refused.
TEST(GenScanServices, StopIsSentAfterRefusedDeletion) {
  qftest::MachineImage image("stop-after-refusal");
  sweeps::setUp(image, service("ddnsfilter", "running", "accepts_stop = true\ndelete_error = 5"));
  image.run();
  expectScanSection(image, removing("ddnsfilter") + "Failed [5]");
  EXPECT_EQ(serviceEntry(image, "ddnsfilter")["state"].value_or(std::string()), "stopped");
}

// Without a manager, nothing is stopped.
TEST(GenScanServices, NothingStoppedWhenTheManagerRefuses) {
  qftest::MachineImage image("manager-refuses");
  sweeps::setUp(image, "[service_manager]\nopen_error = 5\n" + service("dnsfilter", "running", "accepts_stop = true"));
  image.run();
  EXPECT_EQ(serviceEntry(image, "dnsfilter")["state"].value_or(std::string()), "running");
}

}  // namespace
