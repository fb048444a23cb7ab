// QuorelRestore after a QuorelFix run on a small infected machine: the list,
// a partial restore, places taken again since the run, a restore run twice,
// records damaged at random points, missing or damaged record files, and the
// administrator gate. Console texts and report lines are compared exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "restore_images.h"
#include "support/machine_state.h"
#include "support/run_machine.h"

namespace {

namespace fs = std::filesystem;
using qftest::MachineImage;
using qftest::MachineState;
using qftest::machineState;
using restore_scn::restore;
using restore_scn::restoreReport;

constexpr char kInterface[] = R"(SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{1})";

// One folder, one file, one blanked name server and one Run value; and Notepad.
void smallImage(MachineImage& image) {
  sweeps::setUp(image, {}, R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce]

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"sysldtray"="C:\\WINDOWS\\ld12.exe"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{1}]
"NameServer"="85.255.112.36"
)");
  image.file(R"(C:\Program Files\webserver\srv.exe)", "MZ server");
  image.file(R"(C:\WINDOWS\bk23567.dat)", "bk");
  image.file(R"(C:\WINDOWS\system32\notepad.exe)", "MZ notepad");  // the viewer of the reports
}

constexpr const char* kList =
    "What QuorelFix removed:\n"
    "\n"
    "Run 2010-07-03 14:05:09\n"
    "  1. folder \"C:\\Program Files\\webserver\" -> %1\n"
    "  2. file \"C:\\WINDOWS\\bk23567.dat\" -> %2\n"
    "  3. blanked value \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{1}\\\\NameServer\" -> %3\n"
    "  4. value \"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\sysldtray\" -> %4\n"
    "\n"
    "QuorelRestore all, or QuorelRestore followed by item numbers, puts items back.\n";

// The list with each item's status put in.
std::string list(const std::vector<std::string>& statuses) {
  std::string text = kList;
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    const std::string mark = "%" + std::to_string(i + 1);
    text.replace(text.find(mark), mark.size(), statuses[i]);
  }
  return text;
}

const std::string kItem1 = "Item 1: Restoring folder \"C:\\Program Files\\webserver\" -> ";
const std::string kItem2 = "Item 2: Restoring file \"C:\\WINDOWS\\bk23567.dat\" -> ";
const std::string kItem3 = "Item 3: Restoring blanked value \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{1}\\\\NameServer\" -> ";
const std::string kItem4 = "Item 4: Restoring value \"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\sysldtray\" -> ";

// One restore's part of the report; a later restore is added after a blank line.
std::string report(const std::vector<std::string>& lines) {
  std::string text =
      "QuorelRestore by quillfen (03.07.10.1)\r\nLog created at 14:05 on 03/07/2010 (Owner)\r\n"
      "\r\n========== Restore ==========\r\n";
  for (const auto& line : lines) text += "\r\n" + line;
  return text + "\r\n\r\n-=E.O.F=-";
}
constexpr std::string_view kNextRestore = "\r\n\r\n";

// The console of a restore: the report's lines, then the outcome and where the report is.
const std::string kReportAt = " The report is \"" + std::string(restore_scn::kRestoreReport) + "\".\n";
std::string console(const std::vector<std::string>& lines, int notBack) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text + (notBack == 0 ? "\nEvery item asked for is back in place."
                              : "\nNot back in place: " + std::to_string(notBack) + " of the " +
                                    std::to_string(lines.size()) + " items asked for.") +
         kReportAt;
}

// Where the report says the backed-up copies are.
std::string copyIs(std::string_view original) { return "; the backed-up copy is \"" + sweeps::quarantined(original) + "\""; }
const std::string kCopyInUndo = "; the backed-up copy is in \"" + std::string(restore_scn::kUndo) + "\"";

// Every restore opens its report in Notepad, last.
bool endsWithTheViewer(const MachineImage& image) {
  const std::string line = qftest::notepadLine(restore_scn::kRestoreReport);
  const std::string journal = image.journal();
  return journal.size() >= line.size() && journal.compare(journal.size() - line.size(), line.size(), line) == 0;
}

