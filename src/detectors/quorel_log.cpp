// The extension inventory at the end of the report: every extension folder
// and registration still present, each with its folder's creation time.
#include <string>

#include "detectors/quorel.h"
#include "detectors/quorel_value.h"
#include "system/report_sink.h"
#include "system/scanner.h"

namespace {

// Under a heading already written: "(none)", or each subfolder's name with
// the creation time of its folder.
void listExtensionsFolder(const std::u16string& extensionsFolder) {
  StringList names = getFFExtFolders(extensionsFolder);
  if (names.empty()) logit(u"\r\n(none)");
  for (const StringNode* n = names.head.get(); n; n = n->next.get()) {
    logit(u"\r\n" + n->text);  // one write for the line's start: every write is flushed
    printFolderCreationTime(extensionsFolder + n->text);
  }
  freeStringList(names);
}

void listRegistrations() {
  logit(u"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Mozilla\\Firefox\\Extensions]");
  int openResult = 0;
  RegList registrations = getRegExtensions(&openResult);
  if (openResult == static_cast<int>(win::ERROR_FILE_NOT_FOUND)) {
    logit(u"\r\n(Key not found)");
  } else if (openResult != 0) {
    logiti(u"\r\n(Unable to open key, error code: %d)", openResult);
  } else if (registrations.empty()) {
    logit(u"\r\n(none)");
  }
  for (const RegNode* r = registrations.head.get(); r; r = r->next.get()) {
    const std::u16string stored = registeredValueText(*r);
    logit(u"\r\n\"");
    logit(r->valueName);
    logit(u"\"=\"");
    logit(stored);
    logit(u"\"");
    // A value that vanished or holds no path names no folder: it is shown
    // with empty data, and as a folder that is not there, rather than
    // stamping whatever an empty path would resolve to.
    const std::u16string folder = stored.empty() ? std::u16string() : expand(stored);
    if (folder.empty())
      logiti(u" [Error code: %d]", static_cast<int>(win::ERROR_FILE_NOT_FOUND));
    else
      printFolderCreationTime(folder);
  }
  freeRegList(registrations);
}

}  // namespace

void quorelLog() {
  const std::u16string programWide = getFFExtPath();
  logit(u"\r\n");
  logit(programWide);
  listExtensionsFolder(programWide);

  StringList profiles = getFFProfileExtensionPaths();
  for (const StringNode* p = profiles.head.get(); p; p = p->next.get()) {
    logit(u"\r\n\r\n");
    logit(p->text);
    listExtensionsFolder(p->text);
  }
  freeStringList(profiles);

  listRegistrations();
}
