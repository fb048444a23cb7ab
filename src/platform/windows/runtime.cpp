// The C runtime's calls that take a path or run a command.
#include "platform/windows/api.h"

#include <cstdio>
#include <cstdlib>

namespace win {
using namespace bridge;

std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode) { return ::_wfopen(wide(path), wide(mode)); }

std::FILE* fopen(const char* path, const char* mode) { return std::fopen(path, mode); }

int fclose(std::FILE* stream) { return std::fclose(stream); }

int system(const char* command) { return std::system(command); }

}  // namespace win
