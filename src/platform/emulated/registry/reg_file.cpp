// Reading and writing registry.reg (reg_file.h): the export format parsed
// into the key trees, and the blocks that record one change each.
#include "platform/emulated/registry/reg_file.h"

#include "platform/emulated/machine/text.h"

namespace emu::reg {
namespace {

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimmed(std::u16string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool startsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && equalNoCase(s.substr(0, prefix.size()), prefix);
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads a quoted string starting at s[0] == '"', undoing the \\ and \"
// escapes; advances s past the closing quote. False when it is not closed.
bool readQuoted(std::u16string_view& s, std::u16string* out) {
  std::u16string text;
  for (std::size_t i = 1; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
      text.push_back(s[++i]);
    } else if (c == u'"') {
      s.remove_prefix(i + 1);
      *out = std::move(text);
      return true;
    } else {
      text.push_back(c);
    }
  }
  return false;
}

std::vector<win::BYTE> utf16leBytes(std::u16string_view s, bool terminator) {
  std::vector<win::BYTE> out;
  out.reserve(s.size() * 2 + 2);
  for (char16_t c : s) {
    out.push_back(static_cast<win::BYTE>(c & 0xFF));
    out.push_back(static_cast<win::BYTE>(c >> 8));
  }
  if (terminator) out.insert(out.end(), {0, 0});
  return out;
}

// Comma-separated hex bytes; stray spaces are allowed. False on anything else.
bool parseHexBytes(std::u16string_view s, std::vector<win::BYTE>* out) {
  std::vector<win::BYTE> bytes;
  int pending = -1;
  for (char16_t c : s) {
    if (isSpace(c)) continue;
    if (c == u',') {
      if (pending >= 0) bytes.push_back(static_cast<win::BYTE>(pending));
      pending = -1;
      continue;
    }
    int d = hexDigit(c);
    if (d < 0) return false;
    pending = pending < 0 ? d : (pending << 4 | d);
    if (pending > 0xFF) return false;
  }
  if (pending >= 0) bytes.push_back(static_cast<win::BYTE>(pending));
  *out = std::move(bytes);
  return true;
}

// The data part of a value line ("text", dword:, hex:, hex(N):), read into
// type and bytes. `lines`/`next` supply continuation lines of hex data.
// Null when it reads, else what is wrong with it.
const char* parseData(std::u16string_view data, const std::vector<std::u16string_view>& lines, std::size_t& next,
                      win::DWORD* type, std::vector<win::BYTE>* bytes) {
  if (!data.empty() && data.front() == u'"') {
    std::u16string text;
    if (!readQuoted(data, &text)) return "the quoted text is not closed";
    if (!trimmed(data).empty()) return "text follows the closing quote";
    *type = win::REG_SZ;
    *bytes = utf16leBytes(text, true);
    return nullptr;
  }
  if (startsWithNoCase(data, u"dword:")) {
    std::u16string_view digits = trimmed(data.substr(6));
    if (digits.empty() || digits.size() > 8) return "a dword needs 1 to 8 hexadecimal digits";
    win::DWORD v = 0;
    for (char16_t c : digits) {
      int d = hexDigit(c);
      if (d < 0) return "a dword needs 1 to 8 hexadecimal digits";
      v = v << 4 | static_cast<win::DWORD>(d);
    }
    *type = win::REG_DWORD;
    *bytes = {static_cast<win::BYTE>(v), static_cast<win::BYTE>(v >> 8), static_cast<win::BYTE>(v >> 16),
              static_cast<win::BYTE>(v >> 24)};
    return nullptr;
  }
  if (!startsWithNoCase(data, u"hex")) return "the data is none of \"text\", dword:, hex: or hex(N):";
  data.remove_prefix(3);
  win::DWORD t = win::REG_BINARY;
  if (!data.empty() && data.front() == u'(') {
    std::size_t close = data.find(u')');
    if (close == std::u16string_view::npos || close == 1 || close > 9) return "hex(N) needs a hexadecimal type N";
    t = 0;
    for (char16_t c : data.substr(1, close - 1)) {
      int d = hexDigit(c);
      if (d < 0) return "hex(N) needs a hexadecimal type N";
      t = t << 4 | static_cast<win::DWORD>(d);
    }
    data.remove_prefix(close + 1);
  }
  if (data.empty() || data.front() != u':') return "hex data needs a colon after hex or hex(N)";
  data.remove_prefix(1);
  // A trailing backslash continues the bytes on the next line.
  std::u16string all;
  std::u16string_view part = trimmed(data);
  for (;;) {
    const bool more = !part.empty() && part.back() == u'\\';
    if (more) part.remove_suffix(1);
    all += part;
    if (!more) break;
    if (next >= lines.size()) return "the hex data ends with a backslash, but the file ends there";
    part = trimmed(lines[next]);
    if (part.empty() || part.front() == u'[' || part.front() == u'"' || part.front() == u'@')
      return "the hex data ends with a backslash, but the next line does not go on with it";
    ++next;
  }
  *type = t;
  if (!parseHexBytes(all, bytes)) return "hex data must be bytes of two hexadecimal digits, parted by commas";
  return nullptr;
}

std::u16string escaped(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// Whether REG_SZ data can be written as "text": an even size ending in one
// terminator, no other NUL, no control characters (a line break would end
// the line), and, for UTF-8, no unpaired surrogate.
bool writableAsText(const std::vector<win::BYTE>& data, Encoding encoding, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  std::u16string s;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) s.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  if (s.back() != 0) return false;
  s.pop_back();
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x20 || c == 0x7F) return false;
    if (encoding == Encoding::Utf8 && c >= 0xD800 && c < 0xE000) {
      bool paired = c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000;
      if (!paired) return false;
      ++i;
    }
  }
  *text = std::move(s);
  return true;
}

