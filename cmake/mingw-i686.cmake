# Cross-compiling for 32-bit x86 Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686). The posix thread model gives std::thread and
# std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(STANVEX_MINGW_PREFIX i686-w64-mingw32)
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

# printf and friends follow C99 (%zu, %lld) as on Linux. GCC still checks
# format attributes against the older Microsoft rules, which reject these,
# so the format checks are left to the Linux build. M_PI and friends come
# with _USE_MATH_DEFINES, as in strict C++ mode they are not declared.
# Floating point runs on SSE2, as on x86-64: the x87 unit's 80-bit
# intermediates would round some results differently from the Linux build
# (the last printed digit of an observation, now and then).
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format -msse2 -mfpmath=sse")

# The C++ library is linked into each module; the unwinder is the one shared
# libgcc_s_dw2-1.dll. An exception thrown in one DLL and caught in another
# (UnZ.dll's error codes reach stanvex.dll that way) needs a single unwinder
# that knows the frames of both: with a static unwinder per module the throw
# finds no handler and the process ends. The shared unwinder brings
# libwinpthread-1.dll with it; both are copied beside the build's output.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")

# Test programs run under Wine.
find_program(STANVEX_WINE wine)
if(STANVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STANVEX_WINE})
endif()
