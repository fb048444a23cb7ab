// Heuristic checks: malware that is recognised by where its registration
// leads rather than by a fixed table row. The one check follows a shell
// service object named like the Java plug-in to its class registration and
// judges the in-process server's path.
#include "detectors/heuristics.h"

#include <optional>
#include <string>
#include <string_view>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/list.h"
#include "system/remover.h"
#include "system/report_sink.h"
#include "system/scanner.h"
#include "system/text.h"

namespace {

constexpr char16_t DELAY_LOAD_KEY[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
constexpr std::u16string_view TARGET_VALUE_NAME = u"JavaPlug-in";
// The fake plug-in's DLL, from the character after the drive letter on: the
// real plug-in never sits there under this name.
constexpr std::u16string_view SUSPICIOUS_DLL_TAIL = u":\\Program Files\\Common Files\\Java\\JavaPlug-in.dll";
static_assert(SUSPICIOUS_DLL_TAIL.size() == 49);

// Any drive letter; the rest without regard to case.
bool isSuspiciousDll(std::u16string_view path) {
  return !path.empty() && equalNoCase(path.substr(1), SUSPICIOUS_DLL_TAIL);
}

// One registration named like the plug-in: follows it to the DLL and, when
// the DLL is the fake one, removes the DLL, the class key and the value.
void checkRegistration(const std::u16string& valueName) {
  std::optional<std::u16string> data = getRegSZValue(win::HKEY_LOCAL_MACHINE, DELAY_LOAD_KEY, valueName.c_str());
  if (!data) return;
  // Registry text ends at its first terminator, as Windows' own readers take it.
  const std::u16string clsid(untilTerminator(*data));
  const std::u16string classKey = u"CLSID\\" + clsid;
  const std::u16string serverKey = classKey + u"\\InProcServer32";

  // Open only to prove the registration exists; it stays open while the
  // registration is removed.
  win::ScopedKey server;
  if (win::RegOpenKeyExW(win::HKEY_CLASSES_ROOT, serverKey.c_str(), 0, win::KEY_READ | win::KEY_SET_VALUE,
                         server.receive()) != win::ERROR_SUCCESS)
    return;
  std::optional<std::u16string> dll = getRegSZValue(win::HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr);
  if (!dll) return;
  const std::u16string dllPath(untilTerminator(*dll));
  if (!isSuspiciousDll(dllPath)) return;

  removeAndReport(REMOVE_JAVA_PLUGIN_DLL, dllPath);

  // The registration goes whatever became of the file: a DLL left for the
  // reboot pass must not be loaded again before it.
  int rc = deleteRegDef(win::HKEY_CLASSES_ROOT, classKey.c_str(), nullptr);
  if (rc != static_cast<int>(win::ERROR_FILE_NOT_FOUND)) {
    logit(u"\r\nRemoving registry key: \"HKCR\\");
    logit(classKey);
    logit(u"\" -> ");
    logOutcome(rc);
  }
  rc = deleteRegDef(win::HKEY_LOCAL_MACHINE, DELAY_LOAD_KEY, valueName.c_str());
  if (rc != static_cast<int>(win::ERROR_FILE_NOT_FOUND)) {
    logit(u"\r\nRemoving registry item: \"HKLM\\");
    logit(DELAY_LOAD_KEY);
    logit(u"\\");  // one backslash here, unlike the sweep's two
    logit(valueName);
    logit(u"\" -> ");
    logOutcome(rc);
  }
}

}  // namespace

int heuristic() { return javaplugin(); }

int javaplugin() {
  win::ScopedKey delayLoad;
  win::LONG rc = win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, DELAY_LOAD_KEY, 0, win::KEY_READ | win::KEY_SET_VALUE,
                               delayLoad.receive());
  if (rc != win::ERROR_SUCCESS) return rc;
  StringList names = getSZValues(delayLoad.get());
  for (const StringNode* node = names.head.get(); node; node = node->next.get())
    if (equalNoCase(node->text, TARGET_VALUE_NAME)) checkRegistration(node->text);
  freeStringList(names);
  return win::RegCloseKey(delayLoad.release());
}