void setString(const MachineImage& image, win::HKEY root, const char16_t* subKey, const char16_t* name,
               const std::u16string& text) {
  emu::useImage(image.root());
  win::ScopedKey key;
  ASSERT_EQ(win::RegOpenKeyExW(root, subKey, 0, win::KEY_SET_VALUE, key.receive()), win::ERROR_SUCCESS);
  ASSERT_EQ(win::RegSetValueExW(key.get(), name, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(text.c_str()),
                                static_cast<win::DWORD>((text.size() + 1) * 2)),
            win::ERROR_SUCCESS);
}

class RestoreCompanion : public ::testing::Test {
 protected:
  void SetUp() override {
    smallImage(image);
    before = machineState(image);
    auto run = image.run();
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    removed = machineState(image);
  }

  MachineImage image{"restore"};
  MachineState before;
  MachineState removed;
};

TEST_F(RestoreCompanion, ListsWhatWasRemovedRunByRunWithoutChangingAnything) {
  auto listed = restore(image);
  EXPECT_EQ(listed.exitStatus, 0);
  EXPECT_EQ(listed.out, list({"can be put back", "can be put back", "can be put back", "can be put back"}));
  EXPECT_EQ(qftest::stateDifference(removed, machineState(image)), "");
  EXPECT_FALSE(image.exists(restore_scn::kRestoreReport));
}

TEST_F(RestoreCompanion, PutsBackOnlyTheItemsAskedFor) {
  auto restored = restore(image, {"2", "4"});
  ASSERT_EQ(restored.exitStatus, 0) << restored.out;
  // The last removed first, on the console as in the report.
  const std::string first = report({kItem4 + "Success!", kItem2 + "Success!"});
  EXPECT_EQ(restoreReport(image), first);
  EXPECT_EQ(restored.out, console({kItem4 + "Success!", kItem2 + "Success!"}, 0));
  EXPECT_TRUE(endsWithTheViewer(image)) << image.journal();
  EXPECT_EQ(image.read(R"(C:\WINDOWS\bk23567.dat)"), "bk");
  EXPECT_FALSE(image.exists(R"(C:\Program Files\webserver)"));
  EXPECT_EQ(restore(image).out, list({"can be put back", "back in place", "can be put back", "back in place"}));

  // The report keeps the earlier restore.
  restored = restore(image, {"1", "3"});
  ASSERT_EQ(restored.exitStatus, 0) << restored.out;
  EXPECT_EQ(restoreReport(image),
            first + std::string(kNextRestore) + report({kItem3 + "Success!", kItem1 + "Success!"}));
  EXPECT_EQ(qftest::stateDifference(before, machineState(image)), "");
  EXPECT_EQ(restore(image).out, list({"back in place", "back in place", "back in place", "back in place"}));
}

