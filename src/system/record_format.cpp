// The record files' text, written and read by the same rules.
#include "system/record_format.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "system/md5.h"
#include "system/text.h"

namespace {

// Regedit wraps a value's hexadecimal bytes so that no line passes 80
// characters, going on after ",\" on a line indented by two blanks.
constexpr std::size_t kWrapColumn = 77;
constexpr std::u16string_view kWrap = u"\\\r\n  ";

const struct {
  std::u16string_view name;
  win::HKEY root;
} kRoots[] = {{u"HKEY_LOCAL_MACHINE", win::HKEY_LOCAL_MACHINE},
              {u"HKEY_CURRENT_USER", win::HKEY_CURRENT_USER},
              {u"HKEY_CLASSES_ROOT", win::HKEY_CLASSES_ROOT},
              {u"HKEY_USERS", win::HKEY_USERS}};

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

void appendHexByte(std::u16string& text, std::uint8_t b, bool upper) {
  text.push_back(hexDigit(b >> 4, upper));
  text.push_back(hexDigit(b, upper));
}

// The number that a run of hexadecimal digits spells; false for a character
// that is no digit.
bool parseHex(std::u16string_view digits, win::DWORD& number) {
  win::DWORD n = 0;
  for (char16_t c : digits) {
    const int d = hexValue(c);
    if (d < 0) return false;
    n = (n << 4) | static_cast<win::DWORD>(d);
  }
  number = n;
  return true;
}

// A quoted name or text: backslash and quote behind a backslash.
void appendEscaped(std::u16string& text, char16_t c) {
  if (c == u'\\' || c == u'"') text.push_back(u'\\');
  text.push_back(c);
}

// The text a landed line's check covers: the original, the landing, and the
// item's fingerprint when the line has one.
std::u16string landedCheck(std::u16string_view original, std::u16string_view landing, std::u16string_view content) {
  std::u16string text(original);
  text += u"\t";
  text += landing;
  if (!content.empty()) {
    text += u"\t";
    text += content;
  }
  return recordCheck(text);
}

// A text in a service record's comment line: in quotes, a backslash and a
// quote behind a backslash, a control character as "\x" and four
// hexadecimal digits, so that the text stays on its line.
void appendQuoted(std::u16string& line, std::u16string_view text) {
  line.push_back(u'"');
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F) {
      line += u"\\x";
      for (int shift = 12; shift >= 0; shift -= 4) line.push_back(hexDigit(c >> shift, true));
      continue;
    }
    appendEscaped(line, c);
  }
  line.push_back(u'"');
}

// Reads a quoted text at the start of `rest` and takes it off; false when
// there is none or it does not close.
bool takeQuoted(std::u16string_view& rest, std::u16string& text) {
  if (rest.empty() || rest[0] != u'"') return false;
  std::u16string out;
  for (std::size_t i = 1; i < rest.size(); ++i) {
    char16_t c = rest[i];
    if (c == u'"') {
      text = out;
      rest.remove_prefix(i + 1);
      return true;
    }
    if (c == u'\\') {
      if (i + 1 >= rest.size()) return false;
      c = rest[++i];
      if (c == u'x') {
        win::DWORD unit = 0;
        if (i + 4 >= rest.size() || !parseHex(rest.substr(i + 1, 4), unit)) return false;
        c = static_cast<char16_t>(unit);
        i += 4;
      } else if (c != u'\\' && c != u'"') {
        return false;
      }
    } else if (c < 0x20) {
      return false;
    }
    out.push_back(c);
  }
  return false;
}

bool parseDecimal(std::u16string_view digits, win::DWORD& number) {
  if (digits.empty() || digits.size() > 10) return false;
  std::uint64_t n = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  if (n > 0xFFFFFFFFu) return false;
  number = static_cast<win::DWORD>(n);
  return true;
}

std::u16string decimal(win::DWORD n) {
  std::array<char16_t, 16> text{};
  win::wsprintfW(text.data(), u"%u", static_cast<unsigned>(n));
  return text.data();
}

