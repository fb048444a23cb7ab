// Placeholder until MD5 lands.
#include "system/md5.h"

void MD5Init(MD5_CTX*) {}
void MD5Update(MD5_CTX*, const unsigned char*, unsigned int) {}
void MD5Final(unsigned char*, MD5_CTX*) {}
void MD5Transform(std::uint32_t*, const unsigned char*) {}
std::optional<std::string> md5(std::u16string_view) { return std::nullopt; }
