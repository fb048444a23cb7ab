// The detection rules, called directly on a machine image: each rule, its
// fallbacks, the order of the rules, and how the folder path is joined.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detectors/quorel.h"
#include "quorel_image.h"

namespace {

using namespace std::string_literals;
using quorel_scn::ADWARE_RDF;
using quorel_scn::CLEAN_OVERLAY;
using quorel_scn::INFECTED_OVERLAY;

struct FileSpec {
  const char* relative;  // inside the extension folder
  std::string bytes;
};

struct RuleCase {
  const char* what;
  std::vector<FileSpec> files;
  int quorel;
  int malExt;
};

// The local header of a ZIP entry, as an archiver writes it: the entry name
// stands uncompressed after 30 bytes of header.
std::string zipEntry(const std::string& name, const std::string& data) {
  std::string header("PK\x03\x04\x14\x00\x00\x00\x00\x00\x00\x00\x21\x00"s);
  header += std::string(12, '\x00');  // crc and sizes, not read by anyone here
  header.push_back(static_cast<char>(name.size()));
  header += "\x00\x00\x00"s;
  return header + name + data;
}

const std::string XULRUNNER_OVERLAY = "<overlay id=\"xulrunner-overlay\" xmlns=\"...\"/>\r\n";
const std::string CFG_BOTH_REVERSED = "var __u=\"http://a.example/u\";\r\nvar __d=\"a.example\";\r\n";

// One row per case; every case gets a folder of its own.
const std::vector<RuleCase> CASES = {
    {"rule 1, first signature", {{"chrome\\content\\overlay.xul", std::string(INFECTED_OVERLAY)}}, 1, 0},
    {"rule 1, its second signature when the first is absent",
     {{"chrome\\content\\overlay.xul", XULRUNNER_OVERLAY}}, 1, 0},
    {"rule 1 cut short by the end of the file",
     {{"chrome\\content\\overlay.xul", "<overlay id=\"xulcache-overlay"}}, 0, 0},
    {"rule 1 fails, rule 2 matches",
     {{"chrome\\content\\overlay.xul", std::string(CLEAN_OVERLAY)},
      {"chrome\\content\\timer.xul", "<overlay id=\"xulcache-overlay\"/>"}},
     1, 0},
    {"rule 2 has no second signature", {{"chrome\\content\\timer.xul", XULRUNNER_OVERLAY}}, 0, 0},
    {"rule 3, the entry name in a stored archive",
     {{"chrome\\xulcache.jar", zipEntry("content/overlay.xul", "<overlay/>") + zipEntry("content/x.js", "")}}, 1, 0},
    {"rule 3 minds the letter case", {{"chrome\\xulcache.jar", zipEntry("content/Overlay.xul", "")}}, 0, 0},
    {"rule 3 is only looked for in its archive",
     {{"chrome\\other.jar", zipEntry("content/overlay.xul", "")}}, 0, 0},
    {"rule 4, both signatures in either order", {{"chrome\\content\\_cfg.js", CFG_BOTH_REVERSED}}, 1, 0},
    {"rule 4, the first signature alone", {{"chrome\\content\\_cfg.js", "var __d=\"a.example\";"}}, 0, 0},
    {"rule 4, the second signature alone", {{"chrome\\content\\_cfg.js", "var __u=\"a.example\";"}}, 0, 0},
    {"the last rule still matches after three that do not",
     {{"chrome\\content\\overlay.xul", std::string(CLEAN_OVERLAY)},
      {"chrome\\content\\timer.xul", std::string(CLEAN_OVERLAY)},
      {"chrome\\xulcache.jar", zipEntry("content/clean.xul", "")},
      {"chrome\\content\\_cfg.js", CFG_BOTH_REVERSED}},
     1, 0},
    {"a rule's signature in another rule's file does not count",
     {{"chrome\\content\\timer.xul", CFG_BOTH_REVERSED}, {"chrome\\content\\_cfg.js", XULRUNNER_OVERLAY}}, 0, 0},
    {"the adware's manifest", {{"install.rdf", std::string(ADWARE_RDF)}}, 0, 1},
    {"another extension's manifest",
     {{"install.rdf", "<em:name>Sidebar Notes</em:name>"}, {"chrome\\content\\overlay.xul", std::string(CLEAN_OVERLAY)}},
     0, 0},
    {"infected and adware at once", {{"install.rdf", std::string(ADWARE_RDF)}, {"chrome\\content\\overlay.xul", XULRUNNER_OVERLAY}},
     1, 1},
    {"no chrome folder and no manifest", {{"readme.txt", "id=\"xulcache-overlay\""}}, 0, 0},
    // The locked file of rule 1 cannot be opened: only that rule fails.
    {"a locked rule file is passed over",
     {{"chrome\\content\\overlay.xul", std::string(INFECTED_OVERLAY)},
      {"chrome\\content\\timer.xul", "<overlay id=\"xulcache-overlay\"/>"}},
     1, 0},
    {"a locked rule file alone", {{"chrome\\content\\overlay.xul", std::string(INFECTED_OVERLAY)}}, 0, 0},
};

std::string folderOf(std::size_t i) { return R"(C:\Ext\case)" + std::to_string(i); }

class QuorelRules : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string faults;
    for (std::size_t i = 0; i < CASES.size(); ++i) {
      for (const FileSpec& f : CASES[i].files) image_.file(folderOf(i) + "\\" + f.relative, f.bytes);
      if (std::string(CASES[i].what).find("locked") != std::string::npos)
        faults += "[[fault.file]]\npath = '" + folderOf(i) + "\\chrome\\content\\overlay.xul'\ncode = 32\n";
    }
    image_.folder(folderOf(CASES.size()));  // an empty extension folder
    quorel_scn::setUp(image_, faults);
    emu::useImage(image_.root());
  }
  qftest::MachineImage image_{"rules"};
};

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST_F(QuorelRules, EachRuleItsFallbacksAndTheirOrder) {
  for (std::size_t i = 0; i < CASES.size(); ++i) {
    const std::u16string folder = wide(folderOf(i));
    EXPECT_EQ(isQuorel(folder), CASES[i].quorel) << CASES[i].what;
    EXPECT_EQ(isMalExt(folder), CASES[i].malExt) << CASES[i].what;
  }
  EXPECT_EQ(isQuorel(wide(folderOf(CASES.size()))), 0) << "an empty folder";
  EXPECT_EQ(isMalExt(wide(folderOf(CASES.size()))), 0) << "an empty folder";
  EXPECT_EQ(isQuorel(u"C:\\Ext\\no such folder"), 0);
}

