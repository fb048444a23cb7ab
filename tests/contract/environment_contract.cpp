// ExpandEnvironmentStringsW as expand() calls it: first for the size, then
// into a buffer of that size.
#include "contract/contract.h"

namespace contract {
namespace {

using win::DWORD;

TEST_F(SeamContract, ExpandEnvironmentStrings) {
  struct Row {
    const char16_t* source;
    std::u16string expanded;
  };
  const Row rows[] = {
      {u"%QFCONTRACT%", u"Long long value"},
      // Names ignore case.
      {u"%qfcontract%\\sub", u"Long long value\\sub"},
      // Unknown references and a lone percent sign stay as written.
      {u"%QF_NO_SUCH_VARIABLE%\\x", u"%QF_NO_SUCH_VARIABLE%\\x"},
      {u"100% sure", u"100% sure"},
      {u"%QFCONTRACT", u"%QFCONTRACT"},
      // An expanded value is not expanded again.
      {u"%QFCONTRACT_NESTED%", u"%QFCONTRACT%"},
      {u"", u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(narrow(row.source));
    // The size, in characters with the terminator, asked for with no buffer.
    DWORD needed = win::ExpandEnvironmentStringsW(row.source, nullptr, 0);
    EXPECT_TRUE(meets<DWORD>(needed, static_cast<DWORD>(row.expanded.size() + 1)));
    std::u16string buffer(needed + 4, u'x');
    EXPECT_TRUE(meets(win::ExpandEnvironmentStringsW(row.source, buffer.data(), needed), needed));
    EXPECT_TRUE(meets(std::u16string(buffer.c_str()), row.expanded));
    EXPECT_TRUE(meets(buffer.substr(needed), std::u16string(u"xxxx")));
  }
}

}  // namespace
}  // namespace contract
