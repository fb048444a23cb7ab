// The handle table (handles.h): handle values and the objects behind them.
#include "platform/emulated/machine/handles.h"

#include "platform/emulated/machine/machine.h"
#include "platform/emulated/machine/text.h"

namespace emu {
namespace {

// Handles belong to one image: choosing an image (tests) drops them all.
HandleTable& table() { return machine().handles; }

}  // namespace

void* openHandle(const HandleObject& obj) {
  HandleTable& t = table();
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, obj);
  return reinterpret_cast<void*>(value);
}

HandleObject* findHandle(void* handle, HandleKind kind) {
  HandleTable& t = table();
  auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.objects.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

bool closeHandle(void* handle, bool (*accepted)(HandleKind)) {
  HandleTable& t = table();
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
