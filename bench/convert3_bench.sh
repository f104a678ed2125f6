#!/bin/sh
# Converts TLSE's RINEX 3.04 GPS day (30 s, 2880 epochs) with its merged
# RINEX 3 navigation file, with our converter and with rnx2rtkp in
# single-point mode (broadcast ionosphere, and iono-free), side by side:
# times, epochs solved, mean horizontal offset from the header position and
# per-epoch RMS. The header position lies 0.23 m from a dual-frequency
# solution of the day.
#
# usage: bench/convert3_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR defaults to $STANVEX_BUILD (set by run.sh), else <repo>/build
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-${STANVEX_BUILD:-$here/../build}}" && pwd)
runs=${2:-3}
data=${STANVEX_SHARED_DATA:-$here/../../shared/data}
stanvex=$build/out/stanvex
command -v rnx2rtkp >/dev/null || { echo "rnx2rtkp is not installed"; exit 1; }
[ -x "$stanvex" ] || { echo "$stanvex not built"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
obs=TLSE00FRA_R_20220010000_01D_30S_GO.rnx
nav=BRDC00IGS_R_20220010000_01D_MN.rnx
gzip -dc "$data/rinex3/$obs.gz" > "$work/$obs"
gzip -dc "$data/rinex3/$nav.gz" > "$work/$nav"
header=$(sed -n 's/^ *\([-0-9.]*\) *\([-0-9.]*\) *\([-0-9.]*\) *APPROX POSITION XYZ.*/\1 \2 \3/p' "$work/$obs")

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
ours=$(best_ms "$stanvex" rnx2obn "$obs" "$nav")
klob=$(best_ms rnx2rtkp -k brdc.conf -e -o brdc.pos "$obs" "$nav")
iflc=$(best_ms rnx2rtkp -k dual-freq.conf -e -o dual.pos "$obs" "$nav")

echo "TLSE 2022-001, RINEX 3.04, header position $header"
echo "conversion time, best of $runs (ms): stanvex rnx2obn $ours, rnx2rtkp Klobuchar $klob, rnx2rtkp iono-free $iflc"
awk -v a="$ours" -v b="$klob" -v c="$iflc" 'BEGIN {
  if (a < 1) a = 1;
  printf "time ratio (ours / rnx2rtkp): Klobuchar %.2f, iono-free %.2f\n", a / b, a / c }'
# shellcheck disable=SC2086
echo "stanvex rnx2obn:            $(python3 "$here/convert_bench.py" obn "${obs%.rnx}.obn" $header)"
# shellcheck disable=SC2086
echo "rnx2rtkp single, Klobuchar: $(python3 "$here/convert_bench.py" pos brdc.pos $header)"
# shellcheck disable=SC2086
echo "rnx2rtkp single, iono-free: $(python3 "$here/convert_bench.py" pos dual.pos $header)"
