// Registry, directory and process queries, and expand, on small machines.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/scanner.h"
#include "support/run_machine.h"

namespace {

using qftest::MachineImage;
using qftest::RunMachine;

std::vector<std::u16string> texts(const StringList& list) {
  std::vector<std::u16string> out;
  for (const StringNode* n = list.head.get(); n; n = n->next.get()) out.push_back(n->text);
  return out;
}

class QueryTest : public ::testing::Test {
 protected:
  void use(const RunMachine& m) {
    qftest::build(image_, m);
    emu::useImage(image_.root());
  }
  MachineImage image_{"query"};
};

TEST_F(QueryTest, ExpandLeavesUnknownReferencesAndCopiesPlainText) {
  use({});
  struct Row {
    std::u16string_view in;
    std::u16string_view out;
  } rows[] = {
      {u"C:\\plain\\path", u"C:\\plain\\path"},                             // nothing to expand: an equal copy
      {u"%SystemRoot%\\system32", u"C:\\WINDOWS\\system32"},                // names ignore case
      {u"%NOSUCHVAR%\\x", u"%NOSUCHVAR%\\x"},                               // unknown reference stays
      {u"100% sure", u"100% sure"},                                         // a lone percent stays
      {u"", u""},                                                           // the empty text
      {std::u16string_view{}, u""},                                         // none
  };
  for (const auto& row : rows) EXPECT_EQ(expand(row.in), row.out) << std::string(row.in.begin(), row.in.end());
}

TEST_F(QueryTest, RegSZValueReadsDataAsStored) {
  RunMachine m;
  m.registry = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Test]
@="default text"
"Empty"=""
"Unterminated"=hex(1):41,00,42,00
"Expandable"=hex(2):25,00,58,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Sub]
"Inner"="inner text"

)";
  use(m);
  const char16_t* key = u"SOFTWARE\\Test";
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, nullptr), u"default text");
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, u"Empty"), u"");  // empty, not none
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, u"Unterminated"), u"AB");
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, u"Expandable"), u"%X%");  // not expanded
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, u"Multi"), u"a");         // the first string
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, key, u"Missing"), std::nullopt);
  EXPECT_EQ(getRegSZValue(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\NoSuchKey", u"x"), std::nullopt);

  // An open key serves as root, with a path relative to it.
  win::ScopedKey open;
  ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, key, 0, win::KEY_READ, open.receive()), win::ERROR_SUCCESS);
  EXPECT_EQ(getRegSZValue(open.get(), u"Sub", u"Inner"), u"inner text");
}

TEST_F(QueryTest, SubkeysAndStringValueNames) {
  RunMachine m;
  m.registry = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Walk]
@="default is never listed"
"Text"="a"
"Number"=dword:00000001
"Bytes"=hex:01,02
"Path"=hex(2):41,00,00,00
"List"=hex(7):41,00,00,00,00,00
"Other"=hex(0b):00,00,00,00,00,00,00,00

[HKEY_LOCAL_MACHINE\SOFTWARE\Walk\Beta]
[HKEY_LOCAL_MACHINE\SOFTWARE\Walk\alpha]
[HKEY_LOCAL_MACHINE\SOFTWARE\Empty]

)";
  use(m);
  win::ScopedKey walk;
  ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Walk", 0, win::KEY_READ, walk.receive()),
            win::ERROR_SUCCESS);
  StringList values = getSZValues(walk.get());
  EXPECT_EQ(texts(values), (std::vector<std::u16string>{u"Text", u"Path", u"List"}));  // creation order
  freeStringList(values);
  StringList subkeys = getSubkeys(walk.get());
  EXPECT_EQ(texts(subkeys), (std::vector<std::u16string>{u"alpha", u"Beta"}));  // the hive's sorted order
  freeStringList(subkeys);

  win::ScopedKey empty;
  ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Empty", 0, win::KEY_READ, empty.receive()),
            win::ERROR_SUCCESS);
  EXPECT_TRUE(getSubkeys(empty.get()).empty());
  EXPECT_TRUE(getSZValues(empty.get()).empty());
}

