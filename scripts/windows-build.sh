#!/bin/bash
# Cross-builds the 32-bit Windows DLLs (stanvex.dll, RIN2OBN.DLL, IntObn.dll,
# UNZIPDLL.DLL, UnZ.dll, svinet.dll) and the Windows test programs with
# MinGW-w64 on a Debian 12 machine; with WIN_ARCH=x86_64 the same project as
# 64-bit Windows, a test build for kernels that cannot run 32-bit programs. Installs the cross toolchain, zlib for
# MinGW, Wine and the test servers' Python modules when missing, fetches
# minizip's sources from Debian's zlib source package and curl's from its
# curl source package into the build folder, and builds a static libcurl
# once. Safe to run again: nothing is fetched or built twice.
#
#   scripts/windows-build.sh [--arch i686|x86_64] [BUILD_DIR]
#       (default: i686 into build-windows; x86_64 into build-windows64)
#
# Environment: WIN_ARCH (as --arch, default i686), JOBS (default 2),
# STANVEX_WERROR (default ON), STANVEX_WIN_TESTS (default ON; OFF builds only
# the shipped DLLs and programs), STANVEX_WIN_SETUP_ONLY (1: install the
# packages and stop).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ARCH="${WIN_ARCH:-i686}"
if [ "${1:-}" = "--arch" ]; then ARCH="${2:?--arch needs i686 or x86_64}"; shift 2; fi
case "$ARCH" in
  i686) DEFAULT_BUILD="$ROOT/build-windows"; MINGW_PKG=i686 ;;
  x86_64) DEFAULT_BUILD="$ROOT/build-windows64"; MINGW_PKG=x86-64 ;;
  *) echo "windows-build: unknown architecture $ARCH (i686 or x86_64)" >&2; exit 2 ;;
esac
TRIPLET="$ARCH-w64-mingw32"
BUILD="${1:-$DEFAULT_BUILD}"
case "$BUILD" in /*) ;; *) BUILD="$PWD/$BUILD" ;; esac
JOBS="${JOBS:-2}"
WERROR="${STANVEX_WERROR:-ON}"

. "$ROOT/scripts/apt.sh"

# ---- packages ---------------------------------------------------------------
# What building and the 64-bit test build need; Wine's 32-bit loader (i386
# packages) is windows-test.sh's to install, where 32-bit programs can run.
missing=()
for pkg in cmake ninja-build make dpkg-dev g++-mingw-w64-$MINGW_PKG gcc-mingw-w64-$MINGW_PKG libz-mingw-w64-dev \
           wine wine64 libgnutls30 libgtest-dev googletest openssl python3-openssl python3-pyftpdlib; do
  have_package "$pkg" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows-build: installing ${missing[*]}"
  apt_update
  apt_install "${missing[@]}"
fi

[ "${STANVEX_WIN_SETUP_ONLY:-0}" = 1 ] && exit 0

# ---- minizip sources from Debian's zlib source package -----------------------
SRC="$BUILD/sources"
mkdir -p "$SRC"
MINIZIP="$(ls -d "$SRC"/zlib-*/contrib/minizip 2>/dev/null | head -n1 || true)"
if [ -z "$MINIZIP" ] || [ ! -f "$MINIZIP/unzip.c" ]; then
  if ! grep -rqs "deb-src\|Types:.*deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The same archive and suites as the binary packages in use.
    list=/etc/apt/sources.list.d/stanvex-deb-src.sources
    echo "windows-build: adding source lines ($list)"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        as_root tee "$list" >/dev/null
    else
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' |
        as_root tee /etc/apt/sources.list.d/stanvex-deb-src.list >/dev/null
    fi
    apt_update
  fi
  # The newest source first; a mirror without the security suite's sources
  # still has the release's.
  (cd "$SRC" && { apt-get source --download-only zlib || apt-get source --download-only zlib/bookworm; } &&
     dpkg-source -x "$(ls zlib_*.dsc | head -n1)")
  MINIZIP="$(ls -d "$SRC"/zlib-*/contrib/minizip | head -n1)"
fi
for f in unzip.c unzip.h ioapi.c ioapi.h iowin32.c iowin32.h crypt.h; do
  [ -f "$MINIZIP/$f" ] || { echo "windows-build: $MINIZIP/$f missing" >&2; exit 1; }
done

