// Fuzzes FindFirstFileW's wildcard matching on the emulated drives with a
// pattern and a name split from the input: no crash or undefined behaviour,
// and the rules the folder listing relies on hold for every pair:
//   - matching ignores case, on either side;
//   - a pattern with no wildcard that the listing answers from the folder's
//     index (no "*?<>\"", not "." or "..", no trailing dot or blank) matches
//     exactly the names equal to it without regard to case;
//   - "*" and "*.*" match every name;
//   - the two-step match (expression, then names) answers as the one-step one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/files/wildcard.h"
#include "platform/emulated/machine/text.h"

namespace {
std::u16string units(const std::uint8_t* data, std::size_t size) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < size; i += 2) out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return out;
}

bool plainName(std::u16string_view p) {
  return !p.empty() && p.find_first_of(u"*?<>\"") == std::u16string_view::npos && p != u"." && p != u".." &&
         p.back() != u'.' && p.back() != u' ';
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Pattern and name as UTF-16 units, split at the first 0x0000 unit (a name
  // cannot hold one); a name is never empty and never holds a backslash.
  const std::u16string all = units(data, size);
  const std::size_t split = all.find(u'\0');
  if (split == std::u16string::npos) return 0;
  const std::u16string pattern = all.substr(0, split);
  const std::u16string name = all.substr(split + 1);
  if (name.empty() || name.find_first_of(std::u16string_view(u"\\\0", 2)) != std::u16string::npos) return 0;

  const bool match = emu::wildcardMatches(pattern, name);
  if (emu::wildcardMatches(emu::upcased(pattern), name) != match) std::abort();
  if (emu::wildcardMatches(pattern, emu::upcased(name)) != match) std::abort();
  if (emu::expressionMatches(emu::ntExpression(pattern), name) != match) std::abort();
  if (plainName(pattern) && match != emu::equalNoCase(pattern, name)) std::abort();
  if (!emu::wildcardMatches(u"*", name) || !emu::wildcardMatches(u"*.*", name)) std::abort();
  return 0;
}
