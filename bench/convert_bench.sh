#!/bin/sh
# Converts the ZIMM day (30 s, 2880 epochs) with our converter and with
# rnx2rtkp in single-point mode on the same files, side by side, and prints
# the time ratio and the accuracy of both against the precise coordinates.
#
# usage: bench/convert_bench.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR defaults to $STANVEX_BUILD (set by bench/run.sh), else <repo>/build
set -eu
here=$(cd "$(dirname "$0")" && pwd)
runs=${2:-5}
build_arg=${1:-}
. "$here/convert_common.inc"

cp "$data/rinex/zimm0010.21o" "$work/"
gzip -dc "$data/rinex/cbw10010.21n.gz" > "$work/cbw10010.21n"
precise="4331296.832 567556.166 4633134.114"

time_conversions zimm0010.21o cbw10010.21n
awk -v a="$ours" -v b="$klob" -v c="$iflc" 'BEGIN {
  if (a < 1) a = 1;
  printf "speed ratio (rnx2rtkp / ours): Klobuchar %.1f, iono-free %.1f\n", b / a, c / a }'
# shellcheck disable=SC2086
print_accuracy zimm0010.obn $precise