// The place holds exactly what was removed (the same bytes, the same tree,
// the same value) while the copy is still in the backup folder: back in
// place, and the copy stays where the line says.
TEST_F(RestoreCompanion, TellsAnItemBackInPlaceFromOneWhosePlaceIsTaken) {
  image.file(R"(C:\WINDOWS\bk23567.dat)", "bk");
  image.file(R"(C:\Program Files\webserver\srv.exe)", "MZ server");
  setString(image, win::HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"sysldtray",
            u"C:\\WINDOWS\\ld12.exe");
  std::u16string iface(kInterface, kInterface + sizeof kInterface - 1);
  setString(image, win::HKEY_LOCAL_MACHINE, iface.c_str(), u"NameServer", u"85.255.112.36");
  EXPECT_EQ(restore(image).out, list({"back in place", "back in place", "back in place", "back in place"}));

  // A byte more, an extra file in the folder, a value of another type: taken.
  image.file(R"(C:\WINDOWS\bk23567.dat)", "bk ");
  image.file(R"(C:\Program Files\webserver\new.txt)", "");
  emu::useImage(image.root());
  {
    win::ScopedKey key;
    ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, iface.c_str(), 0, win::KEY_SET_VALUE, key.receive()), 0);
    const std::u16string server = u"85.255.112.36";
    ASSERT_EQ(win::RegSetValueExW(key.get(), u"NameServer", 0, win::REG_EXPAND_SZ,
                                  reinterpret_cast<const win::BYTE*>(server.c_str()),
                                  static_cast<win::DWORD>((server.size() + 1) * 2)),
              0);
  }
  EXPECT_EQ(restore(image).out,
            list({"original place taken", "original place taken", "original place taken", "back in place"}));

  auto restored = restore(image, {"all"});
  EXPECT_EQ(restored.exitStatus, 2);
  const std::string taken = "Original place taken, left as it is";
  const std::vector<std::string> lines = {
      kItem4 + "Back in place already, left as it is" + kCopyInUndo, kItem3 + taken + kCopyInUndo,
      kItem2 + taken + copyIs(R"(C:\WINDOWS\bk23567.dat)"), kItem1 + taken + copyIs(R"(C:\Program Files\webserver)")};
  EXPECT_EQ(restoreReport(image), report(lines));
  EXPECT_EQ(restored.out, console(lines, 3));
  EXPECT_EQ(image.read(sweeps::quarantined(R"(C:\WINDOWS\bk23567.dat)")), "bk");
}

TEST_F(RestoreCompanion, NeverOverwritesWhatTookAnItemsPlace) {
  image.file(R"(C:\WINDOWS\bk23567.dat)", "a new file");
  image.folder(R"(C:\Program Files\webserver)");
  setString(image, win::HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"sysldtray",
            u"C:\\new.exe");
  std::u16string iface(kInterface, kInterface + sizeof kInterface - 1);
  setString(image, win::HKEY_LOCAL_MACHINE, iface.c_str(), u"NameServer", u"10.1.1.1");
  const MachineState occupied = machineState(image);

  EXPECT_EQ(restore(image).out, list({"original place taken", "original place taken", "original place taken",
                                      "original place taken"}));
  auto restored = restore(image, {"all"});
  EXPECT_EQ(restored.exitStatus, 2) << restored.out;
  const std::string taken = "Original place taken, left as it is";
  const std::vector<std::string> lines = {kItem4 + taken + kCopyInUndo, kItem3 + taken + kCopyInUndo,
                                          kItem2 + taken + copyIs(R"(C:\WINDOWS\bk23567.dat)"),
                                          kItem1 + taken + copyIs(R"(C:\Program Files\webserver)")};
  EXPECT_EQ(restoreReport(image), report(lines));
  EXPECT_EQ(restored.out, console(lines, 4));
  EXPECT_EQ(qftest::stateDifference(occupied, machineState(image)), "");
  // The items wait in the backup folder.
  EXPECT_EQ(image.read(sweeps::quarantined(R"(C:\WINDOWS\bk23567.dat)")), "bk");
  EXPECT_EQ(image.read(sweeps::quarantined(R"(C:\Program Files\webserver\srv.exe)")), "MZ server");
}

TEST_F(RestoreCompanion, RestoringTwiceChangesNothingTheSecondTime) {
  ASSERT_EQ(restore(image, {"all"}).exitStatus, 0);
  const std::string first = restoreReport(image);
  const MachineState once = machineState(image);
  EXPECT_EQ(qftest::stateDifference(before, once), "");

  // Everything was already back: that is what was asked for.
  auto again = restore(image, {"all"});
  EXPECT_EQ(again.exitStatus, 0) << again.out;
  const std::string back = "Back in place already, left as it is";
  const std::vector<std::string> lines = {kItem4 + back + kCopyInUndo, kItem3 + back + kCopyInUndo, kItem2 + back,
                                          kItem1 + back};
  EXPECT_EQ(restoreReport(image), first + std::string(kNextRestore) + report(lines));
  EXPECT_EQ(again.out, console(lines, 0));
  EXPECT_EQ(qftest::stateDifference(once, machineState(image)), "");

  // Moved by hand out of its place, the file is neither back nor in the backup folder.
  std::filesystem::remove(image.host(R"(C:\WINDOWS\bk23567.dat)"));
  auto third = restore(image, {"2"});
  EXPECT_EQ(third.exitStatus, 2);
  EXPECT_EQ(third.out, console({kItem2 + "Not in the backup folder, left as it is"}, 1));
}

