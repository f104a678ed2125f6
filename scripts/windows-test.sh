#!/bin/bash
# Cross-builds the 32-bit Windows DLLs and their test programs, then runs the
# tests under Wine in a fresh prefix inside the build folder. The closing line
# is ctest's count of passed and failed tests.
#
#   scripts/windows-test.sh [BUILD_DIR]      (default: build-windows)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build-windows}"
case "$BUILD" in /*) ;; *) BUILD="$PWD/$BUILD" ;; esac

bash "$ROOT/scripts/windows-build.sh" "$BUILD"

export WINEPREFIX="$BUILD/wineprefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "windows-test: making the Wine prefix"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
ctest --test-dir "$BUILD" --output-on-failure --timeout 300
