// Singly linked lists of owned strings and registry items: how every
// multi-item result travels between the queries and the detectors.
//
// A list is held by its head; the empty list has no head. Appends go to the
// tail, which the list remembers, so building n items costs O(n). Every node
// owns copies of its strings. Releasing walks the chain iteratively, so a list
// of a million names is freed without exhausting the stack.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/win32.h"

struct StringNode {
  std::u16string text;
  std::unique_ptr<StringNode> next;
  ~StringNode();
};

struct StringList {
  std::unique_ptr<StringNode> head;
  StringNode* tail = nullptr;
  [[nodiscard]] bool empty() const { return head == nullptr; }
};

struct RegNode {
  win::HKEY root = nullptr;  // not owned, never closed by the list
  std::u16string subKey;
  std::u16string valueName;
  std::unique_ptr<RegNode> next;
  ~RegNode();
};

struct RegList {
  std::unique_ptr<RegNode> head;
  RegNode* tail = nullptr;
  [[nodiscard]] bool empty() const { return head == nullptr; }
};

// Appends a copy of `text` at the tail.
void addString(StringList& list, std::u16string_view text);
// Releases every node; an empty list is accepted. The list is empty afterwards.
void freeStringList(StringList& list);

// Appends {root, copy of subKey, copy of valueName} at the tail.
void addReg(RegList& list, win::HKEY root, std::u16string_view subKey, std::u16string_view valueName);
void freeRegList(RegList& list);
