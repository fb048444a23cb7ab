// Removal scripts given on the command line: both encodings, the line rules,
// the refused script name and a script that cannot be opened. Each case runs
// the program on a fresh machine and compares the report's script section.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_machine.h"

namespace {

using qftest::MachineImage;
using qftest::toUtf16le;
using namespace scriptscen;

const std::string kMark("\xFF\xFE", 2);

std::string success(const std::string& path) { return "\r\nDeleting \"" + path + "\" -> Success!"; }

struct ReadingCase {
  const char* what;
  std::string script;                // the bytes of C:\script.txt
  std::string section;               // the script's report lines and the "\r\n" after them
  std::vector<const char*> moved;    // of C:\a.txt and C:\b.txt
};

TEST(ScriptReading, EncodingsAndLineRules) {
  const std::string both = success("C:\\a.txt") + success("C:\\b.txt") + "\r\n";
  const std::string onlyA = success("C:\\a.txt") + "\r\n";
  const ReadingCase cases[] = {
      {"UTF-16LE, mark, CR LF", kMark + toUtf16le("C:\\a.txt\r\nC:\\b.txt\r\n"), both, {"a", "b"}},
      {"UTF-16LE, empty line in the middle", kMark + toUtf16le("C:\\a.txt\r\n\r\nC:\\b.txt\r\n"), onlyA, {"a"}},
      {"UTF-16LE, last line without line end", kMark + toUtf16le("C:\\a.txt\r\nC:\\b.txt"), both, {"a", "b"}},
      {"UTF-16LE, zero unit ends the line's text",
       kMark + toUtf16le("C:\\a.txt") + std::string(2, '\0') + toUtf16le("junk\r\nC:\\b.txt\r\n"), both, {"a", "b"}},
      // Without the mark the same bytes are 8-bit text: the zero high byte of
      // each unit ends a line's text, so the paths are "C" and empty ones.
      {"UTF-16LE without mark", toUtf16le("C:\\a.txt\r\nC:\\b.txt\r\n"),
       "\r\nDeleting \"C\" -> Failed [1026]\r\nDeleting \"\" -> Failed [1026]\r\nDeleting \"\" -> Failed [1026]\r\n",
       {}},
      {"8-bit, LF", "C:\\a.txt\nC:\\b.txt\n", both, {"a", "b"}},
      {"8-bit, empty line in the middle", "C:\\a.txt\n\nC:\\b.txt\n", onlyA, {"a"}},
      {"8-bit, last line without line end", "C:\\a.txt\nC:\\b.txt", both, {"a", "b"}},
      {"8-bit, zero byte", std::string("C:\\a.txt\0junk\nC:\\b.txt\n", 23), both, {"a", "b"}},
      {"empty script", "", "\r\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MachineImage image(c.what);
    prepare(image);
    image.file("C:\\a.txt", "A");
    image.file("C:\\b.txt", "B");
    image.file("C:\\script.txt", c.script);
    auto result = image.run({"C:\\script.txt"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string text = report(image);
    EXPECT_EQ(text.substr(0, text.find(kScanBanner)), kHeader + std::string(kScriptBanner) + c.section);
    for (const char* name : {"a", "b"}) {
      bool moved = false;
      for (const char* m : c.moved) moved = moved || std::string(m) == name;
      std::string file = std::string(name) + ".txt";
      EXPECT_EQ(image.exists("C:\\" + file), !moved) << file;
      EXPECT_EQ(image.exists(backup("C\\" + file)), moved) << file;
    }
  }
}

// A CR before the LF of an 8-bit line stays in the path and is reported
// inside the quotes; the shell refuses a name with a control character
// (1026), so the item is not scheduled either.
TEST(ScriptReading, EightBitCrLfKeepsTheCarriageReturn) {
  MachineImage image("crlf");
  prepare(image);
  image.file("C:\\a.txt", "A");
  image.file("C:\\script.txt", "C:\\a.txt\r\n\r\n");
  image.run({"C:\\script.txt"});
  // The CR LF "empty" line is a path of one CR: too short to mirror.
  EXPECT_EQ(scriptSection(report(image)),
            "\r\nDeleting \"C:\\a.txt\r\" -> Failed [1026]\r\nDeleting \"\r\" -> Failed [1026]\r\n");
  EXPECT_TRUE(image.exists("C:\\a.txt"));
  EXPECT_EQ(image.read(kRebootList), std::string("\xFF\xFE", 2));
}

TEST(ScriptReading, RefusedOrUnreadableScripts) {
  struct Row {
    const char* what;
    const char* scriptPath;  // where the script is written and what is passed
    const char* argument;
    std::string section;
    bool runs;
  };
  const Row rows[] = {
      {"the report's name", "C:\\dir\\QuorelFix.txt", "C:\\dir\\QuorelFix.txt", "\r\nIllegal script name.\r\n", false},
      {"any case", "C:\\dir\\qUORELfIX.TXT", "C:\\dir\\qUORELfIX.TXT", "\r\nIllegal script name.\r\n", false},
      // Only the last 13 characters are compared.
      {"ends in the name", "C:\\xQuorelFix.txt", "C:\\xQuorelFix.txt", "\r\nIllegal script name.\r\n", false},
      {"other name", "C:\\QuorelFix.txt.bak", "C:\\QuorelFix.txt.bak", success("C:\\a.txt") + "\r\n", true},
      {"missing script", "C:\\script.txt", "C:\\nothing.txt", "\r\nUnable to open script [2].\r\n", false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    MachineImage image(r.what);
    prepare(image);
    image.file("C:\\a.txt", "A");
    image.file(r.scriptPath, "C:\\a.txt\n");
    image.run({r.argument});
    EXPECT_EQ(scriptSection(report(image)), r.section);
    EXPECT_EQ(image.exists("C:\\a.txt"), !r.runs);
  }
}

}  // namespace
