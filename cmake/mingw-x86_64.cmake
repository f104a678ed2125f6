# Cross-compiling for 64-bit x86 Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). A test build only: the shipped DLLs are the 32-bit
# ones (mingw-i686.cmake). It runs the Windows code paths under wine64 where
# the kernel cannot start 32-bit programs. The posix thread model gives
# std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STANVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${STANVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STANVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${STANVEX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${STANVEX_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${STANVEX_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${STANVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev, linked statically into each DLL that needs it.
set(ZLIB_INCLUDE_DIR /usr/${STANVEX_MINGW_PREFIX}/include CACHE PATH "")
set(ZLIB_LIBRARY /usr/${STANVEX_MINGW_PREFIX}/lib/libz.a CACHE FILEPATH "")

# printf and friends follow C99 as on Linux; the format checks are left to
# the Linux build (see mingw-i686.cmake). x86-64 computes on SSE2 anyway.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format")

# One shared unwinder for every module, as in the 32-bit build; on x86-64 it
# is the SEH one, libgcc_s_seh-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(STANVEX_WIN_RUNTIME_DLLS libgcc_s_seh-1.dll libwinpthread-1.dll)

# Test programs run under Wine's 64-bit loader itself: the wine launcher
# script prefers the 32-bit loader whenever wine32 is installed.
find_program(STANVEX_WINE wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(STANVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STANVEX_WINE})
endif()
