// Windows' wildcard matching of the names of one folder, as FindFirstFileW
// and the shell apply a search pattern (the last component of a path).
#pragma once

#include <string>
#include <string_view>

namespace emu {

// Whether `pattern`, as written, matches `name`.
bool wildcardMatches(std::u16string_view pattern, std::u16string_view name);
// The same match in two steps, for matching one pattern against many names:
// the expression NTFS turns the pattern into, and whether a name fits it.
std::u16string ntExpression(std::u16string_view pattern);
bool expressionMatches(std::u16string_view expression, std::u16string_view name);
// Whether a name holds a wildcard (* or ?).
bool hasWildcards(std::u16string_view name);

}  // namespace emu