TEST_F(QueryTest, FilesListsOneKindOfEntryWithoutDots) {
  use({});
  image_.folder(R"(C:\Listing\Sub)");
  image_.file(R"(C:\Listing\a.txt)", "a");
  image_.file(R"(C:\Listing\.hidden)", "h");
  image_.folder(R"(C:\OnlyDots)");

  StringList files = getFiles(u"C:\\Listing", 0);
  auto names = texts(files);
  freeStringList(files);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u".hidden", u"a.txt"}));

  StringList folders = getFiles(u"C:\\Listing", 1);
  EXPECT_EQ(texts(folders), std::vector<std::u16string>{u"Sub"});
  freeStringList(folders);

  // A trailing backslash lists the same entries.
  StringList trailing = getFiles(u"C:\\Listing\\", 1);
  EXPECT_EQ(texts(trailing), std::vector<std::u16string>{u"Sub"});
  freeStringList(trailing);

  EXPECT_TRUE(getFiles(u"C:\\OnlyDots", 1).empty());  // "." and ".." only
  EXPECT_TRUE(getFiles(u"C:\\OnlyDots", 0).empty());
  EXPECT_TRUE(getFiles(u"C:\\NoSuchFolder", 0).empty());
}

// The walk under getFiles and the sweep's findFiles: a wildcard, bare names
// or full paths, and a name as long as Windows allows taken whole.
TEST_F(QueryTest, FolderWalkMatchesAPatternAndGivesNamesOrPaths) {
  use({});
  const std::string longest(255, 'x');
  image_.folder(R"(C:\W\sub1)");
  image_.folder(R"(C:\W\other)");
  image_.file(R"(C:\W\sub2.txt)", "s");
  image_.file(R"(C:\W\)" + longest, "l");

  StringList folders = listFolder(u"C:\\W", u"sub*", 1, 0);
  EXPECT_EQ(texts(folders), std::vector<std::u16string>{u"sub1"});
  freeStringList(folders);

  StringList files = listFolder(u"C:\\W", u"sub*", 0, 1);
  EXPECT_EQ(texts(files), std::vector<std::u16string>{u"C:\\W\\sub2.txt"});
  freeStringList(files);

  StringList all = listFolder(u"C:\\W", u"*", 0, 0);
  auto names = texts(all);
  freeStringList(all);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"sub2.txt", std::u16string(255, u'x')}));

  EXPECT_TRUE(listFolder(u"C:\\NoSuchFolder", u"*", 1, 1).empty());
}

// Which process getProcHandle returns, told by terminating it and reading
// the journal.
class ProcHandleTest : public QueryTest {
 protected:
  std::string terminatedBy(std::u16string_view name) {
    win::ScopedHandle process = getProcHandle(name);
    if (!process) return "none";
    (void)win::TerminateProcess(process.get(), 0);
    std::string journal = image_.journal();
    auto at = journal.rfind("TerminateProcess pid=");
    if (at == std::string::npos) return "?";
    auto end = journal.find(' ', at + 21);
    return journal.substr(at + 21, end - at - 21);
  }
};

TEST_F(ProcHandleTest, MatchesTheFileNameWithoutRegardToCase) {
  RunMachine m;
  m.processes = qftest::firefoxProcess(2000, R"(C:\Program Files\Mozilla Firefox\FireFox.EXE)") +
                qftest::firefoxProcess(2100, R"(C:\Tools\myfirefox.exe)") +
                qftest::firefoxProcess(2200, R"(C:\Tools\firefox.exe.bak)");
  use(m);
  EXPECT_EQ(terminatedBy(u"firefox.exe"), "2000");
}

TEST_F(ProcHandleTest, LastListedMatchWinsAndUnopenableOnesArePassedOver) {
  RunMachine m;
  m.processes = qftest::firefoxProcess(2000) + qftest::firefoxProcess(2100, R"(D:\Portable\firefox.exe)") +
                "\n[[process]]\npid = 2200\npath = 'C:\\Other\\firefox.exe'\nopenable = false\n";
  use(m);
  EXPECT_EQ(terminatedBy(u"firefox.exe"), "2100");
}

TEST_F(ProcHandleTest, NoMatchIsNone) {
  use({});
  EXPECT_EQ(terminatedBy(u"firefox.exe"), "none");
  EXPECT_EQ(terminatedBy(u"quorelfix"), "none");  // the own process is QuorelFix.exe: a prefix is no match
}

}  // namespace
