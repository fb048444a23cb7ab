// Processes: enumeration, opening, module paths, termination, process starts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "platform/win32.h"

namespace {

constexpr char kProcesses[] = R"([self]
pid = 1500
path = 'C:\Documents and Settings\Owner\Desktop\QuorelFix.exe'
[[process]]
pid = 4
path = ''
openable = false
[[process]]
pid = 600
path = 'C:\WINDOWS\system32\winlogon.exe'
openable = false
[[process]]
pid = 2740
path = 'C:\Program Files\Mozilla Firefox\firefox.exe'
[[process]]
pid = 3000
path = 'C:\Program Files\Stubborn\FIREFOX.EXE'
ends_when_terminated = false
[[process]]
pid = 3100
path = ''
)";

constexpr win::DWORD kQueryAndTerminate =
    win::PROCESS_TERMINATE | win::PROCESS_VM_READ | win::PROCESS_QUERY_INFORMATION | win::SYNCHRONIZE;

std::vector<win::DWORD> enumerate(win::DWORD capacity, win::DWORD* bytes) {
  std::vector<win::DWORD> ids(capacity + 1, 0xEEEEEEEE);
  EXPECT_TRUE(win::EnumProcesses(ids.data(), capacity * 4, bytes));
  EXPECT_EQ(ids[capacity], 0xEEEEEEEEu);  // sentinel past the buffer
  ids.resize(*bytes / 4);
  return ids;
}

TEST(Processes, EnumerationListsTheImageAndItselfInOrder) {
  qftest::Machine m("enum", kProcesses);
  win::DWORD bytes = 0;
  EXPECT_EQ(enumerate(10, &bytes), (std::vector<win::DWORD>{4, 600, 2740, 3000, 3100, 1500}));
  EXPECT_EQ(bytes, 24u);
  // A buffer too small: what fits, and the bytes written (not needed).
  EXPECT_EQ(enumerate(2, &bytes), (std::vector<win::DWORD>{4, 600}));
  EXPECT_EQ(bytes, 8u);
  enumerate(0, &bytes);
  EXPECT_EQ(bytes, 0u);
}

TEST(Processes, OpenAndReadModulePath) {
  qftest::Machine m("open", kProcesses);
  struct Case {
    win::DWORD pid;
    win::DWORD openError;       // 0: opens
    const char16_t* path;       // expected module path; null: reading it fails
    win::DWORD readError;
  } const cases[] = {
      {2740, 0, u"C:\\Program Files\\Mozilla Firefox\\firefox.exe", 0},
      {1500, 0, u"C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.exe", 0},  // itself
      {600, win::ERROR_ACCESS_DENIED, nullptr, 0},                                 // openable = false
      {4, win::ERROR_ACCESS_DENIED, nullptr, 0},                                   // System
      {9999, win::ERROR_INVALID_PARAMETER, nullptr, 0},                            // no such process
      {0, win::ERROR_INVALID_PARAMETER, nullptr, 0},                               // the idle process
      {3100, 0, nullptr, win::ERROR_PARTIAL_COPY},                                 // no module path
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pid);
    win::SetLastError(0);
    const win::HANDLE h = win::OpenProcess(kQueryAndTerminate, win::FALSE, c.pid);
    if (c.openError) {
      EXPECT_EQ(h, nullptr);
      EXPECT_EQ(win::GetLastError(), c.openError);
      continue;
    }
    ASSERT_NE(h, nullptr);
    char16_t path[win::MAX_PATH + 1];
    std::fill(std::begin(path), std::end(path), u'#');
    const win::DWORD n = win::GetModuleFileNameExW(h, nullptr, path, win::MAX_PATH);
    if (c.path) {
      EXPECT_EQ(std::u16string(path), c.path);
      EXPECT_EQ(n, std::u16string(c.path).size());
    } else {
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(win::GetLastError(), c.readError);
      EXPECT_EQ(path[0], u'#');
    }
    EXPECT_TRUE(win::CloseHandle(h));
  }
}

