// Lists of owned strings and registry items: order, ownership of copies, and
// release of long chains.
#include "system/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::u16string> texts(const StringList& list) {
  std::vector<std::u16string> out;
  for (const StringNode* n = list.head.get(); n; n = n->next.get()) out.push_back(n->text);
  return out;
}

TEST(StringListTest, AppendsKeepOrderDuplicatesAndEmptyNames) {
  StringList list;
  EXPECT_TRUE(list.empty());
  addString(list, u"b");
  const StringNode* first = list.head.get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(list.tail, first);  // one node: head and tail alike
  addString(list, u"a");
  addString(list, u"b");
  addString(list, u"");
  EXPECT_EQ(list.head.get(), first);  // later appends leave the head alone
  EXPECT_EQ(texts(list), (std::vector<std::u16string>{u"b", u"a", u"b", u""}));
  EXPECT_EQ(list.tail->next, nullptr);
  freeStringList(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.tail, nullptr);
}

TEST(StringListTest, KeepsCopiesOfTheCallersText) {
  StringList list;
  std::u16string name = u"extensions";
  addString(list, name);
  name.assign(u"changed");
  name.shrink_to_fit();
  addString(list, std::u16string_view(u"with\0zero", 9));  // the view's length, not its first zero
  EXPECT_EQ(list.head->text, u"extensions");
  EXPECT_EQ(list.head->next->text.size(), 9u);
  freeStringList(list);
}

TEST(StringListTest, FreeingNoneAndFreeingTwiceAreHarmless) {
  StringList list;
  freeStringList(list);
  addString(list, u"x");
  freeStringList(list);
  freeStringList(list);
  EXPECT_TRUE(list.empty());
  addString(list, u"again");  // a freed list can be built anew
  EXPECT_EQ(texts(list), std::vector<std::u16string>{u"again"});
}

// A million nodes: appending stays linear and releasing never recurses, so
// neither takes long nor exhausts the stack (a recursive release of this chain
// would overflow a default 8 MiB stack).
TEST(StringListTest, MillionNodesBuildAndFreeWithoutRecursion) {
  constexpr int kCount = 1'000'000;
  StringList list;
  for (int i = 0; i < kCount; ++i) addString(list, u"n");
  int count = 0;
  for (const StringNode* n = list.head.get(); n; n = n->next.get()) ++count;
  EXPECT_EQ(count, kCount);
  freeStringList(list);
  EXPECT_TRUE(list.empty());

  // A list dropped without freeStringList releases the same way.
  {
    StringList dropped;
    for (int i = 0; i < kCount; ++i) addString(dropped, u"n");
  }
  RegList regs;
  for (int i = 0; i < kCount; ++i) addReg(regs, win::HKEY_LOCAL_MACHINE, u"k", u"v");
  freeRegList(regs);
  EXPECT_TRUE(regs.empty());
}

TEST(RegListTest, KeepsRootUnchangedAndCopiesBothStrings) {
  RegList list;
  std::u16string subKey = u"SOFTWARE\\Mozilla\\Firefox\\Extensions";
  std::u16string value = u"{ext}";
  addReg(list, win::HKEY_LOCAL_MACHINE, subKey, value);
  auto* openKey = reinterpret_cast<win::HKEY>(static_cast<std::intptr_t>(0x1234));
  addReg(list, openKey, u"sub", u"");
  subKey.assign(u"x");
  value.assign(u"y");

  const RegNode* first = list.head.get();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->root, win::HKEY_LOCAL_MACHINE);
  EXPECT_EQ(first->subKey, u"SOFTWARE\\Mozilla\\Firefox\\Extensions");
  EXPECT_EQ(first->valueName, u"{ext}");
  const RegNode* second = first->next.get();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->root, openKey);  // stored, never closed
  EXPECT_EQ(second->valueName, u"");
  EXPECT_EQ(second->next, nullptr);
  EXPECT_EQ(list.tail, second);
  freeRegList(list);
  EXPECT_TRUE(list.empty());
}

}  // namespace
