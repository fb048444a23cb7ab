# The 64-bit build exists only to run under wine64 (this machine runs no
# 32-bit Wine): the contract tests and the end-to-end run. It is never
# shipped, so it keeps the posix thread model, which googletest needs
# (std::mutex); the shipped 32-bit build uses the win32 model
# (mingw-w64-i686.cmake) to stay loadable on Windows XP.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
