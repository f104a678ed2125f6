# Cross-compiling for 32-bit x86 Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686). The posix thread model gives std::thread and
# std::mutex.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(STANVEX_MINGW_PREFIX i686-w64-mingw32)
# Floating point runs on SSE2, as on x86-64: the x87 unit's 80-bit
# intermediates would round some results differently from the Linux build
# (the last printed digit of an observation, now and then).
set(STANVEX_MINGW_CPU_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test programs run under Wine.
find_program(STANVEX_WINE wine)
if(STANVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STANVEX_WINE})
endif()
