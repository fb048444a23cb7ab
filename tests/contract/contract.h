// The seam's contract tests: the calls QuorelFix makes, with the answers
// Windows documents, run unchanged on every backend (the emulated machine on
// Linux; the Windows backend under Wine, or on Windows).
//
// Each case is a row: the call, what Windows answers, and, where a backend is
// known to answer otherwise, a known difference naming the backend, its answer
// and why, the way Wine marks its own todo_wine cases. A known difference is
// checked too: when that backend starts answering as Windows does, the row
// fails and asks for the difference to be removed. Where Wine differs from
// Windows the emulated machine follows Windows, and the row says so. Where XP
// and later releases differ, the row holds both answers (byVersion); the
// emulated machine runs every row as each release.
//
// The cases work in a scratch key under HKEY_CURRENT_USER and a scratch
// folder, and clean up after themselves. The host (host_emulated.cpp or
// host_windows.cpp) prepares what the seam cannot: the image or the prefix,
// files with given bytes, a child process to enumerate and terminate.
#pragma once

// The seam first: on Windows, googletest's headers may bring <windows.h>,
// whose macros share their names with the seam's constants.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace contract {

enum class Backend { Windows, Wine, Emulated };
// Where Windows XP SP3 and later releases answer differently, a row gives both
// answers and the host says which release it is: Windows' own version, Wine's
// (a Vista or later one), or the emulated image's [windows] version.
enum class WindowsVersion { Xp, Vista };

// ---------------------------------------------------------------- the host
Backend backend();
const char* backendName(Backend b);
WindowsVersion windowsVersion();
const char* versionName(WindowsVersion v);
// The scratch folder (exists and is empty when a test starts), e.g. C:\qfcontract\<test>.
std::u16string scratchFolder();
// Files and folders set up and inspected outside the seam.
void makeFile(const std::u16string& windowsPath, std::string_view bytes);
void makeFolder(const std::u16string& windowsPath);
bool exists(const std::u16string& windowsPath);
std::string readFile(const std::u16string& windowsPath);
void removeScratchFolder();
// A process of our own that runs until it is terminated: started by the test
// program on Windows; on the emulated machine, one of the image's processes.
struct Child {
  win::DWORD pid = 0;
  std::u16string fileName;  // its executable's file name, e.g. "qf_contract_tests.exe"
};
Child startChild();
// Ends the child if a test left it running.
void reapChild(const Child& child);
// Environment variables every backend defines for the expansion cases:
// QFCONTRACT = "Long long value", QFCONTRACT_NESTED = "%QFCONTRACT%".

// ---------------------------------------------------------------- known differences
template <typename T>
struct Known {
  Backend where;
  T answer;
  const char* why;
};

std::string show(const std::u16string& value);
std::string show(const std::vector<std::u16string>& values);
template <typename T>
std::string show(const T& value) {
  std::ostringstream s;
  s << value;
  return s.str();
}

// Windows' answer on the release the host runs: XP's, or Vista's and later.
template <typename T>
T byVersion(T xp, T vista) {
  return windowsVersion() == WindowsVersion::Xp ? xp : vista;
}

// Checks one answer against Windows' answer, or against the known difference
// of the backend running.
template <typename T>
::testing::AssertionResult meets(const T& actual, const T& windows, const std::vector<Known<T>>& known = {}) {
  for (const auto& k : known) {
    if (k.where != backend()) continue;
    if (actual == k.answer)
      return ::testing::AssertionSuccess() << "known difference on " << backendName(k.where) << ": " << k.why;
    if (actual == windows)
      return ::testing::AssertionFailure() << backendName(k.where) << " now answers " << show(actual)
                                           << " as Windows does: remove the known difference (" << k.why << ")";
    return ::testing::AssertionFailure() << "answer " << show(actual) << "; Windows answers " << show(windows)
                                         << ", " << backendName(k.where) << " was known to answer "
                                         << show(k.answer) << " (" << k.why << ")";
  }
  if (actual == windows) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "answer " << show(actual) << " on " << backendName(backend())
                                       << "; Windows (" << versionName(windowsVersion()) << ") answers "
                                       << show(windows);
}

// The fixture every case uses: a fresh scratch folder and a fresh scratch key
// HKEY_CURRENT_USER\Software\QuorelFixContract, both removed afterwards.
class SeamContract : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::u16string path(std::u16string_view relative) const { return folder_ + u"\\" + std::u16string(relative); }
  win::HKEY scratchKey() const { return key_; }

  std::u16string folder_;
  win::HKEY key_ = nullptr;
};

inline constexpr char16_t kScratchKey[] = u"Software\\QuorelFixContract";

// UTF-8 for messages.
std::string narrow(std::u16string_view text);

}  // namespace contract
