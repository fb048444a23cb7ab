// Fuzzes the removal script's line reader on any bytes, read as UTF-16LE and
// as 8-bit text: no crash or undefined behaviour, every line ends where its
// text may not go on (no CR in a UTF-16 line, no LF in an 8-bit one, no zero
// in either), and the reader always comes to the end of the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "control/script.h"

namespace {
void readAll(const std::uint8_t* data, std::size_t size, int wide) {
  // fmemopen refuses an empty buffer; an empty script is a file with no line.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.push_back('\0');
  std::FILE* stream = fmemopen(bytes.data(), size == 0 ? 1 : size, "rb");
  if (!stream) std::abort();
  if (size == 0) std::fgetc(stream);
  std::size_t lines = 0;
  while (std::optional<std::u16string> line = getLine(stream, wide)) {
    for (char16_t unit : *line) {
      if (unit == 0) std::abort();
      if (wide && unit == u'\r') std::abort();
      if (!wide && unit == u'\n') std::abort();
    }
    // Every line takes at least one byte (one unit) of the file.
    if (++lines > size) std::abort();
  }
  std::fclose(stream);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  readAll(data, size, 1);
  readAll(data, size, 0);
  return 0;
}
