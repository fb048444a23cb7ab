// stand_in: a process that stays until it is terminated, holding open the
// files named on its command line. The Wine end-to-end run starts it under
// the names of the machine image's processes (firefox.exe) and to hold the
// files the image marks as in use, so that the real program meets them as it
// meets them on the emulated machine.
//
//   stand_in [file ...]
//
// Each file is opened for reading without any sharing: moving, renaming or
// deleting it fails with ERROR_SHARING_VIOLATION (32) until the process ends,
// as for a driver file the system holds until a restart. The process prints
// "ready" once every file is held, and exits 1 when one cannot be opened.
// Windows only; it is a test tool, not part of the program.
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  std::vector<HANDLE> held;
  for (int i = 1; i < argc; ++i) {
    HANDLE file = CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "stand_in: cannot hold %ls [%lu]\n", argv[i], GetLastError());
      return 1;
    }
    held.push_back(file);
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) Sleep(INFINITE);
}
