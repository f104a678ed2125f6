#!/bin/sh
# Builds the benchmarks in Release (build-bench beside this folder) and runs
# every bench program and every other bench/*.sh script (subdaily_bench.sh
# among them, with delay_proxy.py), printing their results.
# Usage: bench/run.sh [filter]   (runs only names containing filter)
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build="$root/build-bench"
filter=${1:-}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTANVEX_BENCH=ON \
    -DSTANVEX_TESTS=OFF >/dev/null || exit 1
cmake --build "$build" -j2 || exit 1

status=0
for program in "$build"/out/*_bench; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  case "$name" in *"$filter"*) ;; *) continue ;; esac
  echo "==== $name"
  "$program" || { echo "$name failed"; status=1; }
  echo
done
for script in "$here"/*.sh; do
  name=$(basename "$script")
  case "$name" in run.sh | loopback.sh) continue ;; esac
  case "$name" in *"$filter"*) ;; *) continue ;; esac
  echo "==== $name"
  STANVEX_BUILD="$build" sh "$script" || { echo "$name failed"; status=1; }
  echo
done
exit $status
