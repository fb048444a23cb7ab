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
