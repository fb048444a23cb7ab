// The machine's state at a glance, and its journal.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/emulated/kernel/processes.h"
#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"
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
  const emu::SavedState& saved = emu::machine().saved;
  std::printf("Processes:\n");
  for (const emu::Process& p : saved.processes)
    std::printf("  %6lu  %s\n", static_cast<unsigned long>(p.pid), emu::toUtf8(p.path).c_str());
  std::printf("  %6lu  %s (this program)\n", static_cast<unsigned long>(emu::selfPid()),
              emu::toUtf8(emu::selfPath()).c_str());
  std::printf("Services:\n");
  for (const emu::Service& s : saved.services)
    std::printf("  %-24s %s%s\n", emu::toUtf8(s.name).c_str(), emu::serviceStateName(s.state),
                s.markedForDeletion ? ", marked for deletion" : "");
  std::printf("RunOnce (run at the next boot):\n");
  for (const RunOnceEntry& e : runOnceEntries())
    std::printf("  %s = %s\n", emu::toUtf8(e.name).c_str(), emu::toUtf8(e.command).c_str());
  std::printf("Message-box answers left: %zu\n", saved.answers.size());
  std::printf("Journal:\n");
  std::ifstream journal(emu::image().root / "journal.txt");
  std::string line;
  while (std::getline(journal, line)) std::printf("  %s\n", line.c_str());
  return 0;
}

}  // namespace qfmachine
