#!/bin/sh
# Throughput of our unpacking against the system tools, side by side:
#   gzip: `stanvex unpack gz`  against `gzip -dc`
#   .Z:   `stanvex unpack z`   against `uncompress -c`
# on a whole day of RINEX repeated to a few MB, compressed here with the real
# tools. Each side runs as a whole process writing a file, best of several
# alternating runs. Two ratios are printed: of CPU time (user + system of the
# process, little disturbed by other load on the machine) and of wall time.
# A ratio below 1 means ours is faster. The goal is at most 1.1.
#
# Environment:
#   STANVEX_BUILD / BENCH_BUILD  build folder holding out/stanvex (default <repo>/build)
#   BENCH_RUNS   runs per side (default 7)
#   BENCH_COPIES copies of the day file in the input (default 4, about 16 MB)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${STANVEX_BUILD:-${BENCH_BUILD:-$repo/build}}
data=$repo/tests/data
runs=${BENCH_RUNS:-7}
copies=${BENCH_COPIES:-4}
program="$build/out/stanvex"
day="$data/rinex/zimm0010.21o"

[ -x "$program" ] || { echo "extract_bench: $program not built" >&2; exit 1; }
[ -f "$day" ] || { echo "extract_bench: $day missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
i=0
while [ "$i" -lt "$copies" ]; do cat "$day"; i=$((i + 1)); done >"$work/plain"
gzip -c "$work/plain" >"$work/plain.gz"
compress -c "$work/plain" >"$work/plain.Z"

/usr/bin/python3 - "$program" "$work" "$runs" <<'PY'
import os, subprocess, sys, time

program, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
plain = os.path.join(work, "plain")
size_mb = os.path.getsize(plain) / 1e6


def timed(command, stdout_path):
    """Runs command with stdout to a file; returns (wall, cpu) seconds, cpu
    being the child's user + system time."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=out)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    if status != 0:
        sys.exit("extract_bench: %s failed" % " ".join(command))
    return wall, usage.ru_utime + usage.ru_stime


def same(path):
    with open(path, "rb") as a, open(plain, "rb") as b:
        return a.read() == b.read()


def compare(kind, tool_command, packed):
    ours_out = os.path.join(work, "ours." + kind + ".out")
    tool_out = os.path.join(work, "tool." + kind + ".out")
    # Runs alternate between the two sides so that load from elsewhere on
    # the machine falls on both alike; the best run of each side counts.
    ours, tool = [], []
    for _ in range(runs):
        ours.append(timed([program, "unpack", kind, packed, ours_out], os.devnull))
        tool.append(timed(tool_command + [packed], tool_out))
    if not same(ours_out) or not same(tool_out):
        sys.exit("extract_bench: %s output differs from the original" % kind)
    ours_wall, ours_cpu = min(t[0] for t in ours), min(t[1] for t in ours)
    tool_wall, tool_cpu = min(t[0] for t in tool), min(t[1] for t in tool)
    print("%-3s %5.1f MB  ours cpu %6.1f ms (%5.1f MB/s) wall %6.1f ms   "
          "%-13s cpu %6.1f ms (%5.1f MB/s) wall %6.1f ms   ratio cpu %.2f wall %.2f"
          % (kind, size_mb, ours_cpu * 1e3, size_mb / ours_cpu, ours_wall * 1e3,
             " ".join(tool_command), tool_cpu * 1e3, size_mb / tool_cpu, tool_wall * 1e3,
             ours_cpu / tool_cpu, ours_wall / tool_wall))


compare("gz", ["gzip", "-dc"], os.path.join(work, "plain.gz"))
compare("z", ["uncompress", "-c"], os.path.join(work, "plain.Z"))
PY