TEST_F(RestoreCompanion, AnItemThatCannotMoveStaysInTheBackupFolder) {
  // Something holds the quarantined file open now.
  image.config(qftest::slurp(image.root() / "machine.toml") + "\n[[fault.file]]\npath = '" +
               sweeps::quarantined(R"(C:\WINDOWS\bk23567.dat)") + "'\ncode = 32\nattributes = true\n");
  auto restored = restore(image, {"2"});
  EXPECT_EQ(restored.exitStatus, 2) << restored.out;
  EXPECT_EQ(restoreReport(image), report({kItem2 + "Failed [32]" + copyIs(R"(C:\WINDOWS\bk23567.dat)")}));
  EXPECT_FALSE(image.exists(R"(C:\WINDOWS\bk23567.dat)"));
  EXPECT_EQ(image.read(sweeps::quarantined(R"(C:\WINDOWS\bk23567.dat)")), "bk");
}

const std::string kUsage =
    "QuorelRestore puts back what QuorelFix removed, from \"QuorelFix Backups\" on the desktop.\n"
    "\n"
    "  QuorelRestore            list what QuorelFix removed, run by run, numbered\n"
    "  QuorelRestore all        put every item back\n"
    "  QuorelRestore 3 7 12     put back the items of these numbers\n"
    "  QuorelRestore /?         show this text\n"
    "\n"
    "Nothing is put back over what has taken an item's place since. Each restore\n"
    "is added to the report QuorelRestore.txt on the desktop.\n"
    "Exit status: 0 every item asked for is back in place (or nothing was asked),\n"
    "1 nothing could be restored (no administrator, no backup folder or records,\n"
    "no report), 2 some item asked for is not back in place, 3 bad arguments.\n";

TEST_F(RestoreCompanion, UnknownItemNumbersAndArguments) {
  auto restored = restore(image, {"7", "0"});
  EXPECT_EQ(restored.exitStatus, 2) << restored.out;
  EXPECT_EQ(restoreReport(image), report({"Item 7 -> No such item", "Item 0 -> No such item"}));
  EXPECT_EQ(restored.out, console({"Item 7 -> No such item", "Item 0 -> No such item"}, 2));
  EXPECT_EQ(qftest::stateDifference(removed, machineState(image)), "");

  // Refused before anything is read: no box, no report, nothing journaled.
  const std::string journal = image.journal();
  const std::string reportBefore = restoreReport(image);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"2", "x"}, {"-3"}, {""}}) {
    auto refused = restore(image, args);
    EXPECT_EQ(refused.exitStatus, 3);
    EXPECT_EQ(refused.out, "\"" + args.back() + "\" is neither all nor an item number.\n\n" + kUsage);
  }
  EXPECT_EQ(image.journal(), journal);
  EXPECT_EQ(restoreReport(image), reportBefore);
}

// "/?" and "-?", anywhere among the arguments and for any user, print the
// usage text and do nothing else.
TEST_F(RestoreCompanion, UsageSwitchPrintsTheUsageAndChangesNothing) {
  const std::string journal = image.journal();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"/?"}, {"-?"}, {"all", "/?"}, {"x", "-?"}}) {
    auto usage = restore(image, args);
    EXPECT_EQ(usage.exitStatus, 0) << args.back();
    EXPECT_EQ(usage.out, kUsage) << args.back();
  }
  image.config(std::string(qftest::kBaseEnvironmentAndClockToml) + "\n[token]\nadministrator = false\n");
  auto usage = restore(image, {"/?"});
  EXPECT_EQ(usage.exitStatus, 0);
  EXPECT_EQ(usage.out, kUsage);
  EXPECT_EQ(image.journal(), journal);
  EXPECT_FALSE(image.exists(restore_scn::kRestoreReport));
  EXPECT_EQ(qftest::stateDifference(removed, machineState(image)), "");
}

