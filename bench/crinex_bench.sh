#!/bin/sh
# Compact RINEX decoding against zcat, side by side: `stanvex crx2rnx` decodes
# a whole day (york0440.15d, 2880 epochs) into RINEX; the decoded file is
# gzipped once and `zcat` of it, producing the same bytes, is the baseline.
# Each side runs as a whole process writing a file, best of several runs; a
# ratio below 1 means the decoder is faster. The goal is at most 1.0.
# Peak memory is printed for a small file and for the whole day: it must not
# grow with the file.
#
# Environment:
#   STANVEX_BUILD / BENCH_BUILD  build folder holding out/stanvex (default <repo>/build)
#   BENCH_DATA   the shared real data folder (default <repo>/../shared/data)
#   BENCH_RUNS   runs per side (default 9)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${STANVEX_BUILD:-${BENCH_BUILD:-$repo/build}}
data=${BENCH_DATA:-$repo/../shared/data}
runs=${BENCH_RUNS:-9}
program="$build/out/stanvex"
day="$data/crinex/york0440.15d"
small="$data/crinex/wsra0010.21d"

[ -x "$program" ] || { echo "crinex_bench: $program not built" >&2; exit 1; }
[ -f "$day" ] || { echo "crinex_bench: $day missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
"$program" crx2rnx "$day" "$work/day.o"
gzip -c "$work/day.o" >"$work/day.o.gz"

/usr/bin/python3 - "$program" "$work" "$runs" "$day" "$small" <<'PY'
import os, subprocess, sys, time

program, work, runs, day, small = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
decoded = os.path.join(work, "day.o")
packed = decoded + ".gz"


def run(command, stdout_path):
    """Runs one process; gives its wall time and peak resident set (KB)."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=out)
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("crinex_bench: %s failed" % command[0])
    return elapsed, usage.ru_maxrss



ours_out = os.path.join(work, "ours.o")
zcat_out = os.path.join(work, "zcat.o")
# Alternate the two sides so that both see the same machine load.
ours, zcat = [], []
for _ in range(runs):
    ours.append(run([program, "crx2rnx", day, ours_out], os.devnull)[0])
    zcat.append(run(["zcat", packed], zcat_out)[0])
with open(ours_out, "rb") as a, open(zcat_out, "rb") as b:
    if a.read() != b.read():
        sys.exit("crinex_bench: zcat and the decoder disagree")
size_mb = os.path.getsize(decoded) / 1e6
t_ours, t_zcat = min(ours), min(zcat)
print("crx2rnx  york0440.15d -> %.1f MB RINEX: ours %.1f ms (%.0f MB/s), zcat %.1f ms (%.0f MB/s), "
      "ratio %.2f (goal <= 1.0)" % (size_mb, t_ours * 1e3, size_mb / t_ours, t_zcat * 1e3,
                                   size_mb / t_zcat, t_ours / t_zcat))

_, rss_small = run([program, "crx2rnx", small, os.path.join(work, "small.o")], os.devnull)
_, rss_day = run([program, "crx2rnx", day, ours_out], os.devnull)
print("peak memory: %d KB for wsra0010.21d (%d KB), %d KB for york0440.15d (%d KB)"
      % (rss_small, os.path.getsize(small) // 1024, rss_day, os.path.getsize(day) // 1024))
PY
