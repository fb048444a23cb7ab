// The removal primitives against the emulated machine: the registry
// deletions and blanking with their codes and access rights, the quarantine
// move's layout and its refusals, and the remove-and-report step's lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "platform/emulated/machine/image.h"
#include "platform/scoped.h"
#include "support/base_machine.h"
#include "support/machine_image.h"
#include "system/reboot_list.h"
#include "system/remover.h"
#include "system/report_sink.h"

namespace {

using qftest::MachineImage;

const std::string& kMachine = qftest::kBaseMachineToml;

constexpr const char* kShellFolders = R"(
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Desktop"="C:\\Documents and Settings\\Owner\\Desktop"
)";

constexpr const char16_t* kDesktop = u"C:\\Documents and Settings\\Owner\\Desktop";
constexpr const char* kBackup = "C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups";

// ---------------------------------------------------------------- registry

class RemoverRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    image.config(std::string(kMachine) + R"(
[[fault.registry]]
key = 'HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoDelete'
access = 0x10000
code = 5

[[fault.registry]]
key = 'HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoSet'
access = 0x0002
code = 5
)");
    image.registry(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Test]
"Value"="x"
"Number"=dword:0000002a
@="default"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Tree]
"Top"="t"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Tree\Sub]
"Deep"="d"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Leaf]
"L"="l"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoDelete]
"V"="v"

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\NoSet]
"V"="v"
)");
    emu::useImage(image.root());
  }

  static bool keyExists(const char16_t* subKey) {
    win::ScopedKey key;
    return win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_READ, key.receive()) ==
           win::ERROR_SUCCESS;
  }
  // The value's type and size, or the error of the query.
  static win::LONG query(const char16_t* subKey, const char16_t* name, win::DWORD* type, win::DWORD* size,
                         std::u16string* text = nullptr) {
    win::ScopedKey key;
    win::LONG rc = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_READ, key.receive());
    if (rc != win::ERROR_SUCCESS) return rc;
    char16_t buffer[64] = {};
    *size = sizeof buffer;
    rc = win::RegQueryValueExW(key.get(), name, nullptr, type, reinterpret_cast<win::BYTE*>(buffer), size);
    if (rc == win::ERROR_SUCCESS && text) *text = buffer;
    return rc;
  }
  static RegNode node(const char16_t* subKey, const char16_t* valueName) {
    return RegNode{win::HKEY_LOCAL_MACHINE, subKey, valueName, nullptr};
  }
  static bool valueExists(const char16_t* subKey, const char16_t* name) {
    win::DWORD type = 0, size = 0;
    return query(subKey, name, &type, &size) == win::ERROR_SUCCESS;
  }

  MachineImage image{"registry"};
};

TEST_F(RemoverRegistry, DeleteRegDef) {
  struct Row {
    const char* what;
    const char16_t* subKey;
    const char16_t* valueName;
    int code;
  };
  const Row rows[] = {
      {"missing key", u"SOFTWARE\\Test\\Nothing", u"Value", 2},
      {"missing value", u"SOFTWARE\\Test", u"Nothing", 2},
      {"value", u"SOFTWARE\\Test", u"Value", 0},
      {"value again", u"SOFTWARE\\Test", u"Value", 2},
      // Without a value name the whole tree goes, subkeys included.
      {"tree", u"SOFTWARE\\Test\\Tree", nullptr, 0},
      {"missing tree", u"SOFTWARE\\Test\\Tree", nullptr, 2},
      // The key is opened for DELETE | KEY_SET_VALUE: either right refused fails the open.
      {"DELETE refused", u"SOFTWARE\\Test\\NoDelete", u"V", 5},
      {"KEY_SET_VALUE refused", u"SOFTWARE\\Test\\NoSet", u"V", 5},
  };
  for (const auto& r : rows)
    EXPECT_EQ(deleteRegDef(win::HKEY_LOCAL_MACHINE, r.subKey, r.valueName), r.code) << r.what;
  EXPECT_FALSE(valueExists(u"SOFTWARE\\Test", u"Value"));
  EXPECT_TRUE(valueExists(u"SOFTWARE\\Test", u"Number"));  // its neighbour stays
  EXPECT_FALSE(keyExists(u"SOFTWARE\\Test\\Tree"));
  EXPECT_TRUE(valueExists(u"SOFTWARE\\Test\\NoDelete", u"V"));
  EXPECT_TRUE(valueExists(u"SOFTWARE\\Test\\NoSet", u"V"));
}