TEST_F(RestoreCompanion, MissingOrDamagedRecordFiles) {
  const std::string backups(sweeps::BACKUPS);
  const std::string manifest = image.read(restore_scn::kManifest);
  const std::string undo = image.read(restore_scn::kUndo);
  struct Row {
    const char* what;
    std::string manifest;  // empty: the file is missing
    std::string undo;
    int status;
    std::string out;
  };
  const std::string noManifest = "The manifest \"" + backups + "\\manifest.txt\" is missing: no file or folder can be put back.\n";
  const std::string noUndo = "The undo file \"" + backups + "\\undo.reg\" is missing: no registry item can be put back.\n";
  const std::string registryOnly =
      "What QuorelFix removed:\n\nRun 2010-07-03 14:05:09\n"
      "  1. blanked value \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\{1}\\\\NameServer\" -> can be put back\n"
      "  2. value \"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\sysldtray\" -> can be put back\n"
      "\nQuorelRestore all, or QuorelRestore followed by item numbers, puts items back.\n";
  const Row rows[] = {
      {"no manifest", "", undo, 0, noManifest + registryOnly},
      // Without its byte-order mark the manifest is not QuorelFix's.
      {"manifest without its mark", manifest.substr(2), undo, 0,
       "The manifest \"" + backups + "\\manifest.txt\" is damaged (it is not what QuorelFix writes): no file or "
       "folder can be put back.\n" + registryOnly},
      {"neither file", "", "", 1, noManifest + noUndo},
      // The mark alone, and the regedit header missing.
      {"undo file without its header", manifest, std::string("\xFF\xFE", 2) + qftest::toUtf16le("; run x\r\n"), 0,
       "The undo file \"" + backups + "\\undo.reg\" is damaged (it is not what QuorelFix writes): no registry item "
       "can be put back.\n"
       "What QuorelFix removed:\n\nRun 2010-07-03 14:05:09\n"
       "  1. folder \"C:\\Program Files\\webserver\" -> can be put back\n"
       "  2. file \"C:\\WINDOWS\\bk23567.dat\" -> can be put back\n"
       "\nQuorelRestore all, or QuorelRestore followed by item numbers, puts items back.\n"},
  };
  for (const auto& r : rows) {
    fs::remove(image.host(restore_scn::kManifest));
    fs::remove(image.host(restore_scn::kUndo));
    if (!r.manifest.empty()) image.file(restore_scn::kManifest, r.manifest);
    if (!r.undo.empty()) image.file(restore_scn::kUndo, r.undo);
    auto listed = restore(image);
    EXPECT_EQ(listed.exitStatus, r.status) << r.what;
    EXPECT_EQ(listed.out, r.out) << r.what;
  }
}

TEST(RestoreCompanionGate, NeedsAnAdministratorAndABackupFolder) {
  MachineImage image("gate");
  smallImage(image);
  auto noBackups = restore(image);
  EXPECT_EQ(noBackups.exitStatus, 1);
  EXPECT_EQ(noBackups.out, "No backup folder \"" + std::string(sweeps::BACKUPS) +
                               "\": QuorelFix has removed nothing here.\n");

  image.file(sweeps::BACKUPS, "a file where the folder should be");
  auto damaged = restore(image);
  EXPECT_EQ(damaged.exitStatus, 1);
  EXPECT_EQ(damaged.out, "The backup folder \"" + std::string(sweeps::BACKUPS) +
                             "\" is damaged: it is a file, not a folder.\n");

  image.config(std::string(qftest::kBaseEnvironmentAndClockToml) + "\n[token]\nadministrator = false\n");
  auto refused = restore(image, {"all"});
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(image.journal(),
            "MessageBoxW text=\"You must be an Administrator to use QuorelRestore.\" caption=\"QuorelRestore - "
            "Error\" style=0x10 answer=1\n");
}

