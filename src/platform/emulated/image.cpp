// Minimal image loading; the machine's own part fills this in.
#include "platform/emulated/image.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace emu {
namespace {
Image currentImage;
toml::table currentConfig;
bool loaded = false;

void load() {
  if (loaded) return;
  const char* root = std::getenv("QUORELFIX_IMAGE");
  if (!root || !*root) {
    std::fprintf(stderr, "QUORELFIX_IMAGE is not set: it must name a machine image folder.\n");
    std::exit(2);
  }
  useImage(root);
}
}  // namespace

const Image& image() {
  load();
  return currentImage;
}

void useImage(const std::filesystem::path& root) {
  currentImage.root = root;
  ++currentImage.generation;
  try {
    currentConfig = toml::parse_file((root / "machine.toml").string());
  } catch (const toml::parse_error& e) {
    std::fprintf(stderr, "%s: %s\n", (root / "machine.toml").string().c_str(), std::string(e.description()).c_str());
    std::exit(2);
  }
  loaded = true;
}

toml::table& config() {
  load();
  return currentConfig;
}

void saveConfig() {
  std::ofstream f(currentImage.root / "machine.toml", std::ios::trunc);
  f << currentConfig << "\n";
}

std::uint64_t nowFileTime() {
  // Days from 1601-01-01 to the civil date (proleptic Gregorian).
  auto days = [](int y, unsigned m, unsigned d) -> std::int64_t {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 134774;  // 1970 -> 1601
  };
  const auto local = config()["clock"]["local"].value<toml::date_time>();
  std::int64_t offset = config()["clock"]["utc_offset_minutes"].value_or<std::int64_t>(0);
  if (!local) return 0;
  std::int64_t secs = days(local->date.year, local->date.month, local->date.day) * 86400 + local->time.hour * 3600 +
                      local->time.minute * 60 + local->time.second - offset * 60;
  return static_cast<std::uint64_t>(secs) * 10000000ULL;
}

void journal(std::string_view line) {
  std::ofstream f(image().root / "journal.txt", std::ios::app | std::ios::binary);
  f << line << "\n";
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out.push_back(c);
    }
  }
  return out + "\"";
}
}  // namespace emu
