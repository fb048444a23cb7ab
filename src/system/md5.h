// MD5 as RFC 1321 publishes it, and the fingerprint of a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct MD5_CTX {
  std::uint32_t state[4];
  std::uint32_t count[2];  // bits taken in, modulo 2^64, low word first
  unsigned char buffer[64];
};

void MD5Init(MD5_CTX* context);
void MD5Update(MD5_CTX* context, const unsigned char* input, unsigned int inputLen);
void MD5Final(unsigned char digest[16], MD5_CTX* context);
void MD5Transform(std::uint32_t state[4], const unsigned char block[64]);

// 32 upper-case hexadecimal digits of the file's MD5 digest, or none when the
// file cannot be opened. Reads the file in 16384-byte chunks.
std::optional<std::string> md5(std::u16string_view path);