// ---------------------------------------------------------------- damaged records

// Counts the complete lines of `text` (UTF-16LE) that begin with `start`.
int completeLines(const std::string& bytes, std::string_view start) {
  const std::string text = qftest::fromUtf16le(bytes);
  int count = 0;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    if (text.compare(at, start.size(), start) == 0) ++count;
    at = end + 2;
  }
  return count;
}

// The items a list shows.
int listedItems(const std::string& list) {
  int count = 0;
  for (std::size_t at = list.find("\n  "); at != std::string::npos; at = list.find("\n  ", at + 1)) ++count;
  return count;
}

int successes(const std::string& report) {
  int count = 0;
  for (std::size_t at = report.find("-> Success!"); at != std::string::npos; at = report.find("-> Success!", at + 1))
    ++count;
  return count;
}

// Nothing QuorelRestore writes is new: every file and registry line is as it
// was before the run or as the run left it.
std::string invented(const MachineState& before, const MachineState& removed, const MachineState& now) {
  std::string out;
  for (const auto& [path, bytes] : now.files) {
    auto b = before.files.find(path);
    auto r = removed.files.find(path);
    if ((b == before.files.end() || b->second != bytes) && (r == removed.files.end() || r->second != bytes))
      out += "file " + path + "\n";
  }
  for (const auto& line : now.registry)
    if (!before.registry.count(line) && !removed.registry.count(line)) out += "registry " + line + "\n";
  return out;
}

// Each case damages one record file of a fresh copy of the same run: cut at a
// random point, or one random byte changed after the file's first line. The
// restore never fails as a whole, never writes what was not there, and loses
// no more than the items whose lines were hit.
TEST(RestoreDamagedRecords, DamageCostsOnlyTheItemsItHits) {
  MachineImage prepared("prepared");
  restore_scn::sweepImage(prepared);
  const MachineState before = machineState(prepared);
  ASSERT_EQ(prepared.run().exitStatus, 0);
  ASSERT_EQ(prepared.boot().exitStatus, 0);
  const MachineState removed = machineState(prepared);
  const int items = completeLines(prepared.read(restore_scn::kManifest), "landed\t") +
                    completeLines(prepared.read(restore_scn::kUndo), "; result 0");
  ASSERT_EQ(items, 12);

  std::mt19937 random(20100703);
  for (int round = 0; round < 24; ++round) {
    const bool manifest = round % 2 == 0;
    const bool cut = round % 4 < 2;
    const std::string_view file = manifest ? restore_scn::kManifest : restore_scn::kUndo;
    MachineImage image("damaged");
    fs::copy(prepared.root(), image.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::string bytes = image.read(file);
    // Past the mark and the first line, which make the file QuorelFix's.
    const std::size_t first = bytes.find(std::string("\r\0\n\0", 4)) + 4;
    std::uniform_int_distribution<std::size_t> at(first, bytes.size() - 1);
    const std::size_t point = at(random);
    if (cut) {
      bytes.resize(point);
    } else {
      bytes[point] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    }
    image.file(file, bytes);
    SCOPED_TRACE(std::string(file) + (cut ? " cut at " : " changed at ") + std::to_string(point));

    ASSERT_EQ(restore(image).exitStatus, 0);
    auto restored = restore(image, {"all"});
    const std::string text = restoreReport(image);
    // Not back in place is what a damaged record costs; the restore itself never fails.
    EXPECT_EQ(restored.exitStatus, successes(text) == listedItems(restore(image).out) ? 0 : 2) << restored.out;
    EXPECT_EQ(invented(before, removed, machineState(image)), "") << text;
    if (cut) {
      // Every record complete before the cut is put back, and only those.
      const int complete = completeLines(image.read(restore_scn::kManifest), "landed\t") +
                           completeLines(image.read(restore_scn::kUndo), "; result 0");
      EXPECT_EQ(successes(text), complete) << text;
    } else {
      // A changed byte hits one line, or joins two.
      EXPECT_GE(successes(text), items - 2) << text;
    }
  }
}

}  // namespace
