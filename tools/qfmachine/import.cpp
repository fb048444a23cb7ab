// Merging a regedit export into an image, as regedit's import merges it into
// the registry: keys and values added or replaced, [-key] and "name"=-
// deleting. The export's lines are appended to registry.reg in that file's
// encoding, after the image's own registry and the export have both been
// read without a fault, so a file that cannot be read changes nothing.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/emulated/registry/reg_file.h"
#include "platform/emulated/registry/state.h"
#include "qfmachine.h"

namespace qfmachine {
namespace fs = std::filesystem;

int import(const fs::path& root, const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qfmachine: cannot read %s\n", file.c_str());
    return 1;
  }
  std::stringstream bytes;
  bytes << in.rdbuf();
  const emu::reg::RegText text = emu::reg::decodeRegFile(bytes.str());

  emu::useImage(root);  // refuses an image whose own registry.reg cannot be read
  // Read into the image's trees first: the export's first line that cannot
  // be read stops the import before the image's file is touched.
  if (const auto wrong = emu::reg::applyRegText(text.text, emu::reg::root(emu::reg::Hive::Machine),
                                                emu::reg::root(emu::reg::Hive::User))) {
    std::fprintf(stderr, "qfmachine: %s:%zu: %s; nothing was imported.\n", file.c_str(), wrong->line,
                 wrong->what.c_str());
    return 1;
  }
  // The export's own header line is left out: registry.reg has one.
  std::u16string_view lines = text.text;
  for (std::u16string_view header : {u"Windows Registry Editor Version 5.00", u"REGEDIT4"})
    if (lines.substr(0, header.size()) == header) lines.remove_prefix(header.size());
  while (!lines.empty() && (lines.front() == u'\r' || lines.front() == u'\n')) lines.remove_prefix(1);
  const std::u16string block =
      u"\r\n; imported from " + emu::toUtf16(file.filename().string()) + u"\r\n" + std::u16string(lines) + u"\r\n";
  if (emu::reg::record(block) != 0) return 1;
  std::printf("Imported %s into %s\n", file.c_str(), (emu::image().root / "registry.reg").c_str());
  return 0;
}

}  // namespace qfmachine
