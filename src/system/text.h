// The program's text rules: names compared without regard to ASCII letter
// case, the way it matches paths, value names, arguments and its own fixed
// texts (other characters, 8-bit bytes above 0x7F too, compare as they are,
// as the runtime's comparison does in its default locale); and the text of a
// fixed buffer up to its first terminator.
#pragma once

#include <cstddef>
#include <string_view>

inline char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }
inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

namespace text_detail {
template <typename Char>
bool equalFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  return true;
}
}  // namespace text_detail

inline bool equalNoCase(std::u16string_view a, std::u16string_view b) { return text_detail::equalFolded(a, b); }
inline bool equalNoCase(std::string_view a, std::string_view b) { return text_detail::equalFolded(a, b); }

inline bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}
inline bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && equalNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// The text before the first zero unit, or all of it when there is none: a
// fixed buffer that a name fills to its last unit has no terminator, and
// nothing past the buffer is read.
inline std::u16string_view untilTerminator(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// The hexadecimal digit of the low four bits of `n`, lower- or upper-case;
// and a digit's value, -1 for a character that is no digit.
inline char16_t hexDigit(unsigned n, bool upper) {
  return (upper ? u"0123456789ABCDEF" : u"0123456789abcdef")[n & 0xF];
}
inline int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The usage switch, "/?" or "-?": no file can be named so on Windows, so
// the programs never take it for a path.
inline bool isUsageSwitch(std::string_view argument) { return argument == "/?" || argument == "-?"; }
