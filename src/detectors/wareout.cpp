// Rogue name-server repair: a DNS changer points the TCP/IP name-server
// settings at resolvers of one address range. Every "NameServer" and
// "DhcpNameServer" setting, per interface and global, whose text starts with
// that range's prefix is blanked in place (the value keeps its name, its data
// becomes the empty string), and the resolver cache is flushed so that
// answers the rogue servers gave stop being used at once.
#include "detectors/wareout.h"

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

// The start of the rogue resolver range 85.255.112.0 - 85.255.127.255, as
// dotted-decimal text. Compared as text: every address whose first nine
// characters are these matches, whatever digits follow.
constexpr std::u16string_view ROGUE_NAME_SERVER_PREFIX = u"85.255.11";
static_assert(ROGUE_NAME_SERVER_PREFIX.size() == 9);

constexpr char16_t INTERFACES_KEY[] = u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
constexpr char16_t PARAMETERS_KEY[] = u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// Looked at in this order in every key.
constexpr const char16_t* NAME_SERVER_VALUES[] = {u"NameServer", u"DhcpNameServer"};

// Only the start of the text counts: a list of several addresses is one
// text, and a setting shorter than the prefix never matches. Registry text
// ends at its first terminator, as Windows' own readers take it.
bool isRogue(const std::u16string& data) {
  const std::u16string_view text = untilTerminator(data);
  return text.substr(0, ROGUE_NAME_SERVER_PREFIX.size()) == ROGUE_NAME_SERVER_PREFIX;
}

// Blanks one value and finishes its report line, which the caller has begun.
void blank(const std::u16string& subKey, const char16_t* valueName) {
  const REG_DEF def{win::HKEY_LOCAL_MACHINE, subKey.c_str(), valueName};
  int rc = setRegSZValue(&def, u"");
  if (rc != 0)
    logiti(u" -> SetValue failed [%d]", rc);
  else
    logit(u" -> Success!");
}

}  // namespace

void wareoutFind() {
  win::ScopedKey interfaces;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, INTERFACES_KEY, 0, win::KEY_READ, interfaces.receive()) !=
      win::ERROR_SUCCESS)
    return;  // no TCP/IP here: nothing to repair, nothing to flush

  StringList names = getSubkeys(interfaces.get());
  for (const StringNode* node = names.head.get(); node; node = node->next.get()) {
    for (const char16_t* valueName : NAME_SERVER_VALUES) {
      std::optional<std::u16string> data = getRegSZValue(interfaces.get(), node->text.c_str(), valueName);
      if (!data || !isRogue(*data)) continue;
      logit(u"\r\nRemoving HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\");
      logit(node->text);
      logit(u"\\\\");
      logit(valueName);
      blank(std::u16string(INTERFACES_KEY) + u"\\" + node->text, valueName);
    }
  }
  freeStringList(names);
  interfaces.reset();

  // The global key's line ends its key path in a backslash before the two
  // that part key and value, so it shows three.
  for (const char16_t* valueName : NAME_SERVER_VALUES) {
    std::optional<std::u16string> data = getRegSZValue(win::HKEY_LOCAL_MACHINE, PARAMETERS_KEY, valueName);
    if (!data || !isRogue(*data)) continue;
    logit(u"\r\nRemoving HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\");
    logit(u"\\\\");
    logit(valueName);
    blank(PARAMETERS_KEY, valueName);
  }

  // Its output goes to the console; whether it worked is not looked at.
  win::system("ipconfig /flushdns");
}
