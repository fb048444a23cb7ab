// What every file of the Windows backend shares: the seam's declarations,
// then <windows.h>, and the casts between the two.
//
// win32.h must come first: its constants share their names with the macros of
// <windows.h>, which would otherwise rewrite them. After this header, code in
// the backend names Windows' own types with a leading :: (::HKEY, ::DWORD) and
// the seam's without (HKEY, DWORD inside namespace win).
//
// The casts are sound because the seam's types have Windows' sizes and
// layouts, which the static_asserts here and in each file check: char16_t and
// wchar_t are both 16-bit UTF-16 code units on Windows, DWORD is 32 bits in
// both (unsigned int here, unsigned long there), handles are pointers.
#pragma once

#include "platform/win32.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// psapi.dll's own entry points, present on every Windows the program runs on;
// version 2 would bind EnumProcesses to kernel32's K32 names (Windows 7 on).
#define PSAPI_VERSION 1
#include <windows.h>

#include <cstddef>

namespace win::bridge {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text passes through unchanged");
static_assert(sizeof(DWORD) == sizeof(::DWORD) && sizeof(LONG) == sizeof(::LONG));
static_assert(sizeof(WORD) == sizeof(::WORD) && sizeof(UINT) == sizeof(::UINT) && sizeof(BOOL) == sizeof(::BOOL));
static_assert(sizeof(HANDLE) == sizeof(::HANDLE) && sizeof(HKEY) == sizeof(::HKEY));

inline const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

inline ::HKEY native(HKEY k) { return reinterpret_cast<::HKEY>(k); }
inline ::PHKEY native(PHKEY k) { return reinterpret_cast<::PHKEY>(k); }
inline ::HWND native(HWND w) { return reinterpret_cast<::HWND>(w); }
inline ::SC_HANDLE native(SC_HANDLE h) { return reinterpret_cast<::SC_HANDLE>(h); }
inline SC_HANDLE ours(::SC_HANDLE h) { return reinterpret_cast<SC_HANDLE>(h); }
// DWORD in/out parameters (unsigned int here, unsigned long in <windows.h>).
inline ::DWORD* native(DWORD* p) { return reinterpret_cast<::DWORD*>(p); }

// A seam structure passed by pointer as the Windows structure of the same
// layout; each use is preceded by the layout checks of that structure.
template <typename Theirs, typename Ours>
Theirs* as(Ours* p) {
  static_assert(sizeof(Theirs) == sizeof(Ours), "the seam's structure has Windows' size");
  return reinterpret_cast<Theirs*>(p);
}
template <typename Theirs, typename Ours>
Theirs* as(const Ours* p) {
  static_assert(sizeof(Theirs) == sizeof(Ours), "the seam's structure has Windows' size");
  // Windows declares some read-only arguments without const.
  return reinterpret_cast<Theirs*>(const_cast<Ours*>(p));
}

}  // namespace win::bridge

// One field of a seam structure at the offset and with the size Windows gives it.
#define QF_SAME_FIELD(Struct, field)                                                 \
  static_assert(offsetof(win::Struct, field) == offsetof(::Struct, field) &&         \
                    sizeof(win::Struct::field) == sizeof(::Struct::field),           \
                #Struct "::" #field " has Windows' offset and size")
#define QF_SAME_SIZE(Struct) \
  static_assert(sizeof(win::Struct) == sizeof(::Struct), #Struct " has Windows' size")
