// user32's wsprintfW: the formatter the report is written with.
//
// Conversions: %d %i (int), %u (unsigned), %x %X (hexadecimal), %c (a wide
// character; %hc and %C a narrow one), %s (a wide string; %hs and %S a narrow
// one, %ls and %ws wide), %p (a pointer in upper-case hexadecimal), %% (a
// percent sign). Flags '-' (align left), '0' (pad numbers with zeros after
// the sign: "%010d" of -1 is "-000000001", as Wine's tests record for
// Windows) and '#' (0x/0X before hexadecimal); a width; a precision (the
// least number of digits of a number, the most characters of a string).
// Size prefixes: h (16 bits), l (32 bits, Windows' long), I64 (64 bits),
// I32, and I (pointer size). No '*' width, no floating point: user32 has
// neither. Anything else after a % is written as the character itself.
// At most 1024 characters are written, the terminator included; the result
// is the number of characters written without the terminator.
#include <cstdarg>
#include <cstdint>
#include <string>

#include "platform/emulated/machine/text.h"
#include "platform/win32.h"

namespace win {
namespace {

constexpr std::size_t kMaxOutput = 1024;  // characters, terminator included

struct Spec {
  bool left = false;
  bool zero = false;
  bool prefix = false;
  std::size_t width = 0;
  bool hasPrecision = false;
  std::size_t precision = 0;
  enum Size { Default, Short, Long, Int64, PointerSize } size = Default;
  bool narrow = false;  // h, or an upper-case C or S
};

class Output {
 public:
  explicit Output(char16_t* out) : out_(out) {}
  void put(char16_t c) {
    if (count_ + 1 < kMaxOutput) out_[count_++] = c;
  }
  void put(std::u16string_view s) {
    for (char16_t c : s) put(c);
  }
  void pad(std::size_t n, char16_t c) {
    for (std::size_t i = 0; i < n; ++i) put(c);
  }
  int finish() {
    out_[count_] = 0;
    return static_cast<int>(count_);
  }

 private:
  char16_t* out_;
  std::size_t count_ = 0;
};

std::u16string digits(std::uint64_t v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string s;
  do {
    s.insert(s.begin(), static_cast<char16_t>(set[v % base]));
    v /= base;
  } while (v);
  return s;
}

// Writes text with the width and alignment of spec.
void field(Output& out, const Spec& spec, std::u16string_view text) {
  const std::size_t fill = spec.width > text.size() ? spec.width - text.size() : 0;
  if (!spec.left) out.pad(fill, u' ');
  out.put(text);
  if (spec.left) out.pad(fill, u' ');
}

void number(Output& out, const Spec& spec, std::u16string_view sign, std::u16string body) {
  if (spec.hasPrecision && body.size() < spec.precision) body.insert(0, spec.precision - body.size(), u'0');
  const std::size_t used = sign.size() + body.size();
  if (spec.zero && !spec.left && spec.width > used) body.insert(0, spec.width - used, u'0');
  std::u16string text(sign);
  text += body;
  field(out, spec, text);
}

std::uint64_t unsignedArg(const Spec& spec, va_list& args) {
  switch (spec.size) {
    case Spec::Int64: return va_arg(args, std::uint64_t);
    case Spec::PointerSize: return va_arg(args, std::uintptr_t);
    case Spec::Short: return static_cast<std::uint16_t>(va_arg(args, unsigned));
    default: return va_arg(args, unsigned);
  }
}

std::int64_t signedArg(const Spec& spec, va_list& args) {
  switch (spec.size) {
    case Spec::Int64: return va_arg(args, std::int64_t);
    case Spec::PointerSize: return va_arg(args, std::intptr_t);
    case Spec::Short: return static_cast<std::int16_t>(va_arg(args, int));
    default: return va_arg(args, int);
  }
}

// Parses the conversion after a '%' at fmt[i] and writes it; returns the index after it.
std::size_t convert(Output& out, const char16_t* fmt, std::size_t i, va_list& args) {
  Spec spec;
  for (;; ++i) {
    if (fmt[i] == u'-') spec.left = true;
    else if (fmt[i] == u'0') spec.zero = true;
    else if (fmt[i] == u'#') spec.prefix = true;
    else break;
  }
  while (fmt[i] >= u'0' && fmt[i] <= u'9') spec.width = spec.width * 10 + (fmt[i++] - u'0');
  if (fmt[i] == u'.') {
    spec.hasPrecision = true;
    ++i;
    while (fmt[i] >= u'0' && fmt[i] <= u'9') spec.precision = spec.precision * 10 + (fmt[i++] - u'0');
  }
  if (fmt[i] == u'l' || fmt[i] == u'w') {
    spec.size = Spec::Long;
    ++i;
  } else if (fmt[i] == u'h') {
    spec.size = Spec::Short;
    spec.narrow = true;
    ++i;
  } else if (fmt[i] == u'I' && fmt[i + 1] == u'6' && fmt[i + 2] == u'4') {
    spec.size = Spec::Int64;
    i += 3;
  } else if (fmt[i] == u'I' && fmt[i + 1] == u'3' && fmt[i + 2] == u'2') {
    spec.size = Spec::Long;
    i += 3;
  } else if (fmt[i] == u'I') {
    spec.size = Spec::PointerSize;
    ++i;
  }
  const char16_t type = fmt[i];
  if (type == 0) return i;  // a format ending in '%' and flags: nothing to write
  switch (type) {
    case u'%': field(out, spec, u"%"); break;
    case u'c':
    case u'C': {
      const int c = va_arg(args, int);
      const bool narrow = spec.narrow || (type == u'C' && spec.size != Spec::Long);
      const char16_t ch = narrow ? static_cast<char16_t>(static_cast<unsigned char>(c)) : static_cast<char16_t>(c);
      field(out, spec, std::u16string_view(&ch, 1));
      break;
    }
    case u's':
    case u'S': {
      const bool narrow = spec.narrow || (type == u'S' && spec.size != Spec::Long);
      std::u16string text;
      if (narrow) {
        const char* s = va_arg(args, const char*);
        text = s ? emu::toUtf16(s) : u"(null)";
      } else {
        const char16_t* s = va_arg(args, const char16_t*);
        text = s ? std::u16string(s) : u"(null)";
      }
      if (spec.hasPrecision && text.size() > spec.precision) text.resize(spec.precision);
      field(out, spec, text);
      break;
    }
    case u'd':
    case u'i': {
      const std::int64_t v = signedArg(spec, args);
      const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      number(out, spec, v < 0 ? u"-" : u"", digits(magnitude, 10, false));
      break;
    }
    case u'u': number(out, spec, u"", digits(unsignedArg(spec, args), 10, false)); break;
    case u'x':
    case u'X': {
      const bool upper = type == u'X';
      number(out, spec, spec.prefix ? (upper ? u"0X" : u"0x") : u"", digits(unsignedArg(spec, args), 16, upper));
      break;
    }
    case u'p': {
      Spec p = spec;
      p.hasPrecision = true;
      p.precision = sizeof(void*) * 2;
      number(out, p, u"", digits(reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), 16, true));
      break;
    }
    default: out.put(type); break;
  }
  return i + 1;
}

}  // namespace

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  Output out(lpOut);
  std::size_t i = 0;
  while (lpFmt[i]) {
    if (lpFmt[i] != u'%') {
      out.put(lpFmt[i++]);
      continue;
    }
    i = convert(out, lpFmt, i + 1, args);
  }
  va_end(args);
  return out.finish();
}

}  // namespace win
