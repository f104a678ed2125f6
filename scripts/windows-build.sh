#!/bin/bash
# Cross-builds the 32-bit Windows DLLs (stanvex.dll, RIN2OBN.DLL, IntObn.dll,
# UNZIPDLL.DLL, UnZ.dll) and the Windows test programs with MinGW-w64 on a
# Debian 12 machine. Installs the cross toolchain, zlib for MinGW and Wine
# when missing, and fetches minizip's sources from Debian's zlib source
# package into the build folder. Safe to run again: nothing is fetched twice.
#
#   scripts/windows-build.sh [BUILD_DIR]     (default: build-windows)
#
# Environment: JOBS (default 2), STANVEX_WERROR (default ON).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build-windows}"
case "$BUILD" in /*) ;; *) BUILD="$PWD/$BUILD" ;; esac
JOBS="${JOBS:-2}"
WERROR="${STANVEX_WERROR:-ON}"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# ---- packages ---------------------------------------------------------------
missing=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "windows-build: adding the i386 architecture (for wine32)"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update
fi
for pkg in cmake ninja-build dpkg-dev g++-mingw-w64-i686 gcc-mingw-w64-i686 libz-mingw-w64-dev \
           wine wine32:i386 libgtest-dev googletest; do
  have "$pkg" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows-build: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

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
        $SUDO tee "$list" >/dev/null
    else
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' |
        $SUDO tee /etc/apt/sources.list.d/stanvex-deb-src.list >/dev/null
    fi
    $SUDO apt-get update
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
# library speaks: http(s), ftp(s) and file. A stamp holds the source version
# and these options; a change of either builds it again.
CURL_PREFIX="$BUILD/curl"
curl_options=(
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
  -DPICKY_COMPILER=OFF -DCURL_ENABLE_EXPORT_TARGET=OFF
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF
  -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DUSE_NGHTTP2=OFF
  -DENABLE_UNIX_SOCKETS=OFF -DENABLE_THREADED_RESOLVER=ON
  -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_LDAP=ON
  -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON
  -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON
  -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_DOH=ON
  -DCURL_DISABLE_NTLM=ON -DCURL_DISABLE_MIME=ON)
CURL_SRC="$(ls -d "$SRC"/curl-*/ 2>/dev/null | head -n1 || true)"
if [ -z "$CURL_SRC" ] || [ ! -f "$CURL_SRC/CMakeLists.txt" ]; then
  (cd "$SRC" && { apt-get source --download-only curl || apt-get source --download-only curl/bookworm; } &&
     dpkg-source -x "$(ls curl_*.dsc | head -n1)")
  CURL_SRC="$(ls -d "$SRC"/curl-*/ | head -n1)"
fi
CURL_SRC="${CURL_SRC%/}"
curl_stamp="$(basename "$CURL_SRC") ${curl_options[*]}"
if [ ! -f "$CURL_PREFIX/lib/libcurl.a" ] || [ "$(cat "$CURL_PREFIX/stamp" 2>/dev/null)" != "$curl_stamp" ]; then
  echo "windows-build: building libcurl ($(basename "$CURL_SRC"), Schannel) into $CURL_PREFIX"
  curl_start=$(date +%s)
  rm -rf "$BUILD/curl-build" "$CURL_PREFIX"
  cmake -S "$CURL_SRC" -B "$BUILD/curl-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$CURL_PREFIX" "${curl_options[@]}" >"$BUILD/curl-configure.log" 2>&1 ||
    { cat "$BUILD/curl-configure.log"; exit 1; }
  cmake --build "$BUILD/curl-build" -j"$JOBS" >"$BUILD/curl-build.log" 2>&1 ||
    { tail -n 50 "$BUILD/curl-build.log"; exit 1; }
  cmake --install "$BUILD/curl-build" >/dev/null
  echo "$curl_stamp" >"$CURL_PREFIX/stamp"
  echo "windows-build: libcurl built in $(( $(date +%s) - curl_start )) s"
fi

# ---- configure and build ------------------------------------------------------
cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTANVEX_WERROR="$WERROR" \
  -DSTANVEX_MINIZIP_SOURCE="$MINIZIP" \
  -DSTANVEX_WIN_CURL_PREFIX="$CURL_PREFIX" \
  -DSTANVEX_GTEST_SOURCE=/usr/src/googletest
cmake --build "$BUILD" -j"$JOBS"

echo "windows-build: DLLs in $BUILD/out:"
ls -l "$BUILD"/out/*.dll