TEST(Processes, TerminationIsJournalledAndLasts) {
  qftest::Machine m("terminate", kProcesses);
  const win::HANDLE firefox = win::OpenProcess(kQueryAndTerminate, win::FALSE, 2740);
  const win::HANDLE stubborn = win::OpenProcess(kQueryAndTerminate, win::FALSE, 3000);
  EXPECT_EQ(win::WaitForSingleObject(firefox, 1000), win::WAIT_TIMEOUT);  // running: no wait, an answer at once
  EXPECT_TRUE(win::TerminateProcess(firefox, 0));
  EXPECT_EQ(win::WaitForSingleObject(firefox, 1000), win::WAIT_OBJECT_0);
  EXPECT_TRUE(win::TerminateProcess(stubborn, 1));                        // succeeds but does not end
  EXPECT_EQ(win::WaitForSingleObject(stubborn, 1000), win::WAIT_TIMEOUT);
  EXPECT_FALSE(win::TerminateProcess(firefox, 0));                       // already ended
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(m.image.journal(), "TerminateProcess pid=2740 exit=0\nTerminateProcess pid=3000 exit=1\n");
  win::CloseHandle(firefox);
  win::CloseHandle(stubborn);
  // Durable: the saved image lists the process no more, also for a new run.
  emu::useImage(m.image.root());
  win::DWORD bytes = 0;
  EXPECT_EQ(enumerate(10, &bytes), (std::vector<win::DWORD>{4, 600, 3000, 3100, 1500}));
  EXPECT_EQ(win::OpenProcess(kQueryAndTerminate, win::FALSE, 2740), nullptr);
  // A handle without PROCESS_TERMINATE may not terminate.
  const win::HANDLE queryOnly = win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE, 3000);
  EXPECT_FALSE(win::TerminateProcess(queryOnly, 0));
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  win::CloseHandle(queryOnly);
}

TEST(Processes, OwnModuleFileName) {
  // The last error is set to 77 before each call; "untouched" rows keep it.
  struct Case {
    const char* config;
    win::DWORD size;
    win::DWORD result;
    std::u16string text;  // the buffer's first size characters, or up to its terminator
    win::DWORD error;
  } const cases[] = {
      // XP SP3 (the default): a path that does not fit fills the buffer,
      // unterminated, and the last error stays as it was.
      {"", 261, 16, u"C:\\QuorelFix.exe", 77},  // default path
      {"[self]\npath = 'D:\\x.exe'", 9, 8, u"D:\\x.exe", 77},       // exactly fits with the terminator
      {"[self]\npath = 'D:\\x.exe'", 8, 8, u"D:\\x.exe", 77},       // all eight, no terminator
      {"[self]\npath = 'D:\\x.exe'", 4, 4, u"D:\\x", 77},
      {"[self]\npath = 'D:\\x.exe'", 0, 0, u"", 0},                  // ERROR_SUCCESS
      // Vista and later: cut to size - 1 and terminated, 122; a path that
      // fits resets the last error.
      {"[windows]\nversion = \"vista\"\n", 261, 16, u"C:\\QuorelFix.exe", 0},
      {"[windows]\nversion = \"vista\"\n[self]\npath = 'D:\\x.exe'", 9, 8, u"D:\\x.exe", 0},
      {"[windows]\nversion = \"vista\"\n[self]\npath = 'D:\\x.exe'", 8, 8, std::u16string(u"D:\\x.ex\0", 8),
       win::ERROR_INSUFFICIENT_BUFFER},
      {"[windows]\nversion = \"vista\"\n[self]\npath = 'D:\\x.exe'", 0, 0, u"", win::ERROR_INSUFFICIENT_BUFFER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.config << " size " << c.size);
    qftest::Machine m("module", c.config);
    char16_t buffer[300];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    win::SetLastError(77);
    EXPECT_EQ(win::GetModuleFileNameW(nullptr, buffer, c.size), c.result);
    if (c.result < c.size) {
      EXPECT_EQ(std::u16string(buffer), c.text);
    } else {
      EXPECT_EQ(std::u16string(buffer, c.size), c.text);
    }
    EXPECT_EQ(win::GetLastError(), c.error);
    EXPECT_EQ(buffer[c.size], u'#');
  }
}

