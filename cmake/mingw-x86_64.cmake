# Cross-compiling for 64-bit x86 Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64). A test build only: the shipped DLLs are the 32-bit
# ones (mingw-i686.cmake). It runs the Windows code paths under wine64 where
# the kernel cannot start 32-bit programs. The posix thread model gives
# std::thread and std::mutex.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(STANVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(STANVEX_MINGW_CPU_FLAGS "")  # x86-64 computes on SSE2 anyway
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The shared unwinder on x86-64 is the SEH one.
set(STANVEX_WIN_RUNTIME_DLLS libgcc_s_seh-1.dll libwinpthread-1.dll)

# Test programs run under Wine's 64-bit loader itself: the wine launcher
# script prefers the 32-bit loader whenever wine32 is installed.
find_program(STANVEX_WINE wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(STANVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STANVEX_WINE})
endif()
