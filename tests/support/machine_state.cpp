#include "support/machine_state.h"

#include <filesystem>
#include <vector>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "support/base_machine.h"

namespace qftest {
namespace {
namespace fs = std::filesystem;

// QuorelFix's and QuorelRestore's own files on the base machine's desktop.
bool ownTrace(const std::string& windowsPath) {
  const std::string desktop = std::string(kDesktop) + "\\";
  if (windowsPath.rfind(desktop, 0) != 0) return false;
  const std::string rest = windowsPath.substr(desktop.size());
  return rest == "QuorelFix.txt" || rest == "QuorelRestore.txt" || rest == "QuorelFix Backups" ||
         rest.rfind("QuorelFix Backups\\", 0) == 0;
}

void readFiles(const MachineImage& image, MachineState& state) {
  for (const auto& drive : fs::directory_iterator(image.root())) {
    const std::string name = drive.path().filename().string();
    if (!drive.is_directory() || name.rfind("drive_", 0) != 0 || name.size() != 7) continue;
    const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(name[6]))));
    for (const auto& entry : fs::recursive_directory_iterator(drive.path())) {
      std::string path = letter + ":";
      for (const auto& part : fs::relative(entry.path(), drive.path())) path += "\\" + part.string();
      if (ownTrace(path)) continue;
      state.files[path] = entry.is_directory() ? "<folder>" : slurp(entry.path());
    }
  }
}

std::string hexBytes(const std::vector<win::BYTE>& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (win::BYTE b : data) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

void readKey(win::HKEY root, const std::u16string& subKey, const std::string& shown, MachineState& state) {
  win::ScopedKey key;
  if (win::RegOpenKeyExW(root, subKey.c_str(), 0, win::KEY_READ, key.receive()) != win::ERROR_SUCCESS) return;
  state.registry.insert(shown);
  for (win::DWORD i = 0;; ++i) {
    char16_t name[16384] = {};
    win::DWORD nameLength = 16384;
    std::vector<win::BYTE> data(1 << 16);
    win::DWORD size = static_cast<win::DWORD>(data.size());
    win::DWORD type = 0;
    if (win::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data.data(), &size) != win::ERROR_SUCCESS)
      break;
    data.resize(size);
    const std::string valueName = emu::toUtf8(std::u16string(name, nameLength));
    state.registry.insert(shown + "\\\\" + valueName + " type=" + std::to_string(type) + " " + hexBytes(data));
  }
  std::vector<std::u16string> subkeys;
  for (win::DWORD i = 0;; ++i) {
    char16_t name[256] = {};
    win::DWORD length = 256;
    if (win::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != win::ERROR_SUCCESS)
      break;
    subkeys.emplace_back(name, length);
  }
  for (const auto& sub : subkeys)
    readKey(root, subKey.empty() ? sub : subKey + u"\\" + sub, shown + "\\" + emu::toUtf8(sub), state);
}

}  // namespace

MachineState machineState(const MachineImage& image) {
  MachineState state;
  readFiles(image, state);
  emu::useImage(image.root());
  readKey(win::HKEY_LOCAL_MACHINE, u"", "HKEY_LOCAL_MACHINE", state);
  readKey(win::HKEY_CURRENT_USER, u"", "HKEY_CURRENT_USER", state);
  return state;
}

std::string stateDifference(const MachineState& expected, const MachineState& actual) {
  std::string out;
  for (const auto& [path, bytes] : expected.files) {
    auto found = actual.files.find(path);
    if (found == actual.files.end()) out += "missing file " + path + "\n";
    else if (found->second != bytes) out += "changed file " + path + "\n";
  }
  for (const auto& [path, bytes] : actual.files)
    if (!expected.files.count(path)) out += "extra file " + path + "\n";
  for (const auto& line : expected.registry)
    if (!actual.registry.count(line)) out += "missing registry " + line + "\n";
  for (const auto& line : actual.registry)
    if (!expected.registry.count(line)) out += "extra registry " + line + "\n";
  return out;
}

}  // namespace qftest
