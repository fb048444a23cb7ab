// The program on machine images that are damaged, or that would lead the
// machine outside its image: a damaged registry.reg or a missing drive folder
// still gives a run that ends normally and leaves files that load again; a
// symbolic link below a drive folder stops the machine before it acts, so no
// host file outside the image is ever moved.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/machine_image.h"

namespace {

namespace fs = std::filesystem;
using qftest::MachineImage;

void copyDemoImage(const MachineImage& image) {
  fs::copy(fs::path(QF_SOURCE_DIR) / "images" / "xp-demo", image.root(),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// A host folder outside every image, with a file the machine must not touch.
struct Outside {
  MachineImage folder{"outside"};  // used as a plain host folder
  fs::path secret() const { return folder.root() / "secret"; }
  Outside() {
    fs::create_directories(secret());
    std::FILE* f = std::fopen((secret() / "data.txt").c_str(), "wb");
    std::fputs("precious", f);
    std::fclose(f);
  }
};

TEST(DamagedImage, ALinkOutOfTheImageStopsTheMachineBeforeItActs) {
  Outside outside;
  MachineImage image("link-out");
  copyDemoImage(image);
  fs::create_directory_symlink(outside.secret(), image.host("C:\\Program Files\\evil"));
  image.file("C:\\script.txt", "C:\\Program Files\\evil\\data.txt\nC:\\Program Files\\evil\n");

  const qftest::RunResult run = image.run({"C:\\script.txt"});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;
  EXPECT_EQ(qftest::slurp(outside.secret() / "data.txt"), "precious");
  EXPECT_FALSE(fs::exists(image.root() / "journal.txt"));  // nothing was done
  // The boot of such an image stops the same way.
  EXPECT_EQ(image.boot().exitStatus, 2);
}

// Links of every kind, at any depth below a drive folder, after folders that
// hold none: each stops the run, named in the message, before anything is done.
TEST(DamagedImage, ALinkAnywhereBelowADriveStopsTheMachine) {
  struct Case {
    const char* what;
    const char* link;    // made at this Windows path
    bool toFolder;       // pointing at the outside folder, else at its file
    bool dangling;       // pointing at nothing
  };
  const Case cases[] = {
      // A folder link deep in a profile, below folders the walk lists first.
      {"deep folder link", "C:\\Documents and Settings\\Owner\\Application Data\\deep\\er\\evil", true, false},
      // A link to a file is refused as a folder link is.
      {"file link", "C:\\WINDOWS\\system32\\evil.dll", false, false},
      // A link to nothing is refused too: what it may point to later is outside the image.
      {"dangling link", "C:\\Program Files\\gone", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Outside outside;
    MachineImage image("link-below");
    copyDemoImage(image);
    const fs::path link = image.host(c.link);
    fs::create_directories(link.parent_path());
    if (c.dangling)
      fs::create_symlink(outside.folder.root() / "nothing-here", link);
    else if (c.toFolder)
      fs::create_directory_symlink(outside.secret(), link);
    else
      fs::create_symlink(outside.secret() / "data.txt", link);
    const qftest::RunResult run = image.run();
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find(link.filename().string()), std::string::npos) << run.err;
    EXPECT_EQ(qftest::slurp(outside.secret() / "data.txt"), "precious");
    EXPECT_FALSE(fs::exists(image.root() / "journal.txt"));
  }
}

TEST(DamagedImage, ADriveFolderThatIsALinkStopsTheMachine) {
  Outside outside;
  MachineImage image("drive-link");
  copyDemoImage(image);
  fs::create_directory_symlink(outside.folder.root(), image.root() / "drive_d");
  const qftest::RunResult run = image.run();
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find("drive_d"), std::string::npos) << run.err;
  EXPECT_EQ(qftest::slurp(outside.secret() / "data.txt"), "precious");
}

// registry.reg cut short at points spread over the file, and with a run of
// garbage in the middle: a file cut between lines reads and runs (changes
// are appended after every byte it had); one cut inside a line, or holding
// garbage, stops the machine with status 2, naming the file and the line,
// before anything is changed.
TEST(DamagedImage, ADamagedRegistryFileRunsOrIsRefusedByLine) {
  const std::string whole = qftest::slurp(fs::path(QF_SOURCE_DIR) / "images" / "xp-demo" / "registry.reg");
  std::vector<std::string> damaged;
  for (std::size_t part = 1; part <= 8; ++part) damaged.push_back(whole.substr(0, whole.size() * part / 9));
  damaged.push_back(whole.substr(0, whole.size() / 2) + std::string("\x00\xFF[\"=\x01hex(7):,,\\\n", 18) +
                    whole.substr(whole.size() / 2));
  int refused = 0;
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE("variant " + std::to_string(i));
    MachineImage image("damaged-reg");
    copyDemoImage(image);
    {
      std::FILE* f = std::fopen((image.root() / "registry.reg").c_str(), "wb");
      std::fwrite(damaged[i].data(), 1, damaged[i].size(), f);
      std::fclose(f);
    }
    const qftest::RunResult run = image.run();
    const std::string after = qftest::slurp(image.root() / "registry.reg");
    if (run.exitStatus == 2) {
      ++refused;
      EXPECT_NE(run.err.find("the machine image's registry cannot be read: "), std::string::npos) << run.err;
      EXPECT_NE(run.err.find("registry.reg:"), std::string::npos) << run.err;
      EXPECT_EQ(after, damaged[i]);
      EXPECT_FALSE(fs::exists(image.root() / "journal.txt"));
      continue;
    }
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(after.substr(0, damaged[i].size()), damaged[i]);
    EXPECT_EQ(image.boot().exitStatus, 0);
    EXPECT_EQ(image.run().exitStatus, 0);
  }
  EXPECT_GE(refused, 1);  // the garbage at least
}

TEST(DamagedImage, AMissingDriveFolderStillRuns) {
  MachineImage image("no-drive");
  copyDemoImage(image);
  fs::remove_all(image.root() / "drive_c");
  const qftest::RunResult run = image.run();
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(image.boot().exitStatus, 0);
}

}  // namespace
