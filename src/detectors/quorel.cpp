// Placeholder until the extension detection rules and locations land.
#include "detectors/quorel.h"

int isQuorel(std::u16string_view) { return 0; }
int isMalExt(std::u16string_view) { return 0; }
std::u16string getFFExtPath() { return {}; }
StringList getFFProfileExtensionPaths() { return {}; }
StringList getFFExtFolders(std::u16string_view) { return {}; }
RegList getRegExtensions(int* openResult) {
  *openResult = 2;
  return {};
}
