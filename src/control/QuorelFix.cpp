// Placeholder until the run sequence lands.
#include "control/QuorelFix.h"

std::FILE* logfile = nullptr;
std::FILE* rebootLog = nullptr;
int doReboot = 0;
int allowReboot = 0;

int runQuorelFix(int, char**) { return 0; }
int isAdmin() { return 0; }
std::u16string expand(std::u16string_view text) { return std::u16string(text); }