# ---- libcurl for svinet.dll, from Debian's curl source package ------------------
# Built once into BUILD/curl as a static library with the Schannel back end
# (Windows' own TLS and certificate store) and only the schemes our internet
# library speaks: http(s), ftp(s) and file. curl's own makefile for MinGW
# (lib/Makefile.mk, with its fixed Windows configuration) needs no configure
# step, whose hundreds of cross-compiled checks cost many minutes. A stamp
# holds the source version and the options; a change of either builds it
# again. Each architecture builds in its own folder, so the sources' lib/
# holds one architecture's objects at a time.
CURL_PREFIX="$BUILD/curl"
curl_cppflags="-DCURL_STATICLIB -DCURL_DISABLE_DICT -DCURL_DISABLE_GOPHER -DCURL_DISABLE_IMAP \
-DCURL_DISABLE_LDAP -DCURL_DISABLE_LDAPS -DCURL_DISABLE_MQTT -DCURL_DISABLE_POP3 -DCURL_DISABLE_RTSP \
-DCURL_DISABLE_SMB -DCURL_DISABLE_SMTP -DCURL_DISABLE_TELNET -DCURL_DISABLE_TFTP \
-DCURL_DISABLE_ALTSVC -DCURL_DISABLE_HSTS -DCURL_DISABLE_COOKIES -DCURL_DISABLE_DOH \
-DCURL_DISABLE_NTLM -DCURL_DISABLE_MIME"
curl_features="-schannel-sspi-ipv6"
CURL_SRC="$(ls -d "$SRC"/curl-*/ 2>/dev/null | head -n1 || true)"
if [ -z "$CURL_SRC" ] || [ ! -f "$CURL_SRC/lib/Makefile.mk" ]; then
  (cd "$SRC" && { apt-get source --download-only curl || apt-get source --download-only curl/bookworm; } &&
     dpkg-source -x "$(ls curl_*.dsc | head -n1)")
  CURL_SRC="$(ls -d "$SRC"/curl-*/ | head -n1)"
fi
CURL_SRC="${CURL_SRC%/}"
curl_stamp="$(basename "$CURL_SRC") $curl_features $curl_cppflags"
# The 32-bit stamp keeps its old form, so existing builds are not rebuilt.
[ "$ARCH" = i686 ] || curl_stamp="$curl_stamp $TRIPLET"
if [ ! -f "$CURL_PREFIX/lib/libcurl.a" ] || [ "$(cat "$CURL_PREFIX/stamp" 2>/dev/null)" != "$curl_stamp" ]; then
  echo "windows-build: building libcurl ($(basename "$CURL_SRC"), Schannel) into $CURL_PREFIX"
  curl_start=$(date +%s)
  rm -rf "$CURL_PREFIX" "$CURL_SRC"/lib/*-w64-mingw32 "$CURL_SRC/lib/libcurl.a"
  mkdir -p "$CURL_SRC/lib/$TRIPLET" "$CURL_PREFIX/lib" "$CURL_PREFIX/include"
  # Flags go through the environment: the makefile adds its own to them.
  CPPFLAGS="$curl_cppflags" CFLAGS="-O2" \
    make -C "$CURL_SRC/lib" -f Makefile.mk -j"$JOBS" TRIPLET="$TRIPLET" \
      CROSSPREFIX="$TRIPLET-" CFG="$curl_features" libcurl.a >"$BUILD/curl-build.log" 2>&1 ||
    { tail -n 50 "$BUILD/curl-build.log"; exit 1; }
  cp "$CURL_SRC/lib/libcurl.a" "$CURL_PREFIX/lib/"
  cp -r "$CURL_SRC/include/curl" "$CURL_PREFIX/include/"
  echo "$curl_stamp" >"$CURL_PREFIX/stamp"
  echo "windows-build: libcurl built in $(( $(date +%s) - curl_start )) s"
fi

# ---- configure and build ------------------------------------------------------
cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$ARCH.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTANVEX_WERROR="$WERROR" \
  -DSTANVEX_TESTS="${STANVEX_WIN_TESTS:-ON}" \
  -DSTANVEX_MINIZIP_SOURCE="$MINIZIP" \
  -DSTANVEX_WIN_CURL_PREFIX="$CURL_PREFIX" \
  -DSTANVEX_GTEST_SOURCE=/usr/src/googletest
cmake --build "$BUILD" -j"$JOBS"

echo "windows-build: DLLs in $BUILD/out:"
ls -l "$BUILD"/out/*.dll
