// The emulated machine's handle table: process, thread, token and file handles of
// kernel32/advapi32, and the service control manager's handles. Values start
// at 0x100 and step by 4, like kernel handles; a handle is valid until closed
// and only for the kind of object it was made for.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/win32.h"

namespace emu {

enum class HandleKind { Process, Thread, Token, ServiceManager, Service, File };

struct HandleObject {
  HandleKind kind = HandleKind::Process;
  win::DWORD pid = 0;            // Process, Thread, Token: the process it belongs to
  win::DWORD access = 0;         // the rights it was opened with
  std::u16string service;        // Service: the service's name as stored
};

// The open handles of the current image (held by the machine, machine.h).
struct HandleTable {
  std::uintptr_t next = 0x100;
  std::map<std::uintptr_t, HandleObject> objects;
};

// A new handle for obj.
void* openHandle(const HandleObject& obj);
// The object behind an open handle of the given kind, or null.
HandleObject* findHandle(void* handle, HandleKind kind);
// Closes a handle of one of the kinds accepted; false for anything else.
bool closeHandle(void* handle, bool (*accepted)(HandleKind));
// How many handles to the named service are open.
int openServiceHandles(std::u16string_view service);

}  // namespace emu
