# Cross build for 64-bit Windows with Debian's MinGW-w64 (package mingw-w64). The programs it
# builds run here under Wine (package wine64), which CTest starts through the emulator that
# cmake/windows.cmake sets up.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZTEQM_MINGW_TRIPLET x86_64-w64-mingw32)
# The POSIX thread model gives the C++ runtime its full std::thread and std::mutex; the runtime
# is linked statically (cmake/windows.cmake), so nothing of MinGW ships beside the DLL.
set(CMAKE_C_COMPILER ${ZTEQM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZTEQM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZTEQM_MINGW_TRIPLET}-windres)

# Libraries and headers come from the MinGW tree only; programs (objdump, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZTEQM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
