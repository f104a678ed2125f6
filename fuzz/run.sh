#!/bin/sh
# Builds every fuzz target with clang, address and undefined-behaviour
# sanitizers, replays the kept regression inputs, then fuzzes each target for a
# bounded time. Fails on any crash; a new crashing input is kept under
# fuzz/regressions/<name>/ so that every later run replays it.
#
# Environment:
#   FUZZ_SECONDS     time per target (default 30)
#   FUZZ_BUILD       build folder (default <repo>/build-fuzz)
#   FUZZ_JOBS        parallel build jobs (default 2)
#   FUZZ_SEED_BYTES  bytes taken from the start of each real data file (default 65536)
#   FUZZ_TARGETS     blank-separated names to run (default: all)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-30}
data=$repo/tests/data
build=${FUZZ_BUILD:-$repo/build-fuzz}
jobs=${FUZZ_JOBS:-2}
seed_bytes=${FUZZ_SEED_BYTES:-65536}

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTANVEX_FUZZ=ON -DSTANVEX_TESTS=OFF \
  -DSTANVEX_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target stanvex_fuzzers -j "$jobs"

targets=${FUZZ_TARGETS:-$(cat "$build/fuzz/fuzzers.txt")}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0

for name in $targets; do
  [ -n "$name" ] || continue
  fuzzer="$build/out/${name}_fuzzer"
  regressions="$repo/fuzz/regressions/$name"
  work="$build/fuzz-work/$name"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts"

  # Kept crashers first: each must now run clean.
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions" 2>/dev/null)" ]; then
    echo "== $name: replaying $(ls "$regressions" | wc -l) regression inputs"
    if ! "$fuzzer" "$regressions"/* >"$work/regressions.log" 2>&1; then
      echo "== $name: a regression input fails again:"; tail -40 "$work/regressions.log"
      status=1
      continue
    fi
  fi

  # Seeds: the target's own, then the real data files it names (tests/data).
  if [ -d "$repo/fuzz/seeds/$name" ]; then cp "$repo/fuzz/seeds/$name"/* "$work/seeds/" 2>/dev/null || true; fi
  if [ -f "$build/fuzz/$name.data" ]; then
    while IFS= read -r pattern; do
      [ -n "$pattern" ] || continue
      found=0
      for file in "$data"/$pattern; do
        [ -f "$file" ] || continue
        found=1
        # Larger files give their beginning: inputs stay small enough to run fast.
        head -c "$seed_bytes" "$file" >"$work/seeds/$(basename "$file")"
      done
      [ "$found" = 1 ] || { echo "== $name: no file of tests/data matches $pattern"; status=1; }
    done <"$build/fuzz/$name.data"
  fi

  echo "== $name: fuzzing for $seconds s with $(ls "$work/seeds" | wc -l) seeds"
  if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 \
       -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" >"$work/fuzz.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log" | tail -1)
    echo "== $name: clean, ${runs:-?} executions, corpus of $(ls "$work/corpus" | wc -l) inputs"
  else
    echo "== $name: FAILED"; tail -60 "$work/fuzz.log"
    mkdir -p "$regressions"
    for crash in "$work/artifacts"/*; do
      [ -f "$crash" ] || continue
      cp "$crash" "$regressions/"
      echo "== $name: kept $(basename "$crash") in fuzz/regressions/$name/ (found $(date -u +%Y-%m-%d))"
    done
    status=1
  fi
done
exit $status