std::u16string ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::u16string hexBytes(const std::vector<win::BYTE>& data, std::size_t prefixLength) {
  static const char digits[] = "0123456789abcdef";
  std::u16string out;
  std::size_t column = prefixLength;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      out += u',';
      ++column;
      // Wrap long data as regedit does, continuing with a backslash.
      if (column > 76) {
        out += u"\\\r\n  ";
        column = 2;
      }
    }
    out.push_back(static_cast<char16_t>(digits[data[i] >> 4]));
    out.push_back(static_cast<char16_t>(digits[data[i] & 0xF]));
    column += 2;
  }
  return out;
}

std::u16string nameField(std::u16string_view name) {
  return name.empty() ? std::u16string(u"@") : u"\"" + escaped(name) + u"\"";
}

}  // namespace

std::optional<RootedPath> parseRootedPath(std::u16string_view text) {
  Path parts = splitPath(text);
  if (parts.empty()) return std::nullopt;
  const std::u16string root = upcased(parts.front());
  RootedPath out;
  Path prefix;
  if (root == u"HKEY_LOCAL_MACHINE" || root == u"HKLM") {
    out.hive = Hive::Machine;
  } else if (root == u"HKEY_CURRENT_USER" || root == u"HKCU") {
    out.hive = Hive::User;
  } else if (root == u"HKEY_CLASSES_ROOT" || root == u"HKCR") {
    out.hive = Hive::Machine;
    prefix = {u"Software", u"Classes"};
  } else {
    return std::nullopt;
  }
  out.path = prefix;
  out.path.insert(out.path.end(), parts.begin() + 1, parts.end());
  return out;
}

std::u16string_view hiveName(Hive hive) {
  return hive == Hive::Machine ? u"HKEY_LOCAL_MACHINE" : u"HKEY_CURRENT_USER";
}

RegText decodeRegFile(std::string_view bytes) {
  RegText out;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    out.encoding = Encoding::Utf16le;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      out.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                               static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  out.encoding = Encoding::Utf8;
  out.text = toUtf16(bytes);
  return out;
}

