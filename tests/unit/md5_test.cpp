// MD5 against the RFC 1321 test suite, and the fingerprint of files on the
// emulated machine.
#include <gtest/gtest.h>

#include <string>

#include "platform/emulated/machine/image.h"
#include "support/machine_image.h"
#include "system/md5.h"

namespace {

std::string hexDigest(const std::string& message, std::size_t piece) {
  MD5_CTX context;
  MD5Init(&context);
  // Fed in pieces of `piece` bytes, so buffered remainders are crossed.
  for (std::size_t at = 0; at < message.size(); at += piece) {
    const std::string part = message.substr(at, piece);
    MD5Update(&context, reinterpret_cast<const unsigned char*>(part.data()), static_cast<unsigned>(part.size()));
  }
  unsigned char digest[16];
  MD5Final(digest, &context);
  static const char hex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char b : digest) {
    text.push_back(hex[b >> 4]);
    text.push_back(hex[b & 15]);
  }
  return text;
}

struct Vector {
  std::string message;
  const char* digest;  // upper-case, as the fingerprint text writes it
};

const Vector kRfc1321Suite[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
};

TEST(Md5, Rfc1321TestSuite) {
  for (const Vector& v : kRfc1321Suite) {
    EXPECT_EQ(hexDigest(v.message, v.message.size() + 1), v.digest) << "\"" << v.message << "\" at once";
    EXPECT_EQ(hexDigest(v.message, 7), v.digest) << "\"" << v.message << "\" in pieces of 7";
  }
}

// Lengths around the padding boundary (55, 56, 63, 64 bytes) need one or two
// final blocks; the digests come from an independent MD5 implementation.
TEST(Md5, PaddingBoundaries) {
  const struct {
    std::size_t length;
    const char* digest;
  } rows[] = {
      {55, "EF1772B6DFF9A122358552954AD0DF65"},
      {56, "3B0C8AC703F828B04C6C197006D17218"},
      {63, "B06521F39153D618550606BE297466D5"},
      {64, "014842D480B571495A4A0363793F7367"},
      {65, "C743A45E0D2E6A95CB859ADAE0248435"},
  };
  for (const auto& row : rows) {
    const std::string message(row.length, 'a');
    EXPECT_EQ(hexDigest(message, message.size()), row.digest) << row.length << " bytes";
    EXPECT_EQ(hexDigest(message, 1), row.digest) << row.length << " bytes, one at a time";
  }
}

class Md5File : public ::testing::Test {
 protected:
  void SetUp() override {
    image_.config(R"(
[environment]
USERPROFILE = 'C:\Documents and Settings\Owner'

[[fault.file]]
path = 'C:\data\locked.bin'
code = 32
attributes = true
)");
    image_.registry("");
    emu::useImage(image_.root());
  }
  qftest::MachineImage image_{"md5"};
};

TEST_F(Md5File, FingerprintOfFiles) {
  // Longer than two 16384-byte chunks and not a multiple of 64.
  std::string big;
  for (int i = 0; big.size() < 3 * 16384 + 77; ++i) big += "line " + std::to_string(i) + " of the file\r\n";
  image_.file(R"(C:\data\big.bin)", big);
  image_.file(R"(C:\data\empty.bin)", "");
  image_.file(R"(C:\data\abc.bin)", "abc");

  EXPECT_EQ(md5(u"C:\\data\\big.bin"), hexDigest(big, big.size()));
  EXPECT_EQ(md5(u"C:\\data\\empty.bin"), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(md5(u"C:\\data\\abc.bin"), "900150983CD24FB0D6963F7D28E17F72");
}

TEST_F(Md5File, NoneWhenTheFileCannotBeOpened) {
  image_.file(R"(C:\data\locked.bin)", "abc");
  EXPECT_EQ(md5(u"C:\\data\\missing.bin"), std::nullopt);
  EXPECT_EQ(md5(u"C:\\nowhere\\missing.bin"), std::nullopt);
  EXPECT_EQ(md5(u"C:\\data\\locked.bin"), std::nullopt);
}

}  // namespace
