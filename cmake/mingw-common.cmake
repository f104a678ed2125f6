# The part of the MinGW-w64 toolchain files that both targets share. The
# including file sets CMAKE_SYSTEM_PROCESSOR, STANVEX_MINGW_PREFIX (the
# compilers' triplet) and STANVEX_MINGW_CPU_FLAGS (flags of its processor).
set(CMAKE_SYSTEM_NAME Windows)

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
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format ${STANVEX_MINGW_CPU_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_USE_MATH_DEFINES -Wno-format ${STANVEX_MINGW_CPU_FLAGS}")

# The C++ library is linked into each module; the unwinder is the one shared
# libgcc_s DLL. An exception thrown in one DLL and caught in another
# (UnZ.dll's error codes reach stanvex.dll that way) needs a single unwinder
# that knows the frames of both: with a static unwinder per module the throw
# finds no handler and the process ends. The shared unwinder brings
# libwinpthread-1.dll with it; both are copied beside the build's output.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
