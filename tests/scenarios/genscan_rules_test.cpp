// The file rules decided on their own, in this process, against a machine
// image: the fingerprint rule's matching branch cannot be reached end to end,
// since no file with row 12's fingerprint can be made, so it is tested with a
// row of the same kind whose fingerprint is known.
#include <gtest/gtest.h>

#include <string>

#include "detectors/genscan_tables.h"
#include "platform/emulated/machine/image.h"
#include "sweep_image.h"
#include "support/machine_image.h"

namespace {

class FileRules : public ::testing::Test {
 protected:
  void SetUp() override {
    sweeps::setUp(image_);
    image_.file(R"(C:\WINDOWS\abc.bin)", "abc");
    image_.file(R"(C:\WINDOWS\plugin.xml)", std::string("<Url template=\"") + ROGUE_SEARCH_PREFIX + "q=\"/>");
    image_.file(R"(C:\WINDOWS\locked.bin)", "abc");
    image_.config(std::string(sweeps::BASE_CONFIG) +
                  "[[fault.file]]\npath = 'C:\\WINDOWS\\locked.bin'\ncode = 32\nattributes = true\n");
    emu::useImage(image_.root());
  }
  qftest::MachineImage image_{"rules"};
};

// MD5("abc"), RFC 1321's test suite.
constexpr char ABC_LOWER[] = "900150983cd24fb0d6963f7d28e17f72";
constexpr char ABC_UPPER[] = "900150983CD24FB0D6963F7D28E17F72";

TEST_F(FileRules, FingerprintRule) {
  struct Row {
    const char* fingerprint;
    const char16_t* path;
    int matches;
  } rows[] = {
      {ABC_UPPER, u"C:\\WINDOWS\\abc.bin", 1},     // as md5 prints it
      {ABC_LOWER, u"C:\\WINDOWS\\abc.bin", 1},     // letter case aside
      {ABC_UPPER, u"C:\\WINDOWS\\plugin.xml", 0},  // another fingerprint
      {ABC_UPPER, u"C:\\WINDOWS\\locked.bin", 0},  // cannot be read: no fingerprint
      {ABC_UPPER, u"C:\\WINDOWS\\missing.bin", 0},
      // Shorter than a fingerprint: no prefix match.
      {"900150983CD24FB0D6963F7D28E17F7", u"C:\\WINDOWS\\abc.bin", 0},
  };
  for (const Row& row : rows) {
    const FILE_DEF def{u"C:\\WINDOWS", u"*", row.fingerprint, 0, {}};
    EXPECT_EQ(fileMatches(def, row.path), row.matches) << row.fingerprint;
  }
  // Row 12 itself: nothing made here has its fingerprint.
  EXPECT_STREQ(FILE_DEFS[12].fingerprint, "2C3A242503D0823950476516A25ACEC3");
  EXPECT_EQ(fileMatches(FILE_DEFS[12], u"C:\\WINDOWS\\abc.bin"), 0);
}

TEST_F(FileRules, SignatureRule) {
  // Row 16 finds its prefix anywhere in the file.
  EXPECT_EQ(fileMatches(FILE_DEFS[16], u"C:\\WINDOWS\\plugin.xml"), 1);
  EXPECT_EQ(fileMatches(FILE_DEFS[16], u"C:\\WINDOWS\\abc.bin"), 0);
  EXPECT_EQ(fileMatches(FILE_DEFS[16], u"C:\\WINDOWS\\locked.bin"), 0);
  // Every signature must be there, each searched from the start of the file:
  // "bc" before "ab" in the table, both present.
  const FILE_DEF both{u"C:\\WINDOWS", u"*", nullptr, 2, {"bc", "ab", nullptr}};
  EXPECT_EQ(fileMatches(both, u"C:\\WINDOWS\\abc.bin"), 1);
  const FILE_DEF oneMissing{u"C:\\WINDOWS", u"*", nullptr, 2, {"zz", "ab", nullptr}};
  EXPECT_EQ(fileMatches(oneMissing, u"C:\\WINDOWS\\abc.bin"), 0);
  // Unused slots are not read.
  const FILE_DEF first{u"C:\\WINDOWS", u"*", nullptr, 1, {"abc", "zz", "zz"}};
  EXPECT_EQ(fileMatches(first, u"C:\\WINDOWS\\abc.bin"), 1);
}

TEST_F(FileRules, UnconditionalRowMatchesEvenUnreadableFiles) {
  EXPECT_EQ(fileMatches(FILE_DEFS[13], u"C:\\WINDOWS\\locked.bin"), 1);
}

// The tables as the sweep walks them.
TEST(DefinitionTables, RogueSearchPrefix) {
  const std::string prefix = ROGUE_SEARCH_PREFIX;
  EXPECT_EQ(prefix.size(), 24u);
  EXPECT_EQ(prefix.rfind("http://", 0), 0u);
  EXPECT_EQ(prefix.substr(prefix.size() - 2), "/?");
  EXPECT_EQ(FILE_DEFS[16].containsCount, 1);
  EXPECT_STREQ(FILE_DEFS[16].contains[0], ROGUE_SEARCH_PREFIX);
  // Only row 12 has a fingerprint, only row 16 signatures.
  for (std::size_t i = 0; i < FILE_DEF_COUNT; ++i) {
    EXPECT_EQ(FILE_DEFS[i].fingerprint != nullptr, i == 12) << i;
    EXPECT_EQ(FILE_DEFS[i].containsCount != 0, i == 16) << i;
  }
}

}  // namespace
