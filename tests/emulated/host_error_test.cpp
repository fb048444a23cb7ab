// The one mapping of host errno values to Windows codes that every host call
// of the emulated machine goes through.
#include <cerrno>

#include <gtest/gtest.h>

#include "platform/emulated/machine/host_error.h"

namespace qftest {
namespace {

using emu::HostErrorContext;
using win::DWORD;

constexpr HostErrorContext kNamesItem{};  // "not there": the item named
constexpr HostErrorContext kNamesPath{win::ERROR_PATH_NOT_FOUND, win::ERROR_ALREADY_EXISTS};
constexpr HostErrorContext kCreatesFile{win::ERROR_FILE_NOT_FOUND, win::ERROR_FILE_EXISTS};

struct Row {
  const char* name;
  int hostErrno;
  HostErrorContext context;
  DWORD expected;
};

TEST(HostErrorMapping, EachErrnoGivesTheWindowsCodeForTheSameCause) {
  const Row rows[] = {
      // What the context says "not there" means.
      {"ENOENT, item named", ENOENT, kNamesItem, 2},
      {"ENOENT, folder on the way", ENOENT, kNamesPath, 3},
      // A file where a folder should be is a path not found whatever the call.
      {"ENOTDIR", ENOTDIR, kNamesItem, 3},
      {"EACCES", EACCES, kNamesItem, 5},
      {"EPERM", EPERM, kNamesItem, 5},
      // A folder opened as a file: access denied, as CreateFileW answers.
      {"EISDIR", EISDIR, kNamesItem, 5},
      // What the context says "already there" means.
      {"EEXIST, folder or move", EEXIST, kNamesItem, 183},
      {"EEXIST, new file", EEXIST, kCreatesFile, 80},
      {"ENOTEMPTY", ENOTEMPTY, kNamesItem, 145},
      {"ENOSPC", ENOSPC, kNamesItem, 112},
      {"EDQUOT: a quota is a full disk to the caller", EDQUOT, kNamesItem, 112},
      {"ENAMETOOLONG", ENAMETOOLONG, kNamesItem, 206},
      // Known difference: Wine answers ERROR_BUSY (170).
      {"EBUSY", EBUSY, kNamesItem, 32},
      {"ETXTBSY", ETXTBSY, kNamesItem, 32},
      // Known difference: Wine answers ERROR_ACCESS_DENIED.
      {"EROFS", EROFS, kNamesItem, 19},
      {"EXDEV", EXDEV, kNamesItem, 17},
      {"EMFILE", EMFILE, kNamesItem, 4},
      {"ENFILE", ENFILE, kNamesItem, 4},
      // Known difference: Wine answers ERROR_NOT_READY (21).
      {"EIO", EIO, kNamesItem, 1117},
      {"ENOMEM", ENOMEM, kNamesItem, 8},
      {"EINVAL", EINVAL, kNamesItem, 87},
      {"ELOOP", ELOOP, kNamesItem, 1921},
      // Anything else is refused as access denied, never success.
      {"ENOSYS", ENOSYS, kNamesItem, 5},
      {"0", 0, kNamesItem, 5},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(emu::windowsErrorFromErrno(row.hostErrno, row.context), row.expected) << row.name;
  }
}

}  // namespace
}  // namespace qftest
