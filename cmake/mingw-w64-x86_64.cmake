# Cross-builds the core and the command-line loader for 64-bit Windows with Debian's mingw-w64.
# The posix flavour of the compiler is the one whose C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C++ runtime and thread library, so that each .exe runs on its own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