// The fields of a service record, in their order.
enum ServiceField {
  FIELD_TYPE, FIELD_START, FIELD_ERROR_CONTROL, FIELD_BINARY_PATH, FIELD_LOAD_ORDER_GROUP, FIELD_TAG,
  FIELD_DEPENDENCIES, FIELD_START_NAME, FIELD_DISPLAY_NAME, FIELD_DESCRIPTION, FIELD_COUNT
};
constexpr std::u16string_view kFieldNames[FIELD_COUNT] = {
    u"type", u"start", u"error control", u"binary path", u"load order group",
    u"tag", u"dependencies", u"start name", u"display name", u"description",
};
constexpr std::u16string_view kNoDescription = u"none";

}  // namespace

std::u16string serviceRecordLines(std::u16string_view name, const ServiceConfig& config) {
  std::u16string text(UNDO_DELETED_SERVICE);
  appendQuoted(text, name);
  text += u"\r\n";
  for (int f = 0; f < FIELD_COUNT; ++f) {
    text += UNDO_SERVICE_FIELD;
    text += kFieldNames[f];
    switch (f) {
      case FIELD_TYPE: text += u" " + decimal(config.type); break;
      case FIELD_START: text += u" " + decimal(config.start); break;
      case FIELD_ERROR_CONTROL: text += u" " + decimal(config.errorControl); break;
      case FIELD_BINARY_PATH: text += u" "; appendQuoted(text, config.binaryPath); break;
      case FIELD_LOAD_ORDER_GROUP: text += u" "; appendQuoted(text, config.loadOrderGroup); break;
      case FIELD_TAG: text += u" " + decimal(config.tagId); break;
      case FIELD_DEPENDENCIES:
        for (const std::u16string& d : config.dependencies) {
          text += u" ";
          appendQuoted(text, d);
        }
        break;
      case FIELD_START_NAME: text += u" "; appendQuoted(text, config.startName); break;
      case FIELD_DISPLAY_NAME: text += u" "; appendQuoted(text, config.displayName); break;
      case FIELD_DESCRIPTION:
        text += u" ";
        if (config.hasDescription)
          appendQuoted(text, config.description);
        else
          text += kNoDescription;
        break;
    }
    text += u"\r\n";
  }
  return text;
}

bool parseServiceKindLine(std::u16string_view line, std::u16string& name) {
  if (!startsWith(line, UNDO_DELETED_SERVICE)) return false;
  std::u16string_view rest = line.substr(UNDO_DELETED_SERVICE.size());
  std::u16string read;
  if (!takeQuoted(rest, read) || !rest.empty() || read.empty()) return false;
  name = read;
  return true;
}

bool parseServiceField(std::u16string_view line, std::size_t& fields, ServiceConfig& config) {
  if (fields >= FIELD_COUNT || !startsWith(line, UNDO_SERVICE_FIELD)) return false;
  std::u16string_view rest = line.substr(UNDO_SERVICE_FIELD.size());
  const std::u16string_view field = kFieldNames[fields];
  if (!startsWith(rest, field)) return false;
  rest.remove_prefix(field.size());
  if (!rest.empty() && rest[0] != u' ') return false;
  const bool blank = !rest.empty();
  if (blank) rest.remove_prefix(1);
  ServiceConfig read = config;
  bool ok = true;
  switch (fields) {
    case FIELD_TYPE: ok = blank && parseDecimal(rest, read.type); break;
    case FIELD_START: ok = blank && parseDecimal(rest, read.start); break;
    case FIELD_ERROR_CONTROL: ok = blank && parseDecimal(rest, read.errorControl); break;
    case FIELD_TAG: ok = blank && parseDecimal(rest, read.tagId); break;
    case FIELD_BINARY_PATH: ok = blank && takeQuoted(rest, read.binaryPath) && rest.empty(); break;
    case FIELD_LOAD_ORDER_GROUP: ok = blank && takeQuoted(rest, read.loadOrderGroup) && rest.empty(); break;
    case FIELD_START_NAME: ok = blank && takeQuoted(rest, read.startName) && rest.empty(); break;
    case FIELD_DISPLAY_NAME: ok = blank && takeQuoted(rest, read.displayName) && rest.empty(); break;
    case FIELD_DEPENDENCIES:
      // No blank after the field's name: no dependency; else quoted names parted by one blank.
      read.dependencies.clear();
      if (blank) {
        for (;;) {
          std::u16string one;
          if (!takeQuoted(rest, one) || one.empty()) {
            ok = false;
            break;
          }
          read.dependencies.push_back(one);
          if (rest.empty()) break;
          if (rest[0] != u' ') {
            ok = false;
            break;
          }
          rest.remove_prefix(1);
        }
      }
      break;
    case FIELD_DESCRIPTION:
      if (!blank) {
        ok = false;
      } else if (rest == kNoDescription) {
        read.hasDescription = false;
        read.description.clear();
      } else {
        ok = takeQuoted(rest, read.description) && rest.empty() && !read.description.empty();
        read.hasDescription = true;
      }
      break;
  }
  if (!ok) return false;
  config = read;
  ++fields;
  return true;
}

