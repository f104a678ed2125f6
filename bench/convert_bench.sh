#!/bin/sh
# Converts the ZIMM day (30 s, 2880 epochs) with our converter and with
# rnx2rtkp in single-point mode on the same files, side by side, and prints
# the time ratio and the accuracy of both against the precise coordinates.
#
# usage: bench/convert_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR defaults to $STANVEX_BUILD (set by bench/run.sh), else <repo>/build
set -eu
build=$(cd "${1:-${STANVEX_BUILD:-$(dirname "$0")/../build}}" && pwd)
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
data=${STANVEX_SHARED_DATA:-$here/../../shared/data}
stanvex=$build/out/stanvex
command -v rnx2rtkp >/dev/null || { echo "rnx2rtkp is not installed"; exit 1; }
[ -x "$stanvex" ] || { echo "$stanvex not built"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data/rinex/zimm0010.21o" "$work/"
gzip -dc "$data/rinex/cbw10010.21n.gz" > "$work/cbw10010.21n"
precise="4331296.832 567556.166 4633134.114"

for iono in brdc dual-freq; do
  cat > "$work/$iono.conf" <<CONF
pos1-posmode=single
pos1-elmask=10
pos1-ionoopt=$iono
pos1-tropopt=saas
pos1-navsys=1
CONF
done

# Wall time of one command in milliseconds, best of $runs.
best_ms() {
  best=""
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    if [ -z "$best" ] || [ $ms -lt $best ]; then best=$ms; fi
    i=$((i + 1))
  done
  echo "$best"
}

cd "$work"
ours=$(best_ms "$stanvex" rnx2obn zimm0010.21o cbw10010.21n)
klob=$(best_ms rnx2rtkp -k brdc.conf -e -o brdc.pos zimm0010.21o cbw10010.21n)
iflc=$(best_ms rnx2rtkp -k dual-freq.conf -e -o dual.pos zimm0010.21o cbw10010.21n)

echo "conversion time, best of $runs (ms): stanvex rnx2obn $ours, rnx2rtkp Klobuchar $klob, rnx2rtkp iono-free $iflc"
awk -v a="$ours" -v b="$klob" -v c="$iflc" 'BEGIN {
  if (a < 1) a = 1;
  printf "speed ratio (rnx2rtkp / ours): Klobuchar %.1f, iono-free %.1f\n", b / a, c / a }'
echo "stanvex rnx2obn:            $(python3 "$here/convert_bench.py" obn zimm0010.obn $precise)"
echo "rnx2rtkp single, Klobuchar: $(python3 "$here/convert_bench.py" pos brdc.pos $precise)"
echo "rnx2rtkp single, iono-free: $(python3 "$here/convert_bench.py" pos dual.pos $precise)"
