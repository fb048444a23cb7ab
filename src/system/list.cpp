// Placeholder until the lists land.
#include "system/list.h"

StringNode::~StringNode() = default;
RegNode::~RegNode() = default;
void addString(StringList&, std::u16string_view) {}
void freeStringList(StringList& list) { list = {}; }
void addReg(RegList&, win::HKEY, std::u16string_view, std::u16string_view) {}
void freeRegList(RegList& list) { list = {}; }
