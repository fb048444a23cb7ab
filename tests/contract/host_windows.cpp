// The contract tests' host on Windows and under Wine: the scratch folder is
// C:\qfcontract, the child process is this program started with --child.
#include "contract/contract.h"  // the seam before <windows.h>

#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>

#include <cwchar>

namespace contract {
namespace {

const wchar_t* w(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

void removeTree(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
        removeTree(path + L"\\" + data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::wstring ownPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return buffer;
}

}  // namespace

Backend backend() {
  // Wine's ntdll exports its version; Windows' does not.
  static const Backend b =
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") ? Backend::Wine : Backend::Windows;
  return b;
}

WindowsVersion windowsVersion() {
  // Major version 5 is 2000, XP and Server 2003; Wine reports a later one.
  static const WindowsVersion v = [] {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    return ::GetVersionExW(&info) && info.dwMajorVersion < 6 ? WindowsVersion::Xp : WindowsVersion::Vista;
  }();
  return v;
}

std::u16string scratchFolder() { return u"C:\\qfcontract"; }

void makeFile(const std::u16string& windowsPath, std::string_view bytes) {
  std::u16string parent = windowsPath.substr(0, windowsPath.find_last_of(u'\\'));
  makeFolder(parent);
  HANDLE file = ::CreateFileW(w(windowsPath), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << narrow(windowsPath);
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

void makeFolder(const std::u16string& windowsPath) {
  std::size_t slash = windowsPath.find_last_of(u'\\');
  if (slash != std::u16string::npos && slash > 2) makeFolder(windowsPath.substr(0, slash));
  ::CreateDirectoryW(w(windowsPath), nullptr);
}

bool exists(const std::u16string& windowsPath) {
  return ::GetFileAttributesW(w(windowsPath)) != INVALID_FILE_ATTRIBUTES;
}

std::string readFile(const std::u16string& windowsPath) {
  HANDLE file = ::CreateFileW(w(windowsPath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(file);
  return bytes;
}

void removeScratchFolder() { removeTree(std::wstring(w(scratchFolder()))); }

Child startChild() {
  std::wstring self = ownPath();
  std::wstring command = L"\"" + self + L"\" --child";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return {};
  ::CloseHandle(info.hThread);
  // A process just created has no module list yet; wait until its path reads
  // back, as it would for any process already running when the program looks.
  for (int tries = 0; tries < 100; ++tries) {
    wchar_t module[MAX_PATH + 1] = {};
    if (::GetModuleFileNameExW(info.hProcess, nullptr, module, MAX_PATH) > 0) break;
    ::Sleep(50);
  }
  ::CloseHandle(info.hProcess);
  std::wstring name = self.substr(self.find_last_of(L"\\/") + 1);
  return {info.dwProcessId, std::u16string(name.begin(), name.end())};
}

void reapChild(const Child& child) {
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child.pid);
  if (!process) return;
  ::TerminateProcess(process, 1);
  ::WaitForSingleObject(process, 5000);
  ::CloseHandle(process);
}

}  // namespace contract

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--child") {
    ::Sleep(INFINITE);
    return 0;
  }
  // The variables the expansion cases read, as the emulated image defines them.
  ::SetEnvironmentVariableW(L"QFCONTRACT", L"Long long value");
  ::SetEnvironmentVariableW(L"QFCONTRACT_NESTED", L"%QFCONTRACT%");
  ::testing::InitGoogleTest(&argc, argv);
  std::printf("contract tests on %s (%s)\n", contract::backendName(contract::backend()),
              contract::versionName(contract::windowsVersion()));
  return RUN_ALL_TESTS();
}