std::string encodeRegText(std::u16string_view text, Encoding encoding) {
  if (encoding == Encoding::Utf8) return toUtf8(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::optional<RegLineError> applyRegText(std::u16string_view text, const std::shared_ptr<Key>& machine,
                                         const std::shared_ptr<Key>& user) {
  std::vector<std::u16string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    // A byte-order mark inside the text: a second export appended whole, in
    // the file's own encoding.
    if (!line.empty() && line.front() == 0xFEFF) line.remove_prefix(1);
    lines.push_back(line);
    start = end + 1;
  }

  std::shared_ptr<Key> current;  // the key the value lines belong to; none after [-...]
  bool deletion = false;         // the last header deleted a key
  for (std::size_t next = 0; next < lines.size();) {
    const std::size_t number = next + 1;
    const auto refused = [&](std::string what) { return RegLineError{number, std::move(what)}; };
    std::u16string_view line = trimmed(lines[next++]);
    if (line.empty() || line.front() == u';') continue;
    if (line == u"Windows Registry Editor Version 5.00" || line == u"REGEDIT4") continue;
    if (line.front() == u'[') {
      current = nullptr;
      if (line.back() != u']') return refused("the key's name is not closed with ]");
      std::u16string_view inner = line.substr(1, line.size() - 2);
      deletion = !inner.empty() && inner.front() == u'-';
      if (deletion) inner.remove_prefix(1);
      auto rooted = parseRootedPath(inner);
      if (!rooted)
        return refused("unknown root key \"" + toUtf8(inner.substr(0, inner.find(u'\\'))) +
                       "\"; keys begin HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_CLASSES_ROOT");
      const auto& root = rooted->hive == Hive::Machine ? machine : user;
      if (deletion) {
        if (rooted->path.empty()) return refused("a root key cannot be deleted");
        if (auto key = findPath(root, rooted->path)) removeTree(*key);
      } else {
        bool created = false;
        current = createPath(root, rooted->path, &created);
      }
      continue;
    }
    if (line.size() >= 2 && line[0] == 0xFF && line[1] == 0xFE)
      return refused("a UTF-16 export was appended to this UTF-8 file as bytes; add an export with qfmachine import");
    if (line.front() != u'"' && line.front() != u'@')
      return refused("the line is no key [...], value \"name\"=... or @=..., nor a comment ;...");
    if (!current)
      return refused(deletion ? "a value follows a key deletion [-...]; values belong to a key [...]"
                              : "a value comes before any key [...]");
    std::u16string name;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else if (!readQuoted(line, &name)) {
      return refused("the value's name is not closed with a quote");
    }
    line = trimmed(line);
    if (line.empty() || line.front() != u'=') return refused("the value's name is not followed by =");
    line = trimmed(line.substr(1));
    if (line == u"-") {
      deleteValue(*current, name);
      continue;
    }
    win::DWORD type = 0;
    std::vector<win::BYTE> bytes;
    if (const char* wrong = parseData(line, lines, next, &type, &bytes)) return refused(wrong);
    setValue(*current, name, type, std::move(bytes));
  }
  return std::nullopt;
}

std::u16string keyBlock(const Key& key) { return u"\r\n[" + keyPath(key) + u"]\r\n"; }

std::u16string deletedKeyBlock(std::u16string_view fullPath) {
  return u"\r\n[-" + std::u16string(fullPath) + u"]\r\n";
}

std::u16string valueLine(const Value& value, Encoding encoding) {
  std::u16string line = nameField(value.name) + u"=";
  std::u16string text;
  if (value.type == win::REG_SZ && writableAsText(value.data, encoding, &text)) {
    line += u"\"" + escaped(text) + u"\"";
  } else {
    static const char digits[] = "0123456789abcdef";
    std::string prefix = "hex";
    if (value.type != win::REG_BINARY) {
      std::string t;
      for (win::DWORD v = value.type; v != 0 || t.empty(); v >>= 4) t.insert(t.begin(), digits[v & 0xF]);
      prefix += "(" + t + ")";
    }
    prefix += ":";
    line += ascii(prefix);
    line += hexBytes(value.data, line.size());
  }
  return line + u"\r\n";
}

std::u16string deletedValueLine(std::u16string_view name) { return nameField(name) + u"=-\r\n"; }

}  // namespace emu::reg
