// The administrator gate and the privilege switch, over the token's answers.
#include <gtest/gtest.h>

#include <string>

#include "system/privileges.h"
#include "detectors/genscan_privileges.h"
#include "platform/emulated/machine/image.h"
#include "support/run_machine.h"

namespace {

using qftest::MachineImage;
using qftest::RunMachine;

class PrivilegeTest : public ::testing::Test {
 protected:
  void useToken(std::string token) {
    RunMachine m;
    m.token = std::move(token);
    qftest::build(image_, m);
    emu::useImage(image_.root());
  }
  MachineImage image_{"token"};
};

TEST_F(PrivilegeTest, IsAdmin) {
  struct Row {
    const char* token;
    int expected;
  } rows[] = {
      {"administrator = true\n", 1},
      {"administrator = false\n", 0},
      // Hundreds of domain groups: the list is read whole, however long.
      {"administrator = true\nextra_groups = 300\n", 1},
      {"administrator = false\nextra_groups = 300\n", 0},
      // Held only for deny checks (a filtered token): not an administrator.
      {"administrator = true\nadministrator_deny_only = true\n", 0},
      {"administrator = true\nfailing_calls = { \"OpenProcessToken\" = 5 }\n", 0},
      {"administrator = true\nfailing_calls = { \"GetTokenInformation\" = 5 }\n", 0},
  };
  for (const auto& row : rows) {
    useToken(row.token);
    EXPECT_EQ(isAdmin(), row.expected) << row.token;
  }
}

TEST_F(PrivilegeTest, Elevate) {
  const std::string both = "privileges = [\"SeShutdownPrivilege\", \"SeDebugPrivilege\"]\n";
  struct Row {
    std::string token;
    int expected;
  } rows[] = {
      {both, 0},
      // A token without the debug privilege: enabling "succeeds" without
      // assigning it, which counts as success.
      {"privileges = [\"SeShutdownPrivilege\"]\n", 0},
      {both + "failing_calls = { \"OpenProcessToken\" = 5 }\n", 1},
      {both + "failing_calls = { \"LookupPrivilegeValueW:SeDebugPrivilege\" = 1313 }\n", 2},
      {both + "failing_calls = { \"AdjustTokenPrivileges:SeDebugPrivilege\" = 5 }\n", 3},
      {both + "failing_calls = { \"LookupPrivilegeValueW:SeShutdownPrivilege\" = 1313 }\n", 4},
      {both + "failing_calls = { \"AdjustTokenPrivileges:SeShutdownPrivilege\" = 5 }\n", 5},
      // The shutdown privilege's failure overwrites the debug privilege's.
      {both +
           "failing_calls = { \"LookupPrivilegeValueW:SeDebugPrivilege\" = 1313, "
           "\"AdjustTokenPrivileges:SeShutdownPrivilege\" = 5 }\n",
       5},
  };
  for (const auto& row : rows) {
    useToken("administrator = true\n" + row.token);
    EXPECT_EQ(elevate(), row.expected) << row.token;
    EXPECT_EQ(elevate(), row.expected) << "again: " << row.token;  // calling it again is harmless
  }
}

}  // namespace