TEST_F(RemoverRegistry, DeleteReg) {
  struct Row {
    const char* what;
    const char16_t* subKey;
    const char16_t* valueName;  // empty: the key itself
    bool fails;
  };
  const Row rows[] = {
      {"missing key", u"SOFTWARE\\Test\\Nothing", u"Value", true},
      {"missing value", u"SOFTWARE\\Test", u"Nothing", true},
      {"value", u"SOFTWARE\\Test", u"Value", false},
      // A key with subkeys cannot go this way: no tree is removed.
      {"key with subkeys", u"SOFTWARE\\Test\\Tree", u"", true},
      {"key without subkeys", u"SOFTWARE\\Test\\Leaf", u"", false},
      {"DELETE refused", u"SOFTWARE\\Test\\NoDelete", u"V", true},
  };
  for (const auto& r : rows) {
    int code = deleteReg(node(r.subKey, r.valueName));
    if (r.fails) {
      EXPECT_NE(code, 0) << r.what;
    } else {
      EXPECT_EQ(code, 0) << r.what;
    }
  }
  EXPECT_EQ(deleteReg(node(u"SOFTWARE\\Test\\Nothing", u"Value")), 2);

  EXPECT_FALSE(valueExists(u"SOFTWARE\\Test", u"Value"));
  EXPECT_TRUE(keyExists(u"SOFTWARE\\Test\\Tree\\Sub"));
  EXPECT_TRUE(valueExists(u"SOFTWARE\\Test\\Tree", u"Top"));
  EXPECT_FALSE(keyExists(u"SOFTWARE\\Test\\Leaf"));
}

