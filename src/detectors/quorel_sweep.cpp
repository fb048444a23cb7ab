// The extension sweep: removes every flagged extension folder of the
// program-wide extensions folder, of each profile and of the registry, and
// the registrations of flagged or vanished folders.
#include <string>

#include "detectors/quorel.h"
#include "detectors/quorel_value.h"
#include "platform/win32.h"
#include "system/remover.h"
#include "system/report_sink.h"

namespace {

// The same test in all three phases; the adware test only runs when the
// infection test found nothing.
int isInfected(std::u16string_view folder) { return isQuorel(folder) || isMalExt(folder); }

// Phases 1 and 2: each subfolder of one extensions folder (which ends in a
// backslash), quoted in the report.
void sweepExtensionsFolder(const std::u16string& extensionsFolder, const StringList& names) {
  for (const StringNode* n = names.head.get(); n; n = n->next.get()) {
    const std::u16string path = extensionsFolder + n->text;
    if (!isInfected(path)) continue;
    removeAndReport(REMOVE_EXTENSION_FOLDER, path);
  }
}

// A registry value has no reboot fallback.
void deleteValueAndReport(const RegNode& node) { logOutcome(deleteReg(node)); }

void sweepRegistration(const RegNode& node) {
  const std::u16string stored = registeredValueText(node);
  // A value that vanished since listing, or holds no path, names no folder to
  // test; an empty path would resolve against the current folder. It is
  // left as it is and nothing is written.
  if (stored.empty()) return;
  std::u16string folder = expand(stored);
  if (folder.empty()) return;

  if (isInfected(folder)) {
    logit(u"\r\nDeleting HKEY_LOCAL_MACHINE\\");
    logit(node.subKey);
    logit(u"\\\\");
    logit(node.valueName);
    logit(u" -> ");
    deleteValueAndReport(node);
    // The folder goes whatever became of the value.
    removeAndReport(REMOVE_REGISTERED_FOLDER, folder);
    return;
  }

  // A registration whose folder is gone (possibly moved by phase 1 or 2) is
  // an orphan. A folder that cannot be examined for another reason, such as
  // access denied, is left alone.
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  if (win::GetFileAttributesExW(folder.c_str(), win::GetFileExInfoStandard, &data)) return;
  const win::DWORD error = win::GetLastError();
  if (error != win::ERROR_FILE_NOT_FOUND && error != win::ERROR_PATH_NOT_FOUND) return;
  logit(u"\r\nRemoving Orphan:\r\n\"");
  logit(node.valueName);
  logit(u"\"=\"");
  logit(stored);
  logit(u"\" -> ");
  deleteValueAndReport(node);
}

}  // namespace

void quorelFind() {
  // Phase 1: the program-wide extensions folder. Missing or empty, it writes nothing.
  {
    const std::u16string folder = getFFExtPath();
    StringList names = getFFExtFolders(folder);
    sweepExtensionsFolder(folder, names);
    freeStringList(names);
  }

  // Phase 2: every profile's extensions folder.
  {
    StringList profiles = getFFProfileExtensionPaths();
    for (const StringNode* p = profiles.head.get(); p; p = p->next.get()) {
      StringList names = getFFExtFolders(p->text);
      if (names.empty())
        logit(u"\r\n(none)");
      else
        sweepExtensionsFolder(p->text, names);
      freeStringList(names);
    }
    freeStringList(profiles);
  }

  // Phase 3: the registered extensions. A key that cannot be opened simply
  // leaves nothing to do; the inventory reports it.
  {
    int openResult = 0;
    RegList registrations = getRegExtensions(&openResult);
    for (const RegNode* r = registrations.head.get(); r; r = r->next.get()) sweepRegistration(*r);
    freeRegList(registrations);
  }
}
