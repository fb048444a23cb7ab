// QuorelPreview on every scenario image and the bundled one, as each Windows
// release: the preview leaves the image as it was (every file of it, the
// registry and machine.toml byte for byte; the journal holds nothing but the
// preview's own report), and its report, less its header and its closing
// section, is the report of the QuorelFix run that follows, byte for byte,
// but for the lines the closing section names as not known in advance.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "restore_images.h"
#include "support/base_machine.h"
#include "support/run_program.h"

namespace {

using qftest::MachineImage;

constexpr std::string_view kDesktop = R"(C:\Documents and Settings\Owner\Desktop)";
const std::string kPreviewReport = std::string(kDesktop) + R"(\QuorelPreview.txt)";
const std::string kRunReport = std::string(kDesktop) + R"(\QuorelFix.txt)";

constexpr std::string_view kHeader =
    "QuorelPreview by quillfen (03.07.10.1)\r\n"
    "Preview only: nothing was changed. The report QuorelFix would write now follows, line for line.\r\n"
    "\r\n";
constexpr std::string_view kClosing = "\r\n\r\n========== Not Known in Advance ==========\r\n";

// Every file of the image folder with its bytes, the journal left out.
std::map<std::string, std::string> imageFiles(const MachineImage& image) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(image.root())) {
    const std::string relative = std::filesystem::relative(e.path(), image.root()).generic_string();
    if (relative == "journal.txt") continue;
    files[relative] = e.is_directory() ? "<folder>" : qftest::slurp(e.path());
  }
  return files;
}

std::string differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  std::ostringstream out;
  for (const auto& [path, bytes] : before) {
    auto it = after.find(path);
    if (it == after.end()) out << "gone: " << path << "\n";
    else if (it->second != bytes) out << "changed: " << path << "\n";
  }
  for (const auto& [path, bytes] : after)
    if (!before.count(path)) out << "added: " << path << "\n";
  return out.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    out.push_back(text.substr(start, at - start));
  out.push_back(text.substr(start));
  return out;
}

void setVersion(MachineImage& image, std::string_view version) {
  std::string toml = qftest::slurp(image.root() / "machine.toml");
  const std::string xp = qftest::windowsToml("xp");
  const std::size_t at = toml.find(xp);
  toml = at == std::string::npos ? qftest::windowsToml(version) + toml
                                 : toml.replace(at, xp.size(), qftest::windowsToml(version));
  image.config(toml);
}

class PreviewOf : public ::testing::TestWithParam<std::string_view> {};

TEST_P(PreviewOf, EveryImageChangesNothingAndForetellsTheRunsReport) {
  for (const restore_scn::Image& row : restore_scn::kImages) {
    SCOPED_TRACE(row.name);
    MachineImage image(row.name);
    row.build(image);
    setVersion(image, GetParam());
    const auto before = imageFiles(image);
    const std::string journalBefore = image.journal();

    auto previewed = qftest::runProgramOn(image, QF_PREVIEW_PATH, row.args);
    ASSERT_EQ(previewed.exitStatus, 0) << previewed.err;
    EXPECT_NE(previewed.out.find("Nothing was changed. The preview is in " + kPreviewReport), std::string::npos)
        << previewed.out;

    // Nothing but the preview's own report was added.
    auto after = imageFiles(image);
    const std::string reportHost =
        std::filesystem::relative(image.host(kPreviewReport), image.root()).generic_string();
    ASSERT_TRUE(after.erase(reportHost)) << "no preview report";
    EXPECT_EQ(differences(before, after), "");
    const std::string journal = image.journal().substr(journalBefore.size());
    for (const std::string& line : lines(journal))
      if (!line.empty()) {
        EXPECT_NE(line.find("QuorelPreview.txt"), std::string::npos) << line;
      }

    const std::string preview = image.read(kPreviewReport);
    ASSERT_EQ(qftest::fromUtf16le(preview.substr(0, kHeader.size() * 2)), kHeader);
    std::string body = qftest::fromUtf16le(preview.substr(kHeader.size() * 2));
    std::vector<std::string> unknown;
    if (std::size_t at = body.find(kClosing); at != std::string::npos) {
      unknown = lines(body.substr(at + kClosing.size()));
      unknown.erase(unknown.begin());  // its opening sentence
      body.resize(at);
    }

    auto run = image.run(row.args);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string report = qftest::fromUtf16le(image.read(kRunReport));
    if (body == report) continue;
    // Only a line named as not known may differ.
    const auto previewLines = lines(body);
    const auto runLines = lines(report);
    ASSERT_EQ(previewLines.size(), runLines.size()) << body << "\n----\n" << report;
    for (std::size_t i = 0; i < runLines.size(); ++i) {
      if (previewLines[i] == runLines[i]) continue;
      EXPECT_NE(std::find(unknown.begin(), unknown.end(), previewLines[i]), unknown.end())
          << "differs and is not listed as not known: " << previewLines[i] << "\nthe run: " << runLines[i];
    }
  }
}

// "/?" and "-?": the usage text, no box, no preview, nothing journaled.
TEST(PreviewUsage, UsageSwitchPrintsTheUsageAndChangesNothing) {
  const std::string usage =
      "QuorelPreview shows what QuorelFix would do, and changes nothing.\n"
      "\n"
      "  QuorelPreview             the report QuorelFix would write, as QuorelPreview.txt on the desktop\n"
      "  QuorelPreview <script>    the same with the removal script QuorelFix would carry out first\n"
      "  QuorelPreview /?          show this text\n";
  MachineImage image("preview-usage");
  restore_scn::demoImage(image);
  const auto before = imageFiles(image);
  const std::string journal = image.journal();
  for (const char* sw : {"/?", "-?"}) {
    auto r = qftest::runProgramOn(image, QF_PREVIEW_PATH, {sw});
    EXPECT_EQ(r.exitStatus, 0) << sw;
    EXPECT_EQ(r.out, usage) << sw;
  }
  EXPECT_EQ(differences(before, imageFiles(image)), "");
  EXPECT_EQ(image.journal(), journal);
}

INSTANTIATE_TEST_SUITE_P(Windows, PreviewOf, ::testing::ValuesIn(qftest::kWindowsVersions),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