bool serviceFieldsComplete(std::size_t fields) { return fields == FIELD_COUNT; }

std::u16string recordCheck(std::u16string_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, bytes.data(), static_cast<unsigned int>(bytes.size()));
  unsigned char digest[16];
  MD5Final(digest, &context);
  std::u16string check;
  for (unsigned char b : digest) appendHexByte(check, b, true);
  return check;
}

std::u16string regeditValueLine(const RegValue& value) {
  std::u16string line;
  if (value.name.empty()) {
    line = u"@=";
  } else {
    line = u"\"";
    for (char16_t c : value.name) appendEscaped(line, c);
    line += u"\"=";
  }
  const std::vector<std::uint8_t>& d = value.data;
  // Text as text when regedit's "..." form gives back exactly these bytes:
  // whole units, one terminator at the end, none before it, no line breaks.
  if (value.type == win::REG_SZ && d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 1] == 0 &&
      d[d.size() - 2] == 0) {
    std::u16string text;
    bool plain = true;
    for (std::size_t i = 0; i + 2 < d.size() && plain; i += 2) {
      auto c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
      plain = c >= 0x20;
      appendEscaped(text, c);
    }
    if (plain) return line + u"\"" + text + u"\"";
  }
  if (value.type == win::REG_DWORD && d.size() == 4) {
    line += u"dword:";
    for (int i = 3; i >= 0; --i) appendHexByte(line, d[static_cast<std::size_t>(i)], false);
    return line;
  }
  if (value.type == win::REG_BINARY) {
    line += u"hex:";
  } else {
    std::array<char16_t, 32> type{};
    win::wsprintfW(type.data(), u"hex(%x):", static_cast<unsigned>(value.type));
    line += type.data();
  }
  std::size_t column = line.size();
  for (std::size_t i = 0; i < d.size(); ++i) {
    appendHexByte(line, d[i], false);
    column += 2;
    if (i + 1 == d.size()) break;
    line.push_back(u',');
    ++column;
    if (column >= kWrapColumn) {
      line += kWrap;
      column = 2;
    }
  }
  return line;
}

