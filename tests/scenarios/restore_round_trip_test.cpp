// The round trip: on every image, QuorelFix's run (and its reboot pass where
// it schedules one) followed by QuorelRestore all leaves every file of the
// drives with its bytes at its path and every registry key and value with its
// type and bytes, as before the run, the keys of the services it deleted
// and QuorelRestore made again included. QuorelFix's own traces (its report,
// the backup folder, the RunOnce value) are left out of the comparison.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "restore_images.h"
#include "support/machine_state.h"

namespace {

using qftest::MachineImage;
using qftest::machineState;
using qftest::stateDifference;

using restore_scn::Image;
using restore_scn::kImages;

// QuorelFix's run, and the reboot pass when the run scheduled one (the
// machine starts again). Whether it restarted.
bool runWithRebootPass(const MachineImage& image, const std::vector<std::string>& args) {
  auto run = image.run(args);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  if (image.journal().find("ExitWindowsEx") == std::string::npos) return false;
  auto boot = image.boot();
  EXPECT_EQ(boot.exitStatus, 0) << boot.err;
  return true;
}

TEST(RestoreRoundTrip, RestoringAllPutsEveryImageBackAsItWas) {
  for (const Image& row : kImages) {
    SCOPED_TRACE(row.name);
    MachineImage image(row.name);
    row.build(image);
    const qftest::MachineState before = machineState(image);

    const bool restarted = runWithRebootPass(image, row.args);
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
    EXPECT_EQ(stateDifference(before, machineState(image)), "")
        << restore_scn::restoreReport(image);
    EXPECT_EQ(restore_scn::restoreReport(image).find("left as it is"), std::string::npos)
        << restore_scn::restoreReport(image);
  }
}

// The undo file is regedit's text: imported as it stands (here by the
// machine's own reader of registry.reg, appended after the run's changes as
// regedit would apply it), it brings every registry value and key back.
TEST(RestoreRoundTrip, ImportingTheUndoFileByHandPutsTheRegistryBack) {
  for (const Image& row : kImages) {
    SCOPED_TRACE(row.name);
    MachineImage image(row.name);
    row.build(image);
    const qftest::MachineState before = machineState(image);
    runWithRebootPass(image, row.args);

    const std::string undo = qftest::fromUtf16le(image.read(restore_scn::kUndo));
    const std::string header = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n";
    ASSERT_EQ(undo.substr(0, header.size()), header);
    const std::filesystem::path registry = image.root() / "registry.reg";
    std::string text = qftest::slurp(registry);
    ASSERT_NE(text.substr(0, 2), std::string("\xFF\xFE", 2)) << "the images' registry is UTF-8";
    text += "\r\n" + undo.substr(header.size());
    std::FILE* file = std::fopen(registry.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);

    const qftest::MachineState imported = machineState(image);
    EXPECT_EQ(stateDifference({{}, before.registry}, {{}, imported.registry}), "");
  }
}

}  // namespace
