#!/bin/sh
# Compact RINEX decoding against zcat, side by side, for both versions:
# `stanvex crx2rnx` decodes a whole day into RINEX (compact RINEX 1.0:
# york0440.15d, 2880 epochs; compact RINEX 3.0: NIST00USA 2023-001, 2880
# multi-GNSS epochs, unpacked first); the decoded file is gzipped once and
# `zcat` of it, producing the same bytes, is the baseline. Each side runs as a
# whole process writing a file, best of several runs; a ratio below 1 means the
# decoder is faster. The goal is at most 1.0.
# Peak memory (GNU time, package "time") is printed for a small file and for
# the whole day of each version: it must not grow with the file.
#
# Environment:
#   STANVEX_BUILD / BENCH_BUILD  build folder holding out/stanvex (default <repo>/build)
#   BENCH_RUNS   runs per side (default 9)
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${STANVEX_BUILD:-${BENCH_BUILD:-$repo/build}}
data=$repo/tests/data
runs=${BENCH_RUNS:-9}
program="$build/out/stanvex"
day="$data/crinex/york0440.15d"
small="$data/crinex/wsra0010.21d"
day3gz="$data/rinex3/NIST00USA_R_20230010000_01D_30S_MO.crx.gz"
small3="$data/rinex3/sample.crx"

[ -x "$program" ] || { echo "crinex_bench: $program not built" >&2; exit 1; }
for file in "$day" "$small" "$day3gz" "$small3"; do
  [ -f "$file" ] || { echo "crinex_bench: $file missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
# Each case: name, compact file, small file of the same version.
cases="york0440.15d $day $small"
gzip -dc "$day3gz" >"$work/NIST00USA.crx"
cases="$cases NIST00USA_R_20230010000_01D_30S_MO.crx $work/NIST00USA.crx $small3"

/usr/bin/python3 - "$program" "$work" "$runs" $cases <<'PY'
import os, subprocess, sys, time

program, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
cases = [sys.argv[i:i + 3] for i in range(4, len(sys.argv), 3)]


def run(command, stdout_path):
    """Runs one process; gives its wall time and its processor time (user and
    system), the steadier figure on a loaded machine."""
    with open(stdout_path, "wb") as out:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdout=out)
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("crinex_bench: %s failed" % command[0])
    return elapsed, usage.ru_utime + usage.ru_stime


def peak_kb(command):
    """Peak resident set of one process (KB), measured by GNU time: a child
    forked from this Python process would count Python's own pages."""
    report = os.path.join(work, "peak.txt")
    subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M"] + command, check=True,
                   stdout=subprocess.DEVNULL)
    with open(report) as text:
        return int(text.read().split()[-1])


for name, day, small in cases:
    decoded = os.path.join(work, "day.o")
    run([program, "crx2rnx", day, decoded], os.devnull)
    packed = decoded + ".gz"
    with open(packed, "wb") as out:
        subprocess.run(["gzip", "-c", decoded], stdout=out, check=True)
    ours_out = os.path.join(work, "ours.o")
    zcat_out = os.path.join(work, "zcat.o")
    # Alternate the two sides so that both see the same machine load.
    ours, zcat = [], []
    for _ in range(runs):
        # Both sides start from an empty output: zcat's is emptied by the
        # redirection before its clock starts, ours is removed beforehand.
        if os.path.exists(ours_out):
            os.remove(ours_out)
        ours.append(run([program, "crx2rnx", day, ours_out], os.devnull))
        zcat.append(run(["zcat", packed], zcat_out))
    cpu_ours, cpu_zcat = min(c for _, c in ours), min(c for _, c in zcat)
    ours, zcat = [w for w, _ in ours], [w for w, _ in zcat]
    with open(ours_out, "rb") as a, open(zcat_out, "rb") as b:
        if a.read() != b.read():
            sys.exit("crinex_bench: zcat and the decoder disagree")
    size_mb = os.path.getsize(decoded) / 1e6
    t_ours, t_zcat = min(ours), min(zcat)
    print("crx2rnx  %s -> %.1f MB RINEX: ours %.1f ms (%.0f MB/s), zcat %.1f ms (%.0f MB/s), "
          "ratio %.2f (goal <= 1.0)" % (name, size_mb, t_ours * 1e3, size_mb / t_ours,
                                       t_zcat * 1e3, size_mb / t_zcat, t_ours / t_zcat))
    print("         processor time: ours %.1f ms, zcat %.1f ms, ratio %.2f"
          % (cpu_ours * 1e3, cpu_zcat * 1e3, cpu_ours / cpu_zcat))
    rss_small = peak_kb([program, "crx2rnx", small, os.path.join(work, "small.o")])
    rss_day = peak_kb([program, "crx2rnx", day, ours_out])
    print("peak memory: %d KB for %s (%d KB), %d KB for %s (%d KB)"
          % (rss_small, os.path.basename(small), os.path.getsize(small) // 1024, rss_day, name,
             os.path.getsize(day) // 1024))
    for path in (decoded, packed, ours_out, zcat_out):
        os.remove(path)
PY
