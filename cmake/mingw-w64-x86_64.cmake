# Cross-compile the Windows build with MinGW-w64. The -posix compilers carry std::mutex,
# which GoogleTest needs; the runtime is linked statically so boardkit.exe needs no MinGW DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# CTest runs the Windows test programs under Wine. WINEDEBUG=-all keeps Debian's wrapper from
# writing its hint about a missing 32-bit Wine to every test's standard error; the Wine prefix
# is the caller's WINEPREFIX (scripts/test.sh keeps one below the build folder).
set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all wine)
# Tests are listed when CTest runs, not while building, so a build never needs Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
