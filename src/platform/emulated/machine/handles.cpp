#include "platform/emulated/machine/handles.h"

#include <map>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

struct Table {
  std::uint64_t generation = 0;
  std::uintptr_t next = 0x100;
  std::map<std::uintptr_t, HandleObject> objects;
};

// Handles belong to one image: switching images (tests) drops them all.
Table& table() {
  static Table t;
  const std::uint64_t g = image().generation;
  if (t.generation != g) {
    t.objects.clear();
    t.next = 0x100;
    t.generation = g;
  }
  return t;
}

}  // namespace

void* openHandle(const HandleObject& obj) {
  Table& t = table();
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, obj);
  return reinterpret_cast<void*>(value);
}

HandleObject* findHandle(void* handle, HandleKind kind) {
  Table& t = table();
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

bool closeHandle(void* handle, bool (*accepted)(HandleKind)) {
  Table& t = table();
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end() || !accepted(it->second.kind)) return false;
  t.objects.erase(it);
  return true;
}

int openServiceHandles(std::u16string_view service) {
  int n = 0;
  for (const auto& [value, obj] : table().objects)
    if (obj.kind == HandleKind::Service && equalNoCase(obj.service, service)) ++n;
  return n;
}

}  // namespace emu
