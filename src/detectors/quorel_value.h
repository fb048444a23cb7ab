// The data of a registered extension's value, as the sweep and the inventory
// read it.
#pragma once

#include <string>

#include "system/list.h"
#include "system/scanner.h"

// The value's text up to its first terminator (what a string reader of the
// value sees; REG_MULTI_SZ data stops after its first string). Empty when
// the value can no longer be read, e.g. because it vanished after listing.
inline std::u16string registeredValueText(const RegNode& node) {
  std::optional<std::u16string> data = getRegSZValue(node.root, node.subKey.c_str(), node.valueName.c_str());
  if (!data) return {};
  return data->substr(0, data->find(u'\0'));
}
