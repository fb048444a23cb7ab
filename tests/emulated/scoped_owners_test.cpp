// The scoped owners of platform/scoped.h: they close what they hold, and the
// closing keeps the thread's last error, so that an owner going out of scope
// between a failed call and GetLastError() does not change the code read.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "machine_fixture.h"
#include "platform/scoped.h"
#include "platform/win32.h"

namespace {

// A machine with one process to open.
constexpr char kMachine[] = R"([[process]]
pid = 2740
path = 'C:\Program Files\Mozilla Firefox\firefox.exe'
)";

// A handle value no call handed out: closing it fails with
// ERROR_INVALID_HANDLE, a closing call that does set the last error.
template <typename Handle>
Handle unknownHandle() {
  return reinterpret_cast<Handle>(static_cast<std::uintptr_t>(0x7A5C0));
}

// Every way an owner closes what it holds, each after a failed call left
// ERROR_FILE_NOT_FOUND.
template <typename Owner>
void expectClosingKeepsLastError() {
  using Handle = typename Owner::Handle;
  struct Way {
    const char* name;
    void (*close)(Owner&);
  } const ways[] = {
      {"reset()", [](Owner& owner) { owner.reset(); }},
      {"receive()", [](Owner& owner) { static_cast<void>(owner.receive()); }},
      {"move assignment", [](Owner& owner) { owner = Owner(); }},
      {"destructor", [](Owner& owner) { Owner gone(std::move(owner)); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    Owner owner(unknownHandle<Handle>());
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    way.close(owner);
    EXPECT_FALSE(owner.valid());
    EXPECT_EQ(win::GetLastError(), win::ERROR_FILE_NOT_FOUND);
  }
}

// The premise of the cases below: these closing calls set the last error
// when they fail.
TEST(ScopedOwners, ClosingAnUnknownHandleSetsTheLastError) {
  qftest::Machine m("scoped-unknown", kMachine);
  struct Case {
    const char* call;
    win::BOOL (*close)();
  } const cases[] = {
      {"CloseHandle", [] { return win::CloseHandle(unknownHandle<win::HANDLE>()); }},
      {"FindClose", [] { return win::FindClose(unknownHandle<win::HANDLE>()); }},
      {"CloseServiceHandle", [] { return win::CloseServiceHandle(unknownHandle<win::SC_HANDLE>()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(c.close(), win::FALSE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  }
}

TEST(ScopedOwners, ClosingKeepsTheLastError) {
  qftest::Machine m("scoped-closing", kMachine);
  {
    SCOPED_TRACE("ScopedHandle");
    expectClosingKeepsLastError<win::ScopedHandle>();
  }
  {
    SCOPED_TRACE("ScopedFind");
    expectClosingKeepsLastError<win::ScopedFind>();
  }
  {
    SCOPED_TRACE("ScopedServiceHandle");
    expectClosingKeepsLastError<win::ScopedServiceHandle>();
  }
}

// An owner of a handle the machine handed out closes it (closing it again
// fails) and keeps the last error all the same.
TEST(ScopedOwners, ResetClosesAnOpenHandleAndKeepsTheLastError) {
  qftest::Machine m("scoped-reset", kMachine);
  win::ScopedHandle process(win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE, 2740));
  ASSERT_TRUE(process.valid());
  const win::HANDLE held = process.get();
  win::SetLastError(win::ERROR_ACCESS_DENIED);
  process.reset();
  EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(win::CloseHandle(held), win::FALSE);
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
}

// release() hands the handle over unclosed: the caller's close succeeds.
TEST(ScopedOwners, ReleaseHandsTheHandleOverUnclosed) {
  qftest::Machine m("scoped-release", kMachine);
  win::ScopedHandle process(win::OpenProcess(win::PROCESS_QUERY_INFORMATION, win::FALSE, 2740));
  ASSERT_TRUE(process.valid());
  const win::HANDLE released = process.release();
  EXPECT_FALSE(process.valid());
  EXPECT_EQ(win::CloseHandle(released), win::TRUE);
}

}  // namespace
