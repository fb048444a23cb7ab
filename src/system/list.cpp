// Singly linked lists of owned strings and registry items.
//
// Each list remembers its tail, so an append is one step and building a list
// of n names costs O(n). Nodes own their successors through unique_ptr; the
// destructors below unlink the chain one node at a time, so releasing a list
// of any length never recurses and cannot exhaust the stack.
#include "system/list.h"

#include <utility>

namespace {

// Detaches the successors of `node` one by one: each detached node has no
// successor left when it is destroyed, so no destructor calls another.
template <typename Node>
void unlinkChain(std::unique_ptr<Node>& next) {
  std::unique_ptr<Node> rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}

template <typename List, typename Node>
void appendNode(List& list, std::unique_ptr<Node> node) {
  Node* added = node.get();
  if (list.tail) {
    list.tail->next = std::move(node);
  } else {
    list.head = std::move(node);
  }
  list.tail = added;
}

template <typename List>
void freeList(List& list) {
  unlinkChain(list.head);
  list.tail = nullptr;
}

}  // namespace

StringNode::~StringNode() { unlinkChain(next); }
RegNode::~RegNode() { unlinkChain(next); }

void addString(StringList& list, std::u16string_view text) {
  auto node = std::make_unique<StringNode>();
  node->text.assign(text);
  appendNode(list, std::move(node));
}

void freeStringList(StringList& list) { freeList(list); }

void addReg(RegList& list, win::HKEY root, std::u16string_view subKey, std::u16string_view valueName) {
  auto node = std::make_unique<RegNode>();
  node->root = root;
  node->subKey.assign(subKey);
  node->valueName.assign(valueName);
  appendNode(list, std::move(node));
}

void freeRegList(RegList& list) { freeList(list); }
