// The worked example of docs/machine-image.md, run as the document gives it:
// its regedit export (saved as regedit saves it, UTF-16LE with CR LF)
// imported into a fresh image with the two files of the infection, QuorelFix
// run, and the report compared with the one the document shows.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/machine_image.h"

namespace {
namespace fs = std::filesystem;

// The code block after the marker `<!-- example: NAME -->` of the document.
std::string exampleBlock(const std::string& doc, const std::string& name) {
  const std::size_t marker = doc.find("<!-- example: " + name + " -->");
  if (marker == std::string::npos) return {};
  const std::size_t open = doc.find("```\n", marker);
  const std::size_t close = doc.find("\n```\n", open);
  return doc.substr(open + 4, close + 1 - (open + 4));
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

int tool(const std::string& args) {
  const int rc = std::system((std::string("'") + QF_MACHINE_TOOL_PATH + "' " + args + " >/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(WorkedExample, TheDocumentsInfectionIsRemovedAsItsReportShows) {
  const std::string doc = qftest::slurp(fs::path(QF_SOURCE_DIR) / "docs" / "machine-image.md");
  const std::string reg = exampleBlock(doc, "infection.reg");
  const std::string report = exampleBlock(doc, "report");
  ASSERT_NE(reg.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\dnsfilter]"), std::string::npos);
  ASSERT_FALSE(report.empty());

  qftest::MachineImage image("worked-example");
  const fs::path pc = image.root();
  ASSERT_EQ(tool("new '" + pc.string() + "'"), 0);
  writeFile(pc.parent_path() / "infection.reg", "\xFF\xFE" + qftest::toUtf16le(crlf(reg)));
  ASSERT_EQ(tool("import '" + pc.string() + "' '" + (pc.parent_path() / "infection.reg").string() + "'"), 0);
  writeFile(pc / "drive_c/WINDOWS/system32/drivers/DnsFilter.sys", "MZ");
  writeFile(pc / "drive_c/WINDOWS/freddy12.exe", "MZ");
  std::string toml = qftest::slurp(pc / "machine.toml");
  const std::size_t answers = toml.find("answers = []");
  ASSERT_NE(answers, std::string::npos);
  toml.replace(answers, 12, "answers = [\"IDYES\", \"IDCONTINUE\"]");
  writeFile(pc / "machine.toml", toml);

  const qftest::RunResult run = image.run();
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(qftest::fromUtf16le(image.read("C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.txt")),
            crlf(report.substr(0, report.size() - 1)));
  EXPECT_NE(image.journal().find("DeleteService name=\"dnsfilter\"\n"), std::string::npos);
}

}  // namespace
