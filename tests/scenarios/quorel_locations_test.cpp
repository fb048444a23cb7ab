// Where extensions are looked for, called directly on machine images: the
// program-wide folder, the profiles' extensions folders and the registered
// extensions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detectors/quorel.h"
#include "quorel_image.h"

namespace {

using quorel_scn::PROFILES;

std::vector<std::u16string> texts(const StringList& list) {
  std::vector<std::u16string> out;
  for (const StringNode* n = list.head.get(); n; n = n->next.get()) out.push_back(n->text);
  return out;
}

class QuorelLocations : public ::testing::Test {
 protected:
  void use(std::string_view extraToml = {}, std::string_view extraRegistry = {}) {
    quorel_scn::setUp(image_, extraToml, extraRegistry);
    emu::useImage(image_.root());
  }
  qftest::MachineImage image_{"locations"};
};

TEST_F(QuorelLocations, ProgramWideFolderEndsInABackslashWhetherOrNotItExists) {
  use();
  EXPECT_EQ(getFFExtPath(), u"C:\\Program Files\\Mozilla Firefox\\extensions\\");
  EXPECT_TRUE(getFFExtFolders(getFFExtPath()).empty()) << "the folder is missing";
}

TEST_F(QuorelLocations, ExtensionFoldersAreTheSubfoldersOnly) {
  image_.folder(std::string(quorel_scn::FF_EXT) + "{a}");
  image_.file(std::string(quorel_scn::FF_EXT) + "notes.txt", "a file, not an extension");
  image_.folder(std::string(quorel_scn::FF_EXT) + "b@example.org");
  use();
  EXPECT_EQ(texts(getFFExtFolders(getFFExtPath())), (std::vector<std::u16string>{u"b@example.org", u"{a}"}));
  EXPECT_TRUE(getFFExtFolders(u"").empty()) << "an empty path lists nothing";
}

TEST_F(QuorelLocations, ProfilesCountOnlyWithAnExtensionsFolder) {
  const std::string root(PROFILES);
  image_.folder(root + R"(a1b2c3d4.default\extensions\{x})");
  image_.folder(root + R"(e5f6.empty\extensions)");
  image_.folder(root + R"(g7h8.noext\chrome)");                 // no "extensions" entry
  image_.file(root + R"(i9j0.file\extensions)", "not a folder");  // "extensions" is a file
  image_.file(root + R"(profiles.ini)", "[General]\r\n");        // a file in the root is no profile
  use();
  EXPECT_EQ(texts(getFFProfileExtensionPaths()),
            (std::vector<std::u16string>{
                u"C:\\Documents and Settings\\Owner\\Application Data\\Mozilla\\Firefox\\Profiles\\a1b2c3d4.default\\extensions\\",
                u"C:\\Documents and Settings\\Owner\\Application Data\\Mozilla\\Firefox\\Profiles\\e5f6.empty\\extensions\\"}));
}

TEST_F(QuorelLocations, NoProfilesGiveAnEmptyList) {
  image_.folder(std::string(PROFILES) + R"(g7h8.noext)");
  use();
  EXPECT_TRUE(getFFProfileExtensionPaths().empty()) << "a profile without an extensions folder";

  qftest::MachineImage bare("bare");
  quorel_scn::setUp(bare);
  emu::useImage(bare.root());
  EXPECT_TRUE(getFFProfileExtensionPaths().empty()) << "no profiles root";
}

struct RegCase {
  const char* what;
  std::string registry;
  std::string toml;
  int openResult;
  std::vector<std::u16string> names;
};

TEST_F(QuorelLocations, RegisteredExtensions) {
  const std::string key = "[" + std::string(quorel_scn::REG_KEY) + "]\n";
  const RegCase cases[] = {
      {"key missing", "", "", 2, {}},
      {"key empty", key, "", 0, {}},
      {"only values of other types", key + "\"{dword}\"=dword:00000001\n\"{bin}\"=hex:43,3a\n", "", 0, {}},
      {"string values in key order, other types left out",
       key + "\"{b}\"=\"C:\\\\ext\\\\b\"\n\"{n}\"=dword:00000001\n"
             "\"{e}\"=hex(2):25,00,41,00,50,00,50,00,44,00,41,00,54,00,41,00,25,00,00,00\n"
             "\"{a}\"=\"\"\n",
       "", 0, {u"{b}", u"{e}", u"{a}"}},
      {"key refuses reading", key + "\"{a}\"=\"C:\\\\ext\"\n",
       "[[fault.registry]]\nkey = '" + std::string(quorel_scn::REG_KEY) + "'\naccess = 0x0001\ncode = 5\n", 5, {}},
  };
  for (const RegCase& c : cases) {
    qftest::MachineImage image(c.what);
    quorel_scn::setUp(image, c.toml, c.registry);
    emu::useImage(image.root());
    int openResult = -1;
    RegList list = getRegExtensions(&openResult);
    EXPECT_EQ(openResult, c.openResult) << c.what;
    std::vector<std::u16string> names;
    for (const RegNode* n = list.head.get(); n; n = n->next.get()) {
      names.push_back(n->valueName);
      EXPECT_EQ(n->root, win::HKEY_LOCAL_MACHINE) << c.what;
      // The nodes carry the capitalisation the sweep writes into the report.
      EXPECT_EQ(n->subKey, u"Software\\Mozilla\\Firefox\\Extensions") << c.what;
    }
    EXPECT_EQ(names, c.names) << c.what;
  }
}

}  // namespace
