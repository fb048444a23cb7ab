// The machine's state at a glance, and its journal.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/emulated/machine/image.h"
#include "qfmachine.h"

namespace qfmachine {

int show(const std::filesystem::path& root) {
  emu::useImage(root);
  toml::table& config = emu::config();
  std::printf("Machine image %s\n", emu::image().root.c_str());
  std::printf("Windows: %s\n",
              emu::windowsVersion() == emu::WindowsVersion::Xp ? "XP SP3" : "Vista and later");
  if (const auto local = config["clock"]["local"].value<toml::date_time>()) {
    std::ostringstream s;
    s << *local;
    std::printf("Clock: %s (UTC%+lld min)\n", s.str().c_str(),
                static_cast<long long>(config["clock"]["utc_offset_minutes"].value_or<std::int64_t>(0)));
  }
  std::printf("Administrator: %s\n", config["token"]["administrator"].value_or(true) ? "yes" : "no");
  std::printf("Processes:\n");
  if (const toml::array* list = config["process"].as_array()) {
    for (const auto& node : *list)
      if (const toml::table* p = node.as_table())
        std::printf("  %6lld  %s\n", static_cast<long long>((*p)["pid"].value_or<std::int64_t>(0)),
                    (*p)["path"].value_or<std::string>("").c_str());
  }
  std::printf("  %6lld  %s (this program)\n", static_cast<long long>(config["self"]["pid"].value_or<std::int64_t>(1500)),
              config["self"]["path"].value_or<std::string>("C:\\QuorelFix.exe").c_str());
  std::printf("Services:\n");
  if (const toml::array* list = config["service"].as_array()) {
    for (const auto& node : *list)
      if (const toml::table* s = node.as_table())
        std::printf("  %-24s %s%s\n", (*s)["name"].value_or<std::string>("").c_str(),
                    (*s)["state"].value_or<std::string>("running").c_str(),
                    (*s)["marked_for_deletion"].value_or(false) ? ", marked for deletion" : "");
  }
  std::size_t answers = 0;
  if (const toml::array* a = config["message_boxes"]["answers"].as_array()) answers = a->size();
  std::printf("Message-box answers left: %zu\n", answers);
  std::printf("Journal:\n");
  std::ifstream journal(emu::image().root / "journal.txt");
  std::string line;
  while (std::getline(journal, line)) std::printf("  %s\n", line.c_str());
  return 0;
}

}  // namespace qfmachine
