// Byte-signature search in an open file.
//
// The answer is the one a byte-at-a-time scan with back-tracking gives (does
// the signature occur anywhere in the file), but the file is read in large
// blocks into one fixed buffer and each block is searched with memchr on the
// signature's rarest byte. A file planted in an extension folder may be
// hundreds of megabytes; reading it one fgetc at a time would stall the scan.
//
// A match may straddle two blocks: the last (signature length - 1) bytes of a
// block are carried to the front of the buffer before the next block is read,
// so every window of the file is seen whole exactly once.
#include <array>
#include <cstring>

#include "system/scanner.h"

namespace {

// How common a byte is in the files the detectors look at (text, script,
// XUL, archives): higher is more common. Searching for the rarest byte of the
// signature keeps the number of candidate positions to verify small. Bytes
// not listed rank lowest.
int byteRank(unsigned char c) {
  if (c == ' ' || c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'n' || c == 'i' || c == 's' ||
      c == 'r' || c == 0x00)
    return 4;
  if ((c >= 'a' && c <= 'z') || c == '\n' || c == '\r' || c == '\t' || c == '"' || c == '=' || c == '<' ||
      c == '>' || c == '/' || c == '.' || c == 0xFF)
    return 3;
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ',' || c == ':' || c == ';' || c == '(' ||
      c == ')' || c == '-' || c == '_')
    return 2;
  if (c < 0x80) return 1;
  return 0;
}

std::size_t rarestByteIndex(const unsigned char* sig, std::size_t len) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < len; ++i)
    if (byteRank(sig[i]) < byteRank(sig[best])) best = i;
  return best;
}

// Whether sig[0..len) occurs in hay[0..n).
bool occursIn(const unsigned char* hay, std::size_t n, const unsigned char* sig, std::size_t len,
              std::size_t rare) {
  if (n < len) return false;
  const unsigned char rareByte = sig[rare];
  // A match starting at s has its rare byte at s + rare, so only that window
  // of positions can hold a useful rare byte.
  const unsigned char* p = hay + rare;
  const unsigned char* const last = hay + (n - len) + rare;  // rare byte of the last start
  while (p <= last) {
    const void* hit = std::memchr(p, rareByte, static_cast<std::size_t>(last - p) + 1);
    if (hit == nullptr) return false;
    const unsigned char* h = static_cast<const unsigned char*>(hit);
    // The first and last bytes are compared before the whole: in a file of
    // random bytes (an archive) the rare byte is met every few hundred bytes.
    const unsigned char* start = h - rare;
    if (start[0] == sig[0] && start[len - 1] == sig[len - 1] && std::memcmp(start, sig, len) == 0) return true;
    p = h + 1;
  }
  return false;
}

constexpr std::size_t kBufferSize = 64 * 1024;

// Signatures too long to carry across blocks (none of the program's tables
// comes near) are compared in place: a candidate's first byte is found, the
// rest is read and compared, and on a mismatch the search resumes one byte
// after the candidate's start.
int containsLong(std::FILE* file, const unsigned char* sig, std::size_t len) {
  std::rewind(file);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (static_cast<unsigned char>(c) != sig[0]) continue;
    const long resume = std::ftell(file);
    std::size_t i = 1;
    while (i < len) {
      const int d = std::fgetc(file);
      if (d == EOF || static_cast<unsigned char>(d) != sig[i]) break;
      ++i;
    }
    if (i == len) return 1;
    if (resume < 0 || std::fseek(file, resume, SEEK_SET) != 0) return 0;
  }
  return 0;
}

}  // namespace

int fileContains(std::FILE* file, const char* signature) {
  const auto* sig = reinterpret_cast<const unsigned char*>(signature);
  const std::size_t len = std::strlen(signature);
  // An empty signature names nothing to look for; answering 1 would flag
  // every file.
  if (len == 0) return 0;
  if (len > kBufferSize / 2) return containsLong(file, sig, len);

  // A failed rewind (an unseekable stream) leaves the position as it is;
  // a read error afterwards looks like the end of the file.
  std::rewind(file);

  std::array<unsigned char, kBufferSize> buffer;
  const std::size_t rare = rarestByteIndex(sig, len);
  std::size_t kept = 0;  // bytes carried over from the previous block
  for (;;) {
    const std::size_t wanted = buffer.size() - kept;
    const std::size_t got = std::fread(buffer.data() + kept, 1, wanted, file);
    if (got == 0) return 0;
    const std::size_t filled = kept + got;
    if (occursIn(buffer.data(), filled, sig, len, rare)) return 1;
    // A short read met the end of the file (or an error): asking again
    // would only cost another read that finds nothing.
    if (got < wanted) return 0;
    // Only the last (len - 1) bytes can begin a match that the next block completes.
    kept = filled < len - 1 ? filled : len - 1;
    std::memmove(buffer.data(), buffer.data() + filled - kept, kept);
  }
}