TEST(Processes, CreateProcessIsJournalledAndNeedsTheFile) {
  qftest::Machine m("create", "[environment]\nSystemRoot = 'C:\\WINDOWS'\n");
  m.image.file("C:\\WINDOWS\\system32\\notepad.exe", "");
  win::STARTUPINFOW si{};
  si.cb = sizeof si;
  win::PROCESS_INFORMATION pi{};
  std::u16string command = u"C:\\WINDOWS\\system32\\notepad.exe \"C:\\Desktop\\QuorelFix.txt\"";
  ASSERT_TRUE(win::CreateProcessW(u"C:\\WINDOWS\\system32\\notepad.exe", command.data(), nullptr, nullptr, win::FALSE,
                                  0, nullptr, nullptr, &si, &pi));
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_EQ(win::WaitForSingleObject(pi.hProcess, 0), win::WAIT_OBJECT_0);  // started processes end at once
  EXPECT_TRUE(win::CloseHandle(pi.hProcess));
  EXPECT_TRUE(win::CloseHandle(pi.hThread));
  // A missing program: error 2, outputs untouched, the attempt journalled.
  win::PROCESS_INFORMATION untouched{reinterpret_cast<win::HANDLE>(7), nullptr, 7, 7};
  std::u16string missing = u"C:\\WINDOWS\\system32\\nothere.exe";
  EXPECT_FALSE(win::CreateProcessW(missing.c_str(), missing.data(), nullptr, nullptr, win::FALSE, 0, nullptr, nullptr,
                                   &si, &untouched));
  EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(untouched.dwProcessId, 7u);
  EXPECT_EQ(m.image.journal(),
            "CreateProcessW application=\"C:\\\\WINDOWS\\\\system32\\\\notepad.exe\" "
            "command=\"C:\\\\WINDOWS\\\\system32\\\\notepad.exe \\\"C:\\\\Desktop\\\\QuorelFix.txt\\\"\"\n"
            "CreateProcessW application=\"C:\\\\WINDOWS\\\\system32\\\\nothere.exe\" "
            "command=\"C:\\\\WINDOWS\\\\system32\\\\nothere.exe\" error=2\n");
}

// What starting `application` on `file` shows when standard input and output
// are a terminal: the start runs in a child process on a pseudo terminal.
std::string shownAtTerminal(const std::u16string& application, const std::u16string& file) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "(no pseudo terminal)";
  const std::string terminal = ::ptsname(master);
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(terminal.c_str(), O_RDWR);
    ::dup2(fd, 0);
    ::dup2(fd, 1);
    win::STARTUPINFOW si{};
    si.cb = sizeof si;
    win::PROCESS_INFORMATION pi{};
    std::u16string command = application + u" " + file;
    (void)win::CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, win::FALSE, 0, nullptr, nullptr,
                              &si, &pi);
    std::fflush(stdout);
    ::_exit(0);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(master);
  std::string text;  // the terminal ends lines with CR LF
  for (char c : shown)
    if (c != '\r') text.push_back(c);
  return text;
}

// A text viewer started at a terminal shows the file its command line names;
// [text_viewers] says which programs are text viewers, notepad.exe without it.
TEST(Processes, TextViewerShowsItsFileAtATerminal) {
  struct Case {
    const char* name;
    const char* toml;              // added to the machine
    const char16_t* application;
    const char16_t* file;
    const char* shown;
  } const cases[] = {
      {"default", "", u"C:\\WINDOWS\\notepad.exe", u"C:\\a.txt",
       "\n---- Notepad: C:\\a.txt ----\nline 1\nline 2\n---- end of Notepad ----\n"},
      {"missing file", "", u"C:\\WINDOWS\\notepad.exe", u"C:\\none.txt",
       "\n---- Notepad: C:\\none.txt ----\n(Notepad: cannot find the file)\n\n---- end of Notepad ----\n"},
      {"no viewer", "", u"C:\\WINDOWS\\viewer.exe", u"C:\\a.txt", ""},
      {"named viewer", "[text_viewers]\n\"VIEWER.exe\" = \"Viewer\"\n", u"C:\\WINDOWS\\viewer.exe", u"C:\\a.txt",
       "\n---- Viewer: C:\\a.txt ----\nline 1\nline 2\n---- end of Viewer ----\n"},
      {"notepad not named", "[text_viewers]\n\"viewer.exe\" = \"Viewer\"\n", u"C:\\WINDOWS\\notepad.exe",
       u"C:\\a.txt", ""},
      {"none", "[text_viewers]\n", u"C:\\WINDOWS\\notepad.exe", u"C:\\a.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    qftest::Machine m("viewer", std::string("[environment]\nSystemRoot = 'C:\\WINDOWS'\n") + c.toml);
    m.image.file("C:\\WINDOWS\\notepad.exe", "");
    m.image.file("C:\\WINDOWS\\viewer.exe", "");
    m.image.file("C:\\a.txt", "line 1\r\nline 2");
    EXPECT_EQ(shownAtTerminal(c.application, c.file), c.shown);
  }
}

}  // namespace
