// Placeholder until quarantine and registry removal land.
#include "system/remover.h"

int deleteFile(std::u16string_view) { return 1026; }
int deleteRegDef(win::HKEY, const char16_t*, const char16_t*) { return 2; }
int deleteReg(const RegNode&) { return 2; }
int setRegSZValue(const REG_DEF*, std::u16string_view) { return 2; }
int removeAndReport(std::u16string_view, std::u16string_view) { return 1026; }
