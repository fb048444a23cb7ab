// Fuzzes the machine image's registry.reg reader: any bytes, in either
// encoding, are read or refused at a line without a crash or undefined
// behaviour, and what was read survives the machine's own writing: every
// key and value written back as the blocks the machine appends for a
// change, and read again, gives the same trees (names, types and bytes
// exactly), with no line refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/registry/reg_file.h"
#include "platform/emulated/registry/tree.h"

namespace {
using namespace emu::reg;

// Every key with its values, as the appended blocks record them.
void writeBack(const Key& key, Encoding encoding, std::u16string& out) {
  // The roots too: "[HKEY_CURRENT_USER]" may hold values of its own.
  out += keyBlock(key);
  for (const Value& value : key.values) out += valueLine(value, encoding);
  for (const auto& sub : key.subkeys) writeBack(*sub, encoding, out);
}

bool sameTree(const Key& a, const Key& b) {
  if (a.name != b.name || a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    const Value& x = a.values[i];
    const Value& y = b.values[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
  }
  for (std::size_t i = 0; i < a.subkeys.size(); ++i)
    if (!sameTree(*a.subkeys[i], *b.subkeys[i])) return false;
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const RegText file = decodeRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
  auto machine = makeRoot(u"HKEY_LOCAL_MACHINE");
  auto user = makeRoot(u"HKEY_CURRENT_USER");
  if (applyRegText(file.text, machine, user)) return 0;  // refused: the image would not run

  // Written back in the file's own encoding, through its bytes, and read again.
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n";
  writeBack(*machine, file.encoding, text);
  writeBack(*user, file.encoding, text);
  const RegText again = decodeRegFile(
      (file.encoding == Encoding::Utf16le ? std::string("\xFF\xFE") : std::string()) + encodeRegText(text, file.encoding));
  auto machine2 = makeRoot(u"HKEY_LOCAL_MACHINE");
  auto user2 = makeRoot(u"HKEY_CURRENT_USER");
  if (applyRegText(again.text, machine2, user2)) std::abort();  // the machine's own writing always reads
  if (!sameTree(*machine, *machine2) || !sameTree(*user, *user2)) std::abort();
  return 0;
}
