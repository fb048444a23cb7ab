// Where Firefox extensions live, and the two tests that flag an extension
// folder: the Quorel infection (isQuorel) and the adware extension (isMalExt).
// Everything here only reads the machine and writes nothing to the report.
#include <string>

#include "detectors/quorel.h"
#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/scanner.h"

namespace {

// How a rule's second signature combines with its first.
enum class Combine {
  Alone,   // the first signature decides
  Either,  // the first, or failing that the second
  Both,    // the first, and then the second as well
};

struct DetectionRule {
  const char16_t* file;  // relative to the extension folder
  const char* signature;
  const char* second;    // none for Combine::Alone
  Combine combine;
};

// Tried in this order; the first rule that matches decides, and the files of
// later rules are never opened.
constexpr DetectionRule QUOREL_RULES[] = {
    {u"chrome\\content\\overlay.xul", "id=\"xulcache-overlay\"", "id=\"xulrunner-overlay\"", Combine::Either},
    {u"chrome\\content\\timer.xul", "id=\"xulcache-overlay\"", nullptr, Combine::Alone},
    // The archive is searched as stored: a ZIP keeps its entry names
    // uncompressed in its headers.
    {u"chrome\\xulcache.jar", "content/overlay.xul", nullptr, Combine::Alone},
    {u"chrome\\content\\_cfg.js", "var __d=\"", "var __u=\"", Combine::Both},
};

constexpr DetectionRule MALEXT_RULE = {u"install.rdf", "<em:name>LoudMo Contextual Ad Assistant</em:name>", nullptr,
                                       Combine::Alone};

// folder + exactly one backslash + the relative path.
std::u16string joinRulePath(std::u16string_view folder, const char16_t* relative) {
  std::u16string path(folder);
  if (path.back() != u'\\') path.push_back(u'\\');
  path += relative;
  return path;
}

// 1 when the rule's file opens and holds its signatures. A file that cannot
// be opened (missing, locked, denied) only means this rule does not match.
int ruleMatches(std::u16string_view folder, const DetectionRule& rule) {
  const std::u16string path = joinRulePath(folder, rule.file);
  win::ScopedFile file(win::_wfopen(path.c_str(), u"rb"));
  if (!file) return 0;
  // Each search starts again at the beginning of the file.
  const int first = fileContains(file.get(), rule.signature);
  switch (rule.combine) {
    case Combine::Alone:
      return first;
    case Combine::Either:
      return first || fileContains(file.get(), rule.second);
    case Combine::Both:
      return first && fileContains(file.get(), rule.second);
  }
  return 0;
}

}  // namespace

int isQuorel(std::u16string_view folder) {
  // An empty path names no folder: joined, it would be a path relative to
  // the current folder. Only an empty registered value can produce one.
  if (folder.empty()) return 0;
  for (const DetectionRule& rule : QUOREL_RULES)
    if (ruleMatches(folder, rule)) return 1;
  return 0;
}

int isMalExt(std::u16string_view folder) {
  if (folder.empty()) return 0;
  return ruleMatches(folder, MALEXT_RULE);
}

std::u16string getFFExtPath() { return expand(u"%programfiles%\\Mozilla Firefox\\extensions\\"); }

StringList getFFProfileExtensionPaths() {
  StringList result;
  const std::u16string root = expand(u"%userprofile%\\Application Data\\Mozilla\\Firefox\\Profiles");
  if (root.empty()) return result;
  StringList profiles = getFiles(root, 1);
  for (const StringNode* p = profiles.head.get(); p; p = p->next.get()) {
    const std::u16string path = root + u"\\" + p->text + u"\\extensions\\";
    // A profile counts only when its "extensions" entry is a folder; a
    // missing entry, or a file of that name, is passed over without a word.
    win::WIN32_FILE_ATTRIBUTE_DATA data{};
    if (win::GetFileAttributesExW(path.c_str(), win::GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY))
      addString(result, path);
  }
  freeStringList(profiles);
  return result;
}

StringList getFFExtFolders(std::u16string_view extensionsFolder) {
  // An empty path would list the current drive's root.
  if (extensionsFolder.empty()) return {};
  return getFiles(extensionsFolder, 1);
}

RegList getRegExtensions(int* openResult) {
  RegList result;
  win::ScopedKey key;
  const win::LONG rc =
      win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Mozilla\\Firefox\\Extensions", 0, win::KEY_READ,
                         key.receive());
  *openResult = rc;
  if (rc != win::ERROR_SUCCESS) return result;
  StringList names = getSZValues(key.get());
  // The nodes carry this capitalisation of the key: the sweep writes it into
  // the report.
  for (const StringNode* n = names.head.get(); n; n = n->next.get())
    addReg(result, win::HKEY_LOCAL_MACHINE, u"Software\\Mozilla\\Firefox\\Extensions", n->text);
  freeStringList(names);
  return result;
}
