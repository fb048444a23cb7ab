#include "contract/contract.h"

namespace contract {

const char* backendName(Backend b) {
  switch (b) {
    case Backend::Windows: return "Windows";
    case Backend::Wine: return "Wine";
    case Backend::Emulated: return "the emulated machine";
  }
  return "?";
}

const char* versionName(WindowsVersion v) {
  return v == WindowsVersion::Xp ? "XP SP3" : "Vista and later";
}

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      const char* hex = "0123456789abcdef";
      for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
    }
  }
  return out;
}

std::string show(const std::u16string& value) { return "\"" + narrow(value) + "\""; }

std::string show(const std::vector<std::u16string>& values) {
  std::string out = "{";
  for (const auto& v : values) out += (out.size() > 1 ? " " : "") + show(v);
  return out + "}";
}

void SeamContract::SetUp() {
  removeScratchFolder();
  folder_ = scratchFolder();
  makeFolder(folder_);
  // Left over by an interrupted run: start from nothing.
  (void)win::SHDeleteKeyW(win::HKEY_CURRENT_USER, kScratchKey);
  win::DWORD disposition = 0;
  ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_CURRENT_USER, kScratchKey, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                 win::KEY_ALL_ACCESS, nullptr, &key_, &disposition),
            win::ERROR_SUCCESS);
}

void SeamContract::TearDown() {
  if (key_) win::RegCloseKey(key_);
  EXPECT_EQ(win::SHDeleteKeyW(win::HKEY_CURRENT_USER, kScratchKey), win::ERROR_SUCCESS);
  removeScratchFolder();
}

}  // namespace contract
