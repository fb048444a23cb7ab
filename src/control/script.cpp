// Placeholder until removal scripts land.
#include "control/QuorelFix.h"

std::optional<std::u16string> getLine(std::FILE*, int) { return std::nullopt; }
void parseScript(const char*, int) {}
void addReboot(std::u16string_view) {}
