// The round trip: on every image, QuorelFix's run (and its reboot pass where
// it schedules one) followed by QuorelRestore all leaves every file of the
// drives with its bytes at its path and every registry key and value with its
// type and bytes, as before the run. QuorelFix's own traces (its report, the
// backup folder, the RunOnce value) are left out of the comparison.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "restore_images.h"
#include "support/machine_state.h"

namespace {

using qftest::MachineImage;
using qftest::machineState;
using qftest::stateDifference;

struct Image {
  const char* name;
  void (*build)(MachineImage&);
  std::vector<std::string> args;  // QuorelFix's arguments
};

const Image kImages[] = {
    {"bundled demo", restore_scn::demoImage, {}},
    {"general sweep", restore_scn::sweepImage, {}},
    {"extension sweep", restore_scn::extensionImage, {}},
    {"removal script", restore_scn::scriptImage, {"C:\\script.txt"}},
};

TEST(RestoreRoundTrip, RestoringAllPutsEveryImageBackAsItWas) {
  for (const Image& row : kImages) {
    SCOPED_TRACE(row.name);
    MachineImage image(row.name);
    row.build(image);
    const qftest::MachineState before = machineState(image);

    auto run = image.run(row.args);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    // A scheduled reboot pass runs when the machine starts again.
    const bool restarted = image.journal().find("ExitWindowsEx") != std::string::npos;
    if (restarted) {
      auto boot = image.boot();
      ASSERT_EQ(boot.exitStatus, 0) << boot.err;
    }
    // The reboot pass appends its own run to the records.
    const std::string listed = restore_scn::restore(image).out;
    EXPECT_EQ(listed.find("\nRun 2010-07-03 14:05:09 after restart\n") != std::string::npos, restarted) << listed;
    // Every item can be put back: no other status shows.
    for (const char* status : {"not in the backup folder", "original place taken", "record", "not recorded"})
      EXPECT_EQ(listed.find(std::string("-> ") + status), std::string::npos) << listed;

    const qftest::MachineState removed = machineState(image);
    ASSERT_FALSE(stateDifference(before, removed).empty()) << "the run changed nothing";

    auto restored = restore_scn::restore(image, {"all"});
    ASSERT_EQ(restored.exitStatus, 0) << restored.out << restored.err;
    EXPECT_EQ(stateDifference(before, machineState(image)), "") << restore_scn::restoreReport(image);
    EXPECT_EQ(restore_scn::restoreReport(image).find("left as it is"), std::string::npos)
        << restore_scn::restoreReport(image);
  }
}

}  // namespace
