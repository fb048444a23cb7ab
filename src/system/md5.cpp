// MD5 message digest, RFC 1321, and the fingerprint text of a file.
//
// The four rounds are written out step by step, as the RFC's reference code
// writes them; with the steps unrolled the compiler keeps the chaining words
// and the sixteen message words in registers, which is what makes a plain C++
// transform as fast as a hand-tuned library one.
#include <array>
#include <cstdio>
#include <cstring>

#include "platform/scoped.h"
#include "platform/win32.h"
#include "system/md5.h"
#include "system/text.h"

namespace {

using u32 = std::uint32_t;

// The auxiliary functions of the rounds (G is folded into its step below). F
// is written in the equivalent form that needs one operation less.
inline u32 F(u32 x, u32 y, u32 z) { return z ^ (x & (y ^ z)); }
inline u32 H(u32 x, u32 y, u32 z) { return x ^ y ^ z; }
inline u32 I(u32 x, u32 y, u32 z) { return y ^ (x | ~z); }

inline u32 rotl(u32 x, int n) { return (x << n) | (x >> (32 - n)); }

// One step: a = b + ((a + f(b, c, d) + x + ac) <<< s). The message word and
// the constant are added first, since they do not wait for the previous step.
inline void FF(u32& a, u32 b, u32 c, u32 d, u32 x, int s, u32 ac) {
  a += x + ac;
  a += F(b, c, d);
  a = rotl(a, s) + b;
}
// G's two terms never share a set bit, so they may be added one by one, and
// the term without b is ready before the previous step ends.
inline void GG(u32& a, u32 b, u32 c, u32 d, u32 x, int s, u32 ac) {
  a += x + ac;
  a += c & ~d;
  a += b & d;
  a = rotl(a, s) + b;
}
inline void HH(u32& a, u32 b, u32 c, u32 d, u32 x, int s, u32 ac) {
  a += x + ac;
  a += H(b, c, d);
  a = rotl(a, s) + b;
}
inline void II(u32& a, u32 b, u32 c, u32 d, u32 x, int s, u32 ac) {
  a += x + ac;
  a += I(b, c, d);
  a = rotl(a, s) + b;
}

// Little-endian word at p, whatever the host's byte order and p's alignment.
inline u32 load32(const unsigned char* p) {
  return static_cast<u32>(p[0]) | (static_cast<u32>(p[1]) << 8) | (static_cast<u32>(p[2]) << 16) |
         (static_cast<u32>(p[3]) << 24);
}

inline void store32(unsigned char* p, u32 v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Padding: 0x80 followed by zeros; at most one block of it is ever needed.
constexpr unsigned char PADDING[64] = {0x80};

constexpr std::size_t kChunkSize = 16384;

}  // namespace

void MD5Init(MD5_CTX* context) {
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
}

void MD5Transform(std::uint32_t state[4], const unsigned char block[64]) {
  u32 x[16];
  for (int i = 0; i < 16; ++i) x[i] = load32(block + 4 * i);
  u32 a = state[0], b = state[1], c = state[2], d = state[3];

  // Round 1
  FF(a, b, c, d, x[0], 7, 0xd76aa478);
  FF(d, a, b, c, x[1], 12, 0xe8c7b756);
  FF(c, d, a, b, x[2], 17, 0x242070db);
  FF(b, c, d, a, x[3], 22, 0xc1bdceee);
  FF(a, b, c, d, x[4], 7, 0xf57c0faf);
  FF(d, a, b, c, x[5], 12, 0x4787c62a);
  FF(c, d, a, b, x[6], 17, 0xa8304613);
  FF(b, c, d, a, x[7], 22, 0xfd469501);
  FF(a, b, c, d, x[8], 7, 0x698098d8);
  FF(d, a, b, c, x[9], 12, 0x8b44f7af);
  FF(c, d, a, b, x[10], 17, 0xffff5bb1);
  FF(b, c, d, a, x[11], 22, 0x895cd7be);
  FF(a, b, c, d, x[12], 7, 0x6b901122);
  FF(d, a, b, c, x[13], 12, 0xfd987193);
  FF(c, d, a, b, x[14], 17, 0xa679438e);
  FF(b, c, d, a, x[15], 22, 0x49b40821);

  // Round 2
  GG(a, b, c, d, x[1], 5, 0xf61e2562);
  GG(d, a, b, c, x[6], 9, 0xc040b340);
  GG(c, d, a, b, x[11], 14, 0x265e5a51);
  GG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  GG(a, b, c, d, x[5], 5, 0xd62f105d);
  GG(d, a, b, c, x[10], 9, 0x02441453);
  GG(c, d, a, b, x[15], 14, 0xd8a1e681);
  GG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  GG(a, b, c, d, x[9], 5, 0x21e1cde6);
  GG(d, a, b, c, x[14], 9, 0xc33707d6);
  GG(c, d, a, b, x[3], 14, 0xf4d50d87);
  GG(b, c, d, a, x[8], 20, 0x455a14ed);
  GG(a, b, c, d, x[13], 5, 0xa9e3e905);
  GG(d, a, b, c, x[2], 9, 0xfcefa3f8);
  GG(c, d, a, b, x[7], 14, 0x676f02d9);
  GG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  // Round 3
  HH(a, b, c, d, x[5], 4, 0xfffa3942);
  HH(d, a, b, c, x[8], 11, 0x8771f681);
  HH(c, d, a, b, x[11], 16, 0x6d9d6122);
  HH(b, c, d, a, x[14], 23, 0xfde5380c);
  HH(a, b, c, d, x[1], 4, 0xa4beea44);
  HH(d, a, b, c, x[4], 11, 0x4bdecfa9);
  HH(c, d, a, b, x[7], 16, 0xf6bb4b60);
  HH(b, c, d, a, x[10], 23, 0xbebfbc70);
  HH(a, b, c, d, x[13], 4, 0x289b7ec6);
  HH(d, a, b, c, x[0], 11, 0xeaa127fa);
  HH(c, d, a, b, x[3], 16, 0xd4ef3085);
  HH(b, c, d, a, x[6], 23, 0x04881d05);
  HH(a, b, c, d, x[9], 4, 0xd9d4d039);
  HH(d, a, b, c, x[12], 11, 0xe6db99e5);
  HH(c, d, a, b, x[15], 16, 0x1fa27cf8);
  HH(b, c, d, a, x[2], 23, 0xc4ac5665);

  // Round 4
  II(a, b, c, d, x[0], 6, 0xf4292244);
  II(d, a, b, c, x[7], 10, 0x432aff97);
  II(c, d, a, b, x[14], 15, 0xab9423a7);
  II(b, c, d, a, x[5], 21, 0xfc93a039);
  II(a, b, c, d, x[12], 6, 0x655b59c3);
  II(d, a, b, c, x[3], 10, 0x8f0ccc92);
  II(c, d, a, b, x[10], 15, 0xffeff47d);
  II(b, c, d, a, x[1], 21, 0x85845dd1);
  II(a, b, c, d, x[8], 6, 0x6fa87e4f);
  II(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  II(c, d, a, b, x[6], 15, 0xa3014314);
  II(b, c, d, a, x[13], 21, 0x4e0811a1);
  II(a, b, c, d, x[4], 6, 0xf7537e82);
  II(d, a, b, c, x[11], 10, 0xbd3af235);
  II(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  II(b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void MD5Update(MD5_CTX* context, const unsigned char* input, unsigned int inputLen) {
  // Bytes already waiting in the buffer, from the bit count.
  unsigned int index = (context->count[0] >> 3) & 0x3F;
  const u32 bits = static_cast<u32>(inputLen) << 3;
  context->count[0] += bits;
  if (context->count[0] < bits) context->count[1]++;
  context->count[1] += static_cast<u32>(inputLen) >> 29;

  const unsigned int partLen = 64 - index;
  unsigned int i = 0;
  if (inputLen >= partLen) {
    std::memcpy(&context->buffer[index], input, partLen);
    MD5Transform(context->state, context->buffer);
    // Whole blocks straight from the input, without a copy.
    for (i = partLen; i + 63 < inputLen; i += 64) MD5Transform(context->state, &input[i]);
    index = 0;
  }
  if (inputLen > i) std::memcpy(&context->buffer[index], &input[i], inputLen - i);
}

void MD5Final(unsigned char digest[16], MD5_CTX* context) {
  // The bit count as it stood before padding, low word first.
  unsigned char bits[8];
  store32(bits, context->count[0]);
  store32(bits + 4, context->count[1]);

  // Pad to 56 mod 64.
  const unsigned int index = (context->count[0] >> 3) & 0x3F;
  const unsigned int padLen = (index < 56) ? (56 - index) : (120 - index);
  MD5Update(context, PADDING, padLen);
  MD5Update(context, bits, 8);

  for (int i = 0; i < 4; ++i) store32(digest + 4 * i, context->state[i]);
  // The context held message bytes; leave nothing of them behind.
  std::memset(context, 0, sizeof(*context));
}

std::optional<std::string> md5(std::u16string_view path) {
  const std::u16string zpath(path);
  win::ScopedFile file(win::_wfopen(zpath.c_str(), u"rb"));
  if (!file) return std::nullopt;

  MD5_CTX context;
  MD5Init(&context);
  std::array<unsigned char, kChunkSize> chunk;
  for (;;) {
    // A read error ends the input like the end of the file does.
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (got == 0) break;
    MD5Update(&context, chunk.data(), static_cast<unsigned int>(got));
  }
  file.reset();

  unsigned char digest[16];
  MD5Final(digest, &context);
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = static_cast<char>(hexDigit(digest[i] >> 4, true));
    text[2 * i + 1] = static_cast<char>(hexDigit(digest[i], true));
  }
  return text;
}
