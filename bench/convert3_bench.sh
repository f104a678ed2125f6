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
runs=${2:-3}
build_arg=${1:-}
. "$here/convert_common.inc"

obs=TLSE00FRA_R_20220010000_01D_30S_GO.rnx
nav=BRDC00IGS_R_20220010000_01D_MN.rnx
gzip -dc "$data/rinex3/$obs.gz" > "$work/$obs"
gzip -dc "$data/rinex3/$nav.gz" > "$work/$nav"
header=$(sed -n 's/^ *\([-0-9.]*\) *\([-0-9.]*\) *\([-0-9.]*\) *APPROX POSITION XYZ.*/\1 \2 \3/p' "$work/$obs")

echo "TLSE 2022-001, RINEX 3.04, header position $header"
time_conversions "$obs" "$nav"
awk -v a="$ours" -v b="$klob" -v c="$iflc" 'BEGIN {
  if (a < 1) a = 1;
  printf "time ratio (ours / rnx2rtkp): Klobuchar %.2f, iono-free %.2f\n", a / b, a / c }'
# shellcheck disable=SC2086
print_accuracy "${obs%.rnx}.obn" $header
