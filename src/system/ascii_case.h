// Names compared without regard to ASCII letter case, the way the program
// matches paths, value names and its own fixed texts; other characters
// compare as they are.
#pragma once

#include <cstddef>
#include <string_view>

inline char16_t asciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

inline bool equalNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
  return true;
}
