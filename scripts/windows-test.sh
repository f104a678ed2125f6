#!/bin/bash
# Cross-builds the 32-bit Windows DLLs and their test programs, then runs the
# tests under Wine in a fresh prefix inside the build folder. Where the kernel
# cannot run 32-bit programs (or runs them only through qemu-user, far too
# slowly), the tests run on a 64-bit build instead (see below). The closing
# line is ctest's count of passed and failed tests.
#
#   scripts/windows-test.sh [BUILD_DIR]      (default: build-windows; the
#                                            64-bit build: BUILD_DIR + "64",
#                                            or $WIN64_BUILD)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build-windows}"
case "$BUILD" in /*) ;; *) BUILD="$PWD/$BUILD" ;; esac

# 32-bit Windows programs run under Wine's 32-bit loader, a 32-bit Linux
# program. A kernel built or booted without 32-bit support (ia32_emulation=off)
# cannot start it: the 32-bit cross build of the shipped files still proves the DLLs compile and
# link with warnings as errors. The same sources are then built as 64-bit
# Windows (a test build, never shipped) and the tests run on that build under
# wine64, so the Windows code paths are tested all the same. The same holds
# where 32-bit programs run only through a qemu-user handler (windows-probe.sh).
# Without a working wine64 either, exit 77 says "skipped".
# The loaders among a package's files (dpkg -L lists the folder /usr/lib/wine
# too, which no --version can start).
package_program() {
  dpkg -L "$1" 2>/dev/null | grep -E "$2" | while read -r f; do
    if [ -f "$f" ] && [ -x "$f" ]; then echo "$f"; fi
  done | head -n1
}
. "$ROOT/scripts/windows-probe.sh"
. "$ROOT/scripts/apt.sh"

# Wine's 32-bit loader and the TLS library it loads are packages of the i386
# architecture. A mirror whose i386 lists cannot be read (one stayed caught
# in a sync for days) leaves them uninstallable: the tests then take the
# 64-bit build below instead of failing the stage.
install_wine32() {
  have_package wine32:i386 && have_package libgnutls30:i386 && return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "windows-test: adding the i386 architecture (for wine32)"
    as_root dpkg --add-architecture i386
    apt_update
  fi
  apt_install wine32:i386 libgnutls30:i386
}

WINE=wine
STANVEX_WIN_SETUP_ONLY=1 bash "$ROOT/scripts/windows-build.sh" "$BUILD"
install_wine32 || echo "windows-test: Wine's 32-bit loader could not be installed"
loader=$(package_program wine32 '/wine$' || true)
native=1
why=""
if [ -z "$loader" ]; then
  native=0
  why="wine32:i386 is not installed"
elif ! "$loader" --version >/dev/null 2>&1; then
  native=0
  why="$loader --version fails; 32-bit emulation disabled?"
elif handler=$(emulated_i386); then
  native=0
  why="32-bit programs run under qemu-user here (binfmt_misc handler $handler)"
fi
if [ "$native" = 1 ]; then
  echo "windows-test: running the tests of the shipped 32-bit build under $(command -v wine)"
  bash "$ROOT/scripts/windows-build.sh" "$BUILD"
else
  # Only the shipped DLLs and programs: their tests cannot run here.
  STANVEX_WIN_TESTS=OFF bash "$ROOT/scripts/windows-build.sh" "$BUILD"
  echo "windows-test: the 32-bit tests cannot run on this machine ($why):"
  echo "windows-test: the 32-bit cross build passed"
  wine64=$(package_program wine64 '/wine64$' || true)
  if [ -z "$wine64" ] || ! "$wine64" --version >/dev/null 2>&1; then
    echo "windows-test: no working wine64 either: the Windows tests are skipped"
    exit 77
  fi
  BUILD="${WIN64_BUILD:-${BUILD}64}"
  echo "windows-test: running the Windows tests on a 64-bit build in $BUILD under $wine64"
  WIN_ARCH=x86_64 bash "$ROOT/scripts/windows-build.sh" "$BUILD"
  WINE="$wine64"
fi

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "windows-test: making the Wine prefix"
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# A test that fails is run once more before the stage fails: the TLS host
# test once failed under heavy load for a reason not yet found (see
# docs/windows.md); a second failure fails the stage.
ctest --test-dir "$BUILD" --output-on-failure --timeout 300 --repeat until-pass:2
