// fileContains against the plain byte-at-a-time search with back-tracking,
// over adversarial and random files. The block search must give the same
// answer for every file and every signature.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "system/scanner.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using HostFile = std::unique_ptr<std::FILE, FileCloser>;

// A host temporary file holding `bytes`, open for binary reading.
HostFile fileWith(const std::string& bytes) {
  HostFile f(std::tmpfile());
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f.get());
  std::fseek(f.get(), 0, SEEK_END);  // leave the position away from the start
  return f;
}

// The reference: rewind, read a byte; on a first-byte match note the
// position, compare the rest, and on a mismatch seek back to just after the
// candidate's first byte.
int referenceContains(std::FILE* file, const char* signature) {
  std::rewind(file);
  const std::size_t len = std::strlen(signature);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (static_cast<char>(c) != signature[0]) continue;
    const long pos = std::ftell(file);
    std::size_t i = 1;
    for (; i < len; ++i) {
      const int d = std::fgetc(file);
      if (d == EOF || static_cast<char>(d) != signature[i]) break;
    }
    if (i == len) return 1;
    std::fseek(file, pos, SEEK_SET);
  }
  return 0;
}

constexpr std::size_t kBlock = 64 * 1024;  // the search's buffer size

struct Case {
  const char* what;
  std::string file;
  std::string signature;
  int expected;
};

std::string filler(std::size_t n, char c = 'x') { return std::string(n, c); }

TEST(FileContains, AdversarialCases) {
  const std::string sig = "content/overlay.xul";
  const Case cases[] = {
      {"false start: resume one byte after the candidate", "aaab", "aab", 1},
      {"overlapping candidates", "abababac", "ababac", 1},
      {"periodic near miss", "abababab", "ababac", 0},
      {"file ends inside the signature", "xx" + sig.substr(0, 10), sig, 0},
      {"last byte differs", "content/overlay.xum", sig, 0},
      {"letter case matters", "Content/overlay.xul", sig, 0},
      {"signature at the very start", sig + "tail", sig, 1},
      {"signature at the very end", "head" + sig, sig, 1},
      {"file equals signature", sig, sig, 1},
      {"empty file", "", sig, 0},
      {"one-byte signature present", "abc", "c", 1},
      {"one-byte signature absent", "abc", "d", 0},
      {"one-byte signature in a one-byte file", "q", "q", 1},
      {"zero bytes in the file", std::string("a\0b\0content/overlay.xul", 23), sig, 1},
      {"bytes above 0x7F around a match", "\xff\xfe" + sig + "\x80", sig, 1},
      {"signature byte above 0x7F", "ab\xe9" "cd", "\xe9" "c", 1},
      {"empty signature names nothing", "abc", "", 0},
      // Blocks: the first read fills 64 KiB, every later one refills after
      // the carried (length - 1) bytes.
      {"spans the first block boundary", filler(kBlock - 7) + sig, sig, 1},
      {"ends exactly at the first block", filler(kBlock - sig.size()) + sig, sig, 1},
      {"starts exactly at the second block", filler(kBlock) + sig, sig, 1},
      {"one byte before the boundary", filler(kBlock - 1) + sig, sig, 1},
      {"spans the second block boundary", filler(2 * kBlock - sig.size() - 3) + sig + filler(50), sig, 1},
      {"cut by the end after a full block", filler(kBlock) + sig.substr(0, sig.size() - 1), sig, 0},
      {"one-byte signature after a block", filler(kBlock) + "z", "z", 1},
      {"near misses on both sides of the boundary", filler(kBlock - 3) + "conten" + sig.substr(0, 18), sig, 0},
  };
  for (const Case& c : cases) {
    HostFile f = fileWith(c.file);
    EXPECT_EQ(referenceContains(f.get(), c.signature.c_str()), c.expected) << "reference: " << c.what;
    if (c.signature.empty()) {
      EXPECT_EQ(fileContains(f.get(), ""), 0) << c.what;  // the reference has no answer for ""
      continue;
    }
    std::fseek(f.get(), 5, SEEK_SET);
    EXPECT_EQ(fileContains(f.get(), c.signature.c_str()), c.expected) << c.what;
  }
}

TEST(FileContains, EverySearchStartsAtTheBeginning) {
  HostFile f = fileWith("var __u=\"x\";\nvar __d=\"y\";\n");
  // Each search runs to the end or past its match; the next still sees the whole file.
  EXPECT_EQ(fileContains(f.get(), "absent"), 0);
  EXPECT_EQ(fileContains(f.get(), "var __d=\""), 1);
  EXPECT_EQ(fileContains(f.get(), "var __u=\""), 1);
  EXPECT_EQ(fileContains(f.get(), "absent"), 0);
  EXPECT_EQ(fileContains(f.get(), "var __u"), 1);
}

TEST(FileContains, SignatureLongerThanHalfTheBuffer) {
  std::string sig = "b" + std::string(kBlock / 2 + 10, 'a');
  std::string cut = sig;
  cut.back() = 'c';
  HostFile hit = fileWith("bbaa" + sig + "c");
  HostFile miss = fileWith("bbaa" + cut + filler(kBlock));
  HostFile shortFile = fileWith(sig.substr(0, sig.size() - 1));
  EXPECT_EQ(fileContains(hit.get(), sig.c_str()), 1);
  EXPECT_EQ(fileContains(miss.get(), sig.c_str()), 0);
  EXPECT_EQ(fileContains(shortFile.get(), sig.c_str()), 0);
}

// Random files over small alphabets make partial matches frequent; sizes
// around the block size put candidates on the boundaries.
TEST(FileContains, AgreesWithTheReferenceOnRandomFiles) {
  std::mt19937 rng(20100703);
  const std::string alphabets[] = {"ab", "abc", std::string("a\0\xff", 3), "content/ovrlay.xu"};
  const std::size_t sizes[] = {0, 1, 17, 1000, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock + 33};
  int found = 0, total = 0;
  for (const std::string& alphabet : alphabets) {
    for (std::size_t size : sizes) {
      std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
      std::string bytes(size, '\0');
      for (char& b : bytes) b = alphabet[pick(rng)];
      HostFile f = fileWith(bytes);
      for (int t = 0; t < 12; ++t) {
        std::string sig;
        if (t % 3 == 0 && size > 20) {
          // A piece of the file, sometimes with its last byte changed.
          std::uniform_int_distribution<std::size_t> at(0, size - 20);
          sig = bytes.substr(at(rng), 1 + t % 19);
          if (t % 2) sig.back() = alphabet[pick(rng)];
        } else {
          const std::size_t len = 1 + static_cast<std::size_t>(t) % 9;
          for (std::size_t i = 0; i < len; ++i) sig.push_back(alphabet[pick(rng)]);
        }
        if (sig.find('\0') != std::string::npos) sig.erase(sig.find('\0'));
        if (sig.empty()) continue;
        const int want = referenceContains(f.get(), sig.c_str());
        found += want;
        ++total;
        ASSERT_EQ(fileContains(f.get(), sig.c_str()), want)
            << "alphabet #" << (&alphabet - alphabets) << " size " << size << " signature \"" << sig << "\"";
      }
    }
  }
  // The inputs exercise both answers.
  EXPECT_GT(found, total / 4);
  EXPECT_LT(found, total);
}

}  // namespace