TEST_F(QuorelRules, TrailingBackslashOrNotTheSameRulePaths) {
  // Rules 1 and 4 (the longest relative path and the last rule) and the adware
  // rule, with and without the backslash.
  const std::size_t rule1 = 0, rule4 = 8, adware = 13;
  for (std::size_t i : {rule1, rule4}) {
    EXPECT_EQ(isQuorel(wide(folderOf(i))), 1) << CASES[i].what;
    EXPECT_EQ(isQuorel(wide(folderOf(i) + "\\")), 1) << CASES[i].what;
  }
  EXPECT_EQ(isMalExt(wide(folderOf(adware))), 1);
  EXPECT_EQ(isMalExt(wide(folderOf(adware) + "\\")), 1);
}

TEST_F(QuorelRules, AnEmptyPathIsNoFolder) {
  // Joined, it would name "chrome\content\overlay.xul" in the current folder.
  image_.file(R"(C:\Documents and Settings\Owner\Desktop\chrome\content\overlay.xul)", INFECTED_OVERLAY);
  image_.file(R"(C:\chrome\content\overlay.xul)", INFECTED_OVERLAY);
  image_.file(R"(C:\install.rdf)", ADWARE_RDF);
  EXPECT_EQ(isQuorel(u""), 0);
  EXPECT_EQ(isMalExt(u""), 0);
}

}  // namespace