bool parseValueLine(std::u16string_view line, RegValue& value) {
  std::size_t at = 0;
  std::u16string name;
  if (startsWith(line, u"@=")) {
    at = 2;
  } else if (!line.empty() && line[0] == u'"') {
    at = 1;
    for (;; ++at) {
      if (at >= line.size()) return false;
      if (line[at] == u'\\' && at + 1 < line.size()) {
        name.push_back(line[++at]);
      } else if (line[at] == u'"') {
        break;
      } else {
        name.push_back(line[at]);
      }
    }
    if (at + 1 >= line.size() || line[at + 1] != u'=') return false;
    at += 2;
  } else {
    return false;
  }
  std::u16string_view data = line.substr(at);
  RegValue parsed;
  parsed.name = name;
  if (!data.empty() && data[0] == u'"') {
    if (data.size() < 2 || data.back() != u'"') return false;
    parsed.type = win::REG_SZ;
    for (std::size_t i = 1; i + 1 < data.size(); ++i) {
      char16_t c = data[i];
      if (c == u'\\') {
        if (i + 2 >= data.size()) return false;
        c = data[++i];
      } else if (c == u'"') {
        return false;
      }
      parsed.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
      parsed.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    parsed.data.push_back(0);
    parsed.data.push_back(0);
  } else if (startsWith(data, u"dword:")) {
    std::u16string_view digits = data.substr(6);
    win::DWORD number = 0;
    if (digits.size() != 8 || !parseHex(digits, number)) return false;
    parsed.type = win::REG_DWORD;
    for (int i = 0; i < 4; ++i) parsed.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  } else if (startsWith(data, u"hex")) {
    std::size_t colon = data.find(u':');
    if (colon == std::u16string_view::npos) return false;
    std::u16string_view kind = data.substr(3, colon - 3);
    if (kind.empty()) {
      parsed.type = win::REG_BINARY;
    } else {
      if (kind.size() < 3 || kind.size() > 10 || kind.front() != u'(' || kind.back() != u')') return false;
      if (!parseHex(kind.substr(1, kind.size() - 2), parsed.type)) return false;
    }
    std::u16string_view bytes = data.substr(colon + 1);
    while (!bytes.empty()) {
      std::size_t comma = bytes.find(u',');
      std::u16string_view token = bytes.substr(0, comma);
      while (!token.empty() && token.front() == u' ') token.remove_prefix(1);
      while (!token.empty() && token.back() == u' ') token.remove_suffix(1);
      win::DWORD byte = 0;
      if (token.size() != 2 || !parseHex(token, byte)) return false;
      parsed.data.push_back(static_cast<std::uint8_t>(byte));
      if (comma == std::u16string_view::npos) break;
      bytes.remove_prefix(comma + 1);
      if (bytes.empty()) return false;  // a trailing comma: bytes were cut off
    }
  } else {
    return false;
  }
  value = parsed;
  return true;
}

bool joinWrappedLine(std::u16string& continued, std::u16string_view line, std::u16string& full) {
  // The indent of a line that goes on is left out; a key line never goes on.
  full = continued;
  full += continued.empty() ? line : line.substr(std::min(line.find_first_not_of(u' '), line.size()));
  continued.clear();
  if (!full.empty() && full[0] != u'[' && full.back() == kWrap[0]) {
    full.pop_back();
    continued = std::move(full);
    full.clear();
    return false;
  }
  return true;
}

std::u16string rootName(win::HKEY root) {
  for (const auto& r : kRoots)
    if (r.root == root) return std::u16string(r.name);
  return u"HKEY_UNKNOWN";
}

bool parseKeyPath(std::u16string_view path, win::HKEY& root, std::u16string& subKey) {
  for (const auto& r : kRoots) {
    if (!startsWithNoCase(path, r.name) || path.size() <= r.name.size() + 1 || path[r.name.size()] != u'\\')
      continue;
    root = r.root;
    subKey = std::u16string(path.substr(r.name.size() + 1));
    return true;
  }
  return false;
}

std::u16string keyPlace(win::HKEY root, std::u16string_view subKey) {
  std::u16string place = rootName(root) + u"\\";
  place += subKey;
  return place;
}

std::u16string valuePlace(win::HKEY root, std::u16string_view subKey, std::u16string_view name) {
  std::u16string place = keyPlace(root, subKey) + u"\\\\";
  place += name;
  return place;
}

std::u16string keyLine(win::HKEY root, std::u16string_view subKey) { return u"[" + keyPlace(root, subKey) + u"]\r\n"; }

std::u16string landedLine(std::u16string_view original, std::u16string_view landing, std::u16string_view content) {
  // The check covers the original path too, written on the move line.
  std::u16string text(MANIFEST_LANDED);
  text += landing;
  if (!content.empty()) {
    text += u"\t";
    text += content;
  }
  text += u"\t" + landedCheck(original, landing, content) + u"\r\n";
  return text;
}

void parseLandedLine(std::u16string_view line, std::u16string_view original, std::u16string& landing,
                     std::u16string& content, bool& checked) {
  // landed <tab> path [<tab> fingerprint] <tab> check; no path holds a tab
  const std::u16string_view rest = line.substr(MANIFEST_LANDED.size());
  const std::size_t last = rest.rfind(u'\t');
  const std::size_t first = rest.find(u'\t');
  landing = std::u16string(rest.substr(0, first));
  content = first != last ? std::u16string(rest.substr(first + 1, last - first - 1)) : std::u16string();
  checked = last != std::u16string_view::npos && rest.substr(last + 1) == landedCheck(original, landing, content);
}

std::u16string withoutTrailingBackslashes(std::u16string_view path) {
  while (path.size() > 3 && path.back() == u'\\') path.remove_suffix(1);
  return std::u16string(path);
}
