// Placeholder until the registry, directory and process queries land.
#include "system/scanner.h"

std::optional<std::u16string> getRegSZValue(win::HKEY, const char16_t*, const char16_t*) { return std::nullopt; }
StringList getSubkeys(win::HKEY) { return {}; }
StringList getSZValues(win::HKEY) { return {}; }
StringList getFiles(std::u16string_view, int) { return {}; }
win::ScopedHandle getProcHandle(std::u16string_view) { return {}; }
