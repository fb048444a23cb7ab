// Text helpers shared by the parts of the emulated machine: UTF-8 <-> UTF-16
// conversion, and the case folding Windows uses for names in the registry and
// on NTFS (each UTF-16 code unit upper-cased on its own, as NTFS's upcase
// table does).
#pragma once

#include <string>
#include <string_view>

namespace emu {

std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
// Appends the UTF-8 of `utf16` to `out`: a host path built name by name
// without a string per name.
void appendUtf8(std::string& out, std::u16string_view utf16);
char16_t upcase(char16_t c);
std::u16string upcased(std::u16string_view s);
// <0, 0, >0 comparing upcased code units: the order NTFS and registry hives keep.
int compareNoCase(std::u16string_view a, std::u16string_view b);
bool equalNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace emu
