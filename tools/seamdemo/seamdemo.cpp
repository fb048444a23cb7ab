// seamdemo: a small program that talks to Windows only through the seam, so
// that the same source runs on a machine image and on Windows (or Wine).
//
//   seamdemo <folder> <target folder>
//
// It counts its runs in HKEY_CURRENT_USER\Software\QuorelFixSeamDemo (a
// REG_DWORD "Runs", read, incremented and written back) and stores a REG_SZ
// "Greeting"; lists the files of <folder>; moves the first file listed into
// <target folder> with the shell, creating that folder if needed; and prints
// each step with the codes Windows answered. Exit status 0 when every step
// succeeded, 1 otherwise.
#include <cstdio>
#include <string>

#include "platform/scoped.h"
#include "platform/win32.h"

namespace {

constexpr char16_t kDemoKey[] = u"Software\\QuorelFixSeamDemo";
constexpr char16_t kGreeting[] = u"hello through the seam";

// UTF-16 to UTF-8 for the console.
std::string utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Command-line bytes to UTF-16, byte for byte, as the program converts 8-bit paths.
std::u16string widen(const char* text) {
  std::u16string out;
  for (const char* p = text; *p; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
  return out;
}

bool registryStep() {
  win::ScopedKey key;
  win::DWORD disposition = 0;
  win::LONG rc = win::RegCreateKeyExW(win::HKEY_CURRENT_USER, kDemoKey, 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                      win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, nullptr, key.receive(),
                                      &disposition);
  std::printf("registry: HKEY_CURRENT_USER\\%s: RegCreateKeyExW %ld (%s)\n", utf8(kDemoKey).c_str(),
              static_cast<long>(rc), disposition == win::REG_CREATED_NEW_KEY ? "created" : "opened");
  if (rc != win::ERROR_SUCCESS) return false;

  win::DWORD runs = 0;
  win::DWORD type = win::REG_NONE;
  win::DWORD size = sizeof(runs);
  rc = win::RegQueryValueExW(key.get(), u"Runs", nullptr, &type, reinterpret_cast<win::BYTE*>(&runs), &size);
  if (rc == win::ERROR_SUCCESS && (type != win::REG_DWORD || size != sizeof(runs))) runs = 0;
  std::printf("registry: Runs read: %ld, %lu\n", static_cast<long>(rc), static_cast<unsigned long>(runs));
  ++runs;
  rc = win::RegSetValueExW(key.get(), u"Runs", 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&runs),
                           sizeof(runs));
  std::printf("registry: Runs written: %ld, %lu\n", static_cast<long>(rc), static_cast<unsigned long>(runs));
  if (rc != win::ERROR_SUCCESS) return false;

  rc = win::RegSetValueExW(key.get(), u"Greeting", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(kGreeting),
                           sizeof(kGreeting));
  if (rc != win::ERROR_SUCCESS) {
    std::printf("registry: Greeting written: %ld\n", static_cast<long>(rc));
    return false;
  }
  char16_t text[64] = {};
  size = sizeof(text) - sizeof(char16_t);
  rc = win::RegQueryValueExW(key.get(), u"Greeting", nullptr, &type, reinterpret_cast<win::BYTE*>(text), &size);
  std::printf("registry: Greeting read back: %ld, type %lu, %lu bytes, \"%s\"\n", static_cast<long>(rc),
              static_cast<unsigned long>(type), static_cast<unsigned long>(size), utf8(text).c_str());
  return rc == win::ERROR_SUCCESS && std::u16string(text) == kGreeting;
}

// Lists <folder>\* and returns the first plain file's name (empty when none).
std::u16string listStep(const std::u16string& folder, bool& ok) {
  std::u16string pattern = folder + u"\\*";
  win::WIN32_FIND_DATAW found{};
  win::ScopedFind find(win::FindFirstFileW(pattern.c_str(), &found));
  if (!find) {
    std::printf("files: FindFirstFileW %s failed: %lu\n", utf8(pattern).c_str(),
                static_cast<unsigned long>(win::GetLastError()));
    ok = false;
    return {};
  }
  std::printf("files: %s\n", utf8(pattern).c_str());
  std::u16string first;
  do {
    std::u16string name = found.cFileName;
    bool folderEntry = (found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folderEntry) {
      std::printf("  %s <folder>\n", utf8(name).c_str());
    } else {
      std::printf("  %s %lu bytes\n", utf8(name).c_str(), static_cast<unsigned long>(found.nFileSizeLow));
      if (first.empty()) first = name;
    }
  } while (win::FindNextFileW(find.get(), &found));
  win::DWORD last = win::GetLastError();
  std::printf("files: end of listing: %lu\n", static_cast<unsigned long>(last));
  ok = last == win::ERROR_NO_MORE_FILES;
  return first;
}

// Moves <folder>\<name> to <target folder>\<name>. The destination names the
// item itself: a single file moved onto a path that does not exist takes that
// path as its new name, so a bare folder path would rename the file.
bool moveStep(const std::u16string& folder, const std::u16string& name, const std::u16string& toFolder) {
  // The shell takes double-zero-terminated lists.
  std::u16string source = folder + u"\\" + name + u'\0';
  std::u16string target = toFolder + u"\\" + name + u'\0';
  win::SHFILEOPSTRUCTW op{};
  op.wFunc = win::FO_MOVE;
  op.pFrom = source.c_str();
  op.pTo = target.c_str();
  op.fFlags = win::FOF_NOCONFIRMATION | win::FOF_NOCONFIRMMKDIR | win::FOF_NOERRORUI | win::FOF_SILENT;
  int rc = win::SHFileOperationW(&op);
  std::printf("move: %s -> %s: SHFileOperationW %d\n", utf8(source.c_str()).c_str(), utf8(target.c_str()).c_str(),
              rc);
  return rc == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: seamdemo <folder> <target folder>\n");
    return 2;
  }
  std::u16string folder = widen(argv[1]);
  std::u16string target = widen(argv[2]);
  bool ok = registryStep();
  bool listed = true;
  std::u16string first = listStep(folder, listed);
  ok = ok && listed;
  if (first.empty()) {
    std::printf("move: no file to move\n");
  } else {
    ok = moveStep(folder, first, target) && ok;
  }
  std::printf("seamdemo: %s\n", ok ? "done" : "failed");
  return ok ? 0 : 1;
}
