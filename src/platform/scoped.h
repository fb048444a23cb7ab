// Move-only owners for the handles of the seam (registry keys, find handles,
// kernel handles, service handles, SIDs and runtime files). Each closes what it
// holds exactly once, with the call Windows pairs with the call that opened it.
//
//   win::ScopedKey key;
//   LONG rc = win::RegOpenKeyExW(root, path, 0, win::KEY_READ, key.receive());
//
// receive() hands out the address of the (empty) slot, so a failed call that
// writes nothing leaves the owner empty.
//
// Closing keeps the thread's last error: an owner that goes out of scope, or
// is reset, between a failed call and the GetLastError() that reads its code
// does not change the code (a closing call may set it, for one when it fails).
#pragma once

#include <cstdio>
#include <utility>

#include "platform/win32.h"

namespace win {

template <typename Traits>
class ScopedResource {
 public:
  using Handle = typename Traits::Handle;

  ScopedResource() = default;
  explicit ScopedResource(Handle h) : handle_(h) {}
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& other) noexcept : handle_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ScopedResource() { reset(); }

  [[nodiscard]] Handle get() const { return handle_; }
  [[nodiscard]] bool valid() const { return Traits::isValid(handle_); }
  explicit operator bool() const { return valid(); }

  // Closes what is held and returns the slot for an opening call to fill.
  Handle* receive() {
    reset();
    return &handle_;
  }
  // Hands over what is held without closing it; the caller closes it.
  [[nodiscard]] Handle release() {
    Handle h = handle_;
    handle_ = Traits::none();
    return h;
  }
  void reset(Handle h = Traits::none()) {
    if (Traits::isValid(handle_)) {
      const DWORD lastError = GetLastError();
      Traits::close(handle_);
      SetLastError(lastError);
    }
    handle_ = h;
  }

 private:
  Handle handle_ = Traits::none();
};

struct KeyTraits {
  using Handle = HKEY;
  static Handle none() { return nullptr; }
  // Predefined roots are never closed.
  static bool isValid(Handle h) {
    return h != nullptr && h != HKEY_CLASSES_ROOT && h != HKEY_CURRENT_USER &&
           h != HKEY_LOCAL_MACHINE && h != HKEY_USERS;
  }
  static void close(Handle h) { RegCloseKey(h); }
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle none() { return nullptr; }
  // Both conventions of "no handle" occur: OpenProcess answers NULL,
  // CreateFileW answers INVALID_HANDLE_VALUE.
  static bool isValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Handle h) { CloseHandle(h); }
};

struct FindTraits {
  using Handle = HANDLE;
  static Handle none() { return INVALID_HANDLE_VALUE; }
  static bool isValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(Handle h) { FindClose(h); }
};

struct ServiceTraits {
  using Handle = SC_HANDLE;
  static Handle none() { return nullptr; }
  static bool isValid(Handle h) { return h != nullptr; }
  static void close(Handle h) { CloseServiceHandle(h); }
};

struct SidTraits {
  using Handle = PSID;
  static Handle none() { return nullptr; }
  static bool isValid(Handle h) { return h != nullptr; }
  static void close(Handle h) { FreeSid(h); }
};

struct FileTraits {
  using Handle = std::FILE*;
  static Handle none() { return nullptr; }
  static bool isValid(Handle h) { return h != nullptr; }
  static void close(Handle h) { win::fclose(h); }
};

using ScopedKey = ScopedResource<KeyTraits>;
using ScopedHandle = ScopedResource<KernelHandleTraits>;
using ScopedFind = ScopedResource<FindTraits>;
using ScopedServiceHandle = ScopedResource<ServiceTraits>;
using ScopedSid = ScopedResource<SidTraits>;
using ScopedFile = ScopedResource<FileTraits>;

}  // namespace win
