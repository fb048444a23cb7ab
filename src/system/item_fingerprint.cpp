// Fingerprints of files and folders, read through the seam.
#include "system/item_fingerprint.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/md5.h"
#include "system/text.h"

namespace {

std::u16string digestText(MD5_CTX& context) {
  unsigned char digest[16];
  MD5Final(digest, &context);
  std::u16string text;
  for (unsigned char b : digest) {
    text.push_back(hexDigit(b >> 4, true));
    text.push_back(hexDigit(b, true));
  }
  return text;
}

// Unlike a scan's signature search, a read that fails part way gives no
// digest at all: a wrong one would call an item something else.
std::optional<std::u16string> fileDigest(const std::u16string& path) {
  win::ScopedFile file(win::_wfopen(path.c_str(), u"rb"));
  if (!file) return std::nullopt;
  MD5_CTX context;
  MD5Init(&context);
  std::array<unsigned char, 16384> chunk{};
  for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
    MD5Update(&context, chunk.data(), static_cast<unsigned int>(got));
  if (std::ferror(file.get())) return std::nullopt;
  return digestText(context);
}

struct Entry {
  std::u16string name;
  bool folder = false;
};

// The folder's entries without "." and ".."; false when it cannot be listed.
bool listEntries(const std::u16string& folder, std::vector<Entry>& entries) {
  win::WIN32_FIND_DATAW found{};
  win::ScopedFind search(win::FindFirstFileW((folder + u"\\*").c_str(), &found));
  if (!search) return false;  // even an empty folder lists "." and ".."
  do {
    const std::u16string_view name = untilTerminator({found.cFileName, std::size(found.cFileName)});
    if (name == u"." || name == u"..") continue;
    entries.push_back(Entry{std::u16string(name), (found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (win::FindNextFileW(search.get(), &found));
  if (win::GetLastError() != win::ERROR_NO_MORE_FILES) return false;
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return true;
}

bool listTree(const std::u16string& folder, const std::u16string& relative, std::u16string& text) {
  std::vector<Entry> entries;
  if (!listEntries(folder, entries)) return false;
  for (const Entry& e : entries) {
    const std::u16string path = folder + u"\\" + e.name;
    const std::u16string shown = relative.empty() ? e.name : relative + u"\\" + e.name;
    if (e.folder) {
      text += shown + u"\\\r\n";
      if (!listTree(path, shown, text)) return false;
    } else {
      std::optional<std::u16string> digest = fileDigest(path);
      if (!digest) return false;
      text += shown + u"\t" + *digest + u"\r\n";
    }
  }
  return true;
}

}  // namespace

std::optional<std::u16string> itemFingerprint(std::u16string_view path) {
  const std::u16string item(path);
  const win::DWORD attributes = win::GetFileAttributesW(item.c_str());
  if (attributes == win::INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & win::FILE_ATTRIBUTE_DIRECTORY) == 0) return fileDigest(item);
  std::u16string text = u"folder\r\n";
  if (!listTree(item, u"", text)) return std::nullopt;
  std::vector<unsigned char> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, bytes.data(), static_cast<unsigned int>(bytes.size()));
  return digestText(context);
}