TEST_F(RemoverRegistry, SetRegSZValue) {
  // A former DWORD becomes REG_SZ; the size counts the terminator.
  const REG_DEF number{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Number"};
  EXPECT_EQ(setRegSZValue(&number, u"10.0.0.1"), 0);
  win::DWORD type = 0, size = 0;
  std::u16string text;
  ASSERT_EQ(query(u"SOFTWARE\\Test", u"Number", &type, &size, &text), win::ERROR_SUCCESS);
  EXPECT_EQ(type, win::REG_SZ);
  EXPECT_EQ(size, 18u);
  EXPECT_EQ(text, u"10.0.0.1");

  // The empty string is stored as just its terminator.
  const REG_DEF value{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", u"Value"};
  EXPECT_EQ(setRegSZValue(&value, u""), 0);
  ASSERT_EQ(query(u"SOFTWARE\\Test", u"Value", &type, &size), win::ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);

  // No value name: the key's default value.
  const REG_DEF byDefault{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", nullptr};
  EXPECT_EQ(setRegSZValue(&byDefault, u"new"), 0);
  ASSERT_EQ(query(u"SOFTWARE\\Test", nullptr, &type, &size, &text), win::ERROR_SUCCESS);
  EXPECT_EQ(text, u"new");

  // The key must exist: nothing is created.
  const REG_DEF missing{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\Nothing", u"Value"};
  EXPECT_EQ(setRegSZValue(&missing, u"x"), 2);
  EXPECT_FALSE(keyExists(u"SOFTWARE\\Test\\Nothing"));

  // Only KEY_SET_VALUE is asked for: a key that refuses DELETE is still written.
  const REG_DEF noDelete{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\NoDelete", u"V"};
  EXPECT_EQ(setRegSZValue(&noDelete, u"w"), 0);
  const REG_DEF noSet{win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\NoSet", u"V"};
  EXPECT_EQ(setRegSZValue(&noSet, u"w"), 5);
  ASSERT_EQ(query(u"SOFTWARE\\Test\\NoSet", u"V", &type, &size, &text), win::ERROR_SUCCESS);
  EXPECT_EQ(text, u"v");
}

// ---------------------------------------------------------------- the quarantine move

class RemoverFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    useWindows("xp");
    image.registry(kShellFolders);
    image.folder("C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups");
    emu::useImage(image.root());
  }
  // The machine answers as "xp" or "vista".
  void useWindows(std::string_view version) {
    image.config(qftest::baseMachineToml(version) + R"(
[[fault.file]]
path = 'C:\locked.dll'
code = 32
attributes = true
)");
    emu::useImage(image.root());
  }
  std::string backup(const std::string& rest) const { return std::string(kBackup) + "\\" + rest; }

  MachineImage image{"files"};
};

TEST_F(RemoverFiles, MovesUnderTheMirroredPath) {
  image.file("c:\\low\\x.txt", "ex");
  image.file("C:\\a\\b.txt", "bee");
  // The letter's folder takes the case the letter was written in...
  EXPECT_EQ(deleteFile(u"c:\\low\\x.txt"), 0);
  EXPECT_FALSE(image.exists("c:\\low\\x.txt"));
  EXPECT_EQ(image.read(backup("c\\low\\x.txt")), "ex");
  // ...and, names being found without regard to case, later items of that
  // drive go into the same folder.
  EXPECT_EQ(deleteFile(u"C:\\a\\b.txt"), 0);
  EXPECT_FALSE(image.exists("C:\\a\\b.txt"));
  EXPECT_EQ(image.read(backup("c\\a\\b.txt")), "bee");
}

TEST_F(RemoverFiles, RefusesPathsThatCannotBeMirroredSafely) {
  // Vista's shell tells a missing file (2) from a path it refuses (1026).
  useWindows("vista");
  image.file("C:\\Windows\\system32\\k.dll", "k");
  image.file("C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix Backups\\reboot.txt", "list");
  const std::u16string desktop(kDesktop);
  // Destination = desktop + "\QuorelFix Backups\" + letter + path from its third character.
  auto pathForDestinationLength = [&](std::size_t length) {
    std::size_t fixed = desktop.size() + 19 + 1;
    return u"C:\\" + std::u16string(length - fixed - 1, u'a');
  };
  ASSERT_EQ(desktop.size() + 19 + 1 + pathForDestinationLength(260).size() - 2, 260u);
  struct Row {
    const char* what;
    std::u16string path;
    int code;
  };
  const Row rows[] = {
      {"empty", u"", 1026},
      {"letter only", u"C", 1026},
      {"letter and colon", u"C:", 1026},
      {"climbs out", u"C:\\..\\..\\Windows", 1026},
      {"climbs out later", u"C:\\Windows\\..\\..\\..\\Windows\\system32\\k.dll", 1026},
      {"the backup folder itself", u"C:\\..", 1026},
      {"onto the reboot list", u"C:\\..\\reboot.txt", 1026},
      {"into another letter's folder", u"C:\\..\\D\\x.txt", 1026},
      {"dots and blanks climb too", u"C:\\. .\\.. \\Windows", 1026},
      {"forward slashes", u"C:/../../Windows", 1026},
      {"zero unit ends the path", std::u16string(u"C:\0\\Windows", 11), 1026},
      // 260 characters fit; the shell finds nothing there.
      {"destination of 260", pathForDestinationLength(260), 2},
      {"destination of 261", pathForDestinationLength(261), 206},
  };
  for (const auto& r : rows) EXPECT_EQ(deleteFile(r.path), r.code) << r.what;
  // Nothing was moved; at most the (empty) parent of an accepted destination was made.
  EXPECT_TRUE(image.exists("C:\\Windows\\system32\\k.dll"));
  EXPECT_EQ(image.read(backup("reboot.txt")), "list");
  EXPECT_FALSE(image.exists(std::string("C:\\Documents and Settings\\Owner\\Desktop\\Windows")));
  std::error_code ec;
  EXPECT_TRUE(std::filesystem::is_empty(image.host(backup("C")), ec) || ec);
}

TEST_F(RemoverFiles, WithoutADesktopFolderNothingMoves) {
  image.registry("");
  emu::useImage(image.root());
  image.file("C:\\a\\b.txt", "bee");
  EXPECT_EQ(deleteFile(u"C:\\a\\b.txt"), 1026);
  EXPECT_TRUE(image.exists("C:\\a\\b.txt"));
}

// ---------------------------------------------------------------- the remove-and-report step

// The lead-in of the sweeps' extension folders, before the path.
const std::string kLeadIn = "\r\nDeleting \"";

// The report and the reboot list are the process's own, made on the machine
// beside the items.
class RemoveAndReport : public RemoverFiles {
 protected:
  void SetUp() override {
    RemoverFiles::SetUp();
    reopen(true);
  }
  void TearDown() override {
    reportLog().close();
    (void)rebootList().close();
    rebootList() = RebootList{};
  }
  // A fresh empty report, and a fresh reboot list: open, or (`allow` false)
  // never made in this run, which turns the fallback off.
  void reopen(bool allow) {
    reportLog().close();
    (void)rebootList().close();
    rebootList() = RebootList{};
    ASSERT_TRUE(reportLog().openForWrite(u"C:\\report.txt", false));
    rebootList().open(u"C:\\reboot.txt");
    if (!allow) {
      (void)rebootList().close();
      rebootList() = RebootList{};
    }
    ASSERT_EQ(rebootList().allowReboot(), allow);
  }
  std::string report() const { return qftest::fromUtf16le(image.read("C:\\report.txt")); }
  // The reboot list's entries, after its byte-order mark.
  std::string scheduled() const {
    const std::string bytes = image.read("C:\\reboot.txt");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    return qftest::fromUtf16le(bytes.substr(2));
  }
};

TEST_F(RemoveAndReport, WritesTheLineAndFallsBackOnlyWhileAllowed) {
  useWindows("vista");
  image.file("C:\\a\\b.txt", "bee");
  image.file("C:\\locked.dll", "lock");
  const std::u16string tooLong = u"C:\\" + std::u16string(240, u'a');
  struct Row {
    const char* what;
    int allow;
    std::u16string path;
    std::string line;
    std::string scheduled;
  };
  const Row rows[] = {
      {"moved", 1, u"C:\\a\\b.txt", "C:\\a\\b.txt\" -> Success!", ""},
      {"locked, list open", 1, u"C:\\locked.dll", "C:\\locked.dll\" -> Failed [32] -> Delete on reboot",
       "C:\\locked.dll\r\n"},
      {"locked, list closed", 0, u"C:\\locked.dll", "C:\\locked.dll\" -> Failed [32]", ""},
      // The shared step schedules any failure, a missing item too (Vista's
      // code for it; XP's is 1026, scheduled alike).
      {"missing, list open", 1, u"C:\\gone.txt", "C:\\gone.txt\" -> Failed [2] -> Delete on reboot",
       "C:\\gone.txt\r\n"},
      // A destination too long for Windows stays so after a restart.
      {"too long, list open", 1, tooLong, "C:\\" + std::string(240, 'a') + "\" -> Failed [206]", ""},
  };
  for (const auto& r : rows) {
    reopen(r.allow != 0);
    removeAndReport(REMOVE_EXTENSION_FOLDER, r.path);
    EXPECT_EQ(report(), kLeadIn + r.line) << r.what;
    EXPECT_EQ(scheduled(), r.scheduled) << r.what;
    EXPECT_EQ(rebootList().doReboot(), !r.scheduled.empty()) << r.what;
  }
  EXPECT_EQ(image.read(backup("C\\a\\b.txt")), "bee");
  EXPECT_TRUE(image.exists("C:\\locked.dll"));

  // XP's shell answers 1026 for the missing item; the shared step schedules
  // it all the same (its callers remove only what they have just found).
  useWindows("xp");
  reopen(true);
  removeAndReport(REMOVE_EXTENSION_FOLDER, u"C:\\gone.txt");
  EXPECT_EQ(report(), kLeadIn + "C:\\gone.txt\" -> Failed [1026] -> Delete on reboot");
  EXPECT_EQ(scheduled(), "C:\\gone.txt\r\n");
}

// Each caller's row: its lead-in and separator, and which failures it
// schedules while the reboot list is open. 32 is an item in use, 2 Vista's
// answer for a missing item, 1026 XP's, 206 a destination too long.
TEST_F(RemoveAndReport, EachCallersRowWritesItsLineAndSchedulesItsCodes) {
  const std::u16string tooLong = u"C:\\" + std::u16string(240, u'a');
  struct Case {
    const char* windows;
    std::u16string path;
    int code;
  };
  const Case cases[] = {
      {"vista", u"C:\\locked.dll", 32},
      {"vista", u"C:\\gone.txt", 2},
      {"xp", u"C:\\gone.txt", 1026},
      {"vista", tooLong, 206},
  };
  struct Row {
    Removal row;
    std::string leadIn;
    std::string separator;
    const char* scheduled;  // per case: 1 when it goes to the reboot list
    const char* missing;    // what code 2 writes
  };
  const Row rows[] = {
      // A script line: not what a restart leaves missing, nor the too long.
      {REMOVE_SCRIPT_LINE, "\r\nDeleting \"", "\" -> ", "1000", "Failed [2]"},
      // The reboot pass schedules nothing again.
      {REMOVE_SCRIPT_LINE_AFTER_RESTART, "\r\nDeleting \"", "\" -> ", "0000", "Failed [2]"},
      // The sweeps: any failure but the too long.
      {REMOVE_EXTENSION_FOLDER, "\r\nDeleting \"", "\" -> ", "1110", "Failed [2]"},
      {REMOVE_REGISTERED_FOLDER, "\r\nDeleting ", " -> ", "1110", "Failed [2]"},
      {REMOVE_FOLDER_RULE, "\r\nDeleting folder: \"", "\" -> ", "1110", "Failed [2]"},
      {REMOVE_FILE_RULE, "\r\nDeleting file: \"", "\" -> ", "1110", "Failed [2]"},
      // The Java plug-in's DLL: 2 is "Not found", 1026 keeps its line; neither is scheduled.
      {REMOVE_JAVA_PLUGIN_DLL, "\r\nDeleting file: \"", "\" -> ", "1000", "Not found"},
  };
  for (const Row& r : rows) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const Case& c = cases[i];
      useWindows(c.windows);
      image.file("C:\\locked.dll", "lock");
      reopen(true);
      EXPECT_EQ(removeAndReport(r.row, c.path), c.code) << r.leadIn << c.code;
      const std::string path(c.path.begin(), c.path.end());  // ASCII
      const bool scheduled = r.scheduled[i] == '1';
      const std::string outcome = c.code == 2 ? r.missing : "Failed [" + std::to_string(c.code) + "]";
      EXPECT_EQ(report(), r.leadIn + path + r.separator + outcome + (scheduled ? " -> Delete on reboot" : ""))
          << r.leadIn << c.code;
      EXPECT_EQ(this->scheduled(), scheduled ? path + "\r\n" : "") << r.leadIn << c.code;
      EXPECT_EQ(rebootList().doReboot(), scheduled) << r.leadIn << c.code;
    }
  }
}

// The registered folder is written and removed without one trailing
// backslash, in the report and in the reboot list alike.
TEST_F(RemoveAndReport, ARegisteredFolderLosesOneTrailingBackslash) {
  useWindows("vista");
  image.file("C:\\ext\\x.js", "x");
  EXPECT_EQ(removeAndReport(REMOVE_REGISTERED_FOLDER, u"C:\\ext\\"), 0);
  EXPECT_EQ(report(), "\r\nDeleting C:\\ext -> Success!");
  EXPECT_EQ(image.read(backup("C\\ext\\x.js")), "x");

  reopen(true);
  EXPECT_EQ(removeAndReport(REMOVE_REGISTERED_FOLDER, u"C:\\gone\\"), 2);
  EXPECT_EQ(report(), "\r\nDeleting C:\\gone -> Failed [2] -> Delete on reboot");
  EXPECT_EQ(scheduled(), "C:\\gone\r\n");
}

}  // namespace
