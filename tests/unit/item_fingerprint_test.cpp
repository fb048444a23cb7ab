// The fingerprint of a moved item: a file's MD5 digest, a folder's digest of
// its whole tree; the same for the same tree wherever it lies, another for
// any change to names, bytes or empty folders, none for what cannot be read.
#include <gtest/gtest.h>

#include <string>

#include "platform/emulated/machine/image.h"
#include "support/base_machine.h"
#include "support/machine_image.h"
#include "system/item_fingerprint.h"

namespace {

using qftest::MachineImage;

// The folder's text (docs/restore.md) for b.txt "bee", sub\a.txt "a" and the
// empty sub\empty, and its digest, worked out by hand.
constexpr char16_t kTree[] = u"D79E343875292F393DDDB3A40E28AEE7";

void tree(MachineImage& image, const std::string& at) {
  image.file(at + "\\sub\\a.txt", "a");
  image.folder(at + "\\sub\\empty");
  image.file(at + "\\b.txt", "bee");
}

TEST(ItemFingerprint, TellsTheSameTreeFromAnyChangeToIt) {
  MachineImage image("fingerprint");
  image.config(std::string(qftest::kBaseMachineToml) + "\n[[fault.file]]\npath = 'C:\\held\\x.txt'\ncode = 32\n");
  tree(image, "C:\\one");
  tree(image, "C:\\two");
  const struct {
    const char* what;
    void (*change)(MachineImage&);
  } changes[] = {
      {"a byte", [](MachineImage& m) { m.file("C:\\two\\sub\\a.txt", "A"); }},
      {"a name's letter case", [](MachineImage& m) {
         m.file("C:\\two\\B.txt", "bee");
         std::filesystem::remove(m.host("C:\\two\\b.txt"));
       }},
      {"an empty folder", [](MachineImage& m) { m.folder("C:\\two\\sub\\empty\\deeper"); }},
      {"a file for a folder", [](MachineImage& m) {
         std::filesystem::remove(m.host("C:\\two\\sub\\empty"));
         m.file("C:\\two\\sub\\empty", "");
       }},
  };
  image.file("C:\\file.txt", "c");
  image.folder("C:\\held");
  image.file("C:\\held\\x.txt", "locked");
  emu::useImage(image.root());

  EXPECT_EQ(itemFingerprint(u"C:\\file.txt"), u"4A8A08F09D37B73795649038408B5F33");  // MD5 of "c"
  EXPECT_EQ(itemFingerprint(u"C:\\one"), kTree);
  EXPECT_EQ(itemFingerprint(u"C:\\two"), kTree);
  EXPECT_EQ(itemFingerprint(u"C:\\missing"), std::nullopt);
  EXPECT_EQ(itemFingerprint(u"C:\\held\\x.txt"), std::nullopt);  // cannot be opened
  EXPECT_EQ(itemFingerprint(u"C:\\held"), std::nullopt);         // nor a folder with it inside
  for (const auto& c : changes) {
    MachineImage changed("fingerprint-changed");
    changed.config(std::string(qftest::kBaseMachineToml));
    tree(changed, "C:\\two");
    c.change(changed);
    emu::useImage(changed.root());
    EXPECT_NE(itemFingerprint(u"C:\\two"), kTree) << c.what;
  }
}

}  // namespace
