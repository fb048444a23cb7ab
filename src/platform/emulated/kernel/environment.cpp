// The process environment: the [environment] table of machine.toml.
//
// ExpandEnvironmentStringsW as Windows has it (facts from Wine's
// kernel32/tests/environ.c, which run against Windows):
//   - the result counts characters with the terminator ("%EnvVar%" holding
//     "Long long value" needs 16);
//   - names are looked up without regard to case;
//   - a reference to an unknown name stays as written, both percent signs
//     included, and scanning goes on after it; a lone % stays as it is;
//   - an expanded value is not expanded again.
// A buffer too small for the result: Windows still returns the size needed
// (some versions leave a partial expansion in the buffer); here the buffer
// is left untouched, as the seam's rule for failed outputs has it. No caller
// may read it in that case.
#include <optional>
#include <string>

#include "platform/emulated/machine/image.h"
#include "platform/emulated/machine/text.h"
#include "platform/win32.h"
#include "platform/emulated/machine/call_faults.h"

namespace win {
namespace {

std::optional<std::u16string> variable(std::u16string_view name) {
  if (name.empty()) return std::nullopt;
  const toml::table* env = emu::config()["environment"].as_table();
  if (!env) return std::nullopt;
  for (const auto& [key, value] : *env) {
    if (!emu::equalNoCase(emu::toUtf16(key.str()), name)) continue;
    if (const auto text = value.value<std::string>()) return emu::toUtf16(*text);
  }
  return std::nullopt;
}

std::u16string expand(std::u16string_view src) {
  std::u16string out;
  std::size_t i = 0;
  while (i < src.size()) {
    if (src[i] != u'%') {
      const std::size_t next = src.find(u'%', i);
      const std::size_t end = next == std::u16string_view::npos ? src.size() : next;
      out.append(src.substr(i, end - i));
      i = end;
      continue;
    }
    const std::size_t close = src.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {  // a lone %: the rest as written
      out.append(src.substr(i));
      break;
    }
    if (const auto value = variable(src.substr(i + 1, close - i - 1))) {
      out += *value;
    } else {
      out.append(src.substr(i, close - i + 1));
    }
    i = close + 1;
  }
  return out;
}

}  // namespace

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (auto code = emu::injectedFailure("ExpandEnvironmentStringsW")) return emu::failedWith<DWORD>(*code, 0);
  const std::u16string result = expand(lpSrc ? std::u16string_view(lpSrc) : std::u16string_view());
  const auto needed = static_cast<DWORD>(result.size() + 1);
  if (lpDst && nSize >= needed) {
    result.copy(lpDst, result.size());
    lpDst[result.size()] = 0;
  }
  return needed;
}

}  // namespace win
