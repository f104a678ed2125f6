#!/usr/bin/env bash
# The first run of stanvex, offline: builds it when needed, simulates a
# three-day sample archive at 30 s into sample/, then retrieves stations from
# it end to end (download from file:// addresses, unpacking, compact RINEX
# decoding, conversion, joining, cutting) and prints the delivered files with
# the average position beside the true one.
#
#   scripts/sample.sh [BUILD_DIR]      (default: build)
#
# The archive also holds a service that publishes RINEX 3 only, as the IGS
# archives do today (long names, compact RINEX 3, gzip, merged RINEX 3
# navigation files), and one of its stations is retrieved too
# (STANVEX_SAMPLE_RINEX3=0 leaves it out).
set -euo pipefail

rinex3="${STANVEX_SAMPLE_RINEX3:-1}"

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
sample="$root/sample"
stanvex="$build/out/stanvex"

if [ ! -x "$stanvex" ]; then
  echo "== building stanvex in $build"
  cmake -S "$root" -B "$build" -G Ninja -DSTANVEX_TESTS=OFF >/dev/null
  cmake --build "$build" -j2
fi

echo "== simulating the sample archive into $sample"
# Only what the simulator writes is replaced; the folder is git-ignored.
rm -rf "$sample/archive" "$sample/catalogue" "$sample/delivered" "$sample/stations.txt"
# Three days inside one GPS week (Sunday to Tuesday): a window that crossed the
# end of a week would be cut at the crossover.
simulate_rinex3=()
stations=(sima sime)
if [ "$rinex3" = 1 ]; then
  simulate_rinex3=(--rinex3)
  stations+=(simg)
fi
"$stanvex" simulate --out "$sample" --start 2021-01-03 --days 3 --interval 30 --seed 1 \
  "${simulate_rinex3[@]}"

echo "== the archive"
(cd "$sample/archive" && find . -type f | sort | sed 's|^\./|  |')

# Prints the true position of station $1 from stations.txt and how far the
# average position in the fetch report $2 lies from it.
truth() {
  awk -v s="$1" '$1 == s { printf "true position    %.8f %.8f  (height %.3f m)\n", $6, $7, $8 }' \
    "$sample/stations.txt"
  awk -v s="$1" 'FNR == NR && $1 == s { lat = $6; lon = $7 }
    FNR != NR && /^average position/ {
      north = ($3 - lat) * 111320; east = ($4 - lon) * 111320 * cos(lat * 3.14159265 / 180)
      printf "average - truth  %.3f m north, %.3f m east\n", north, east }' \
    "$sample/stations.txt" "$2"
}

# ---- retrieval ---------------------------------------------------------------
# One station of a service that publishes .Z observation files, across all
# three days; one compact-RINEX-only station whose navigation files come
# from the IGS service; with rinex3=1 one station of the RINEX 3 service.
status=0
for station in "${stations[@]}"; do
  dest="$sample/delivered/$station"
  mkdir -p "$dest"
  echo "== stanvex fetch $station"
  if [ "$station" = sime ]; then
    echo "   (its service publishes neither plain observation nor navigation files: each day"
    echo "    the fetch reports the two misses, then takes the compact file and the IGS file)"
  fi
  if [ "$station" = simg ]; then
    echo "   (RINEX 3 only: each day the fetch misses the plain file, then takes the compact"
    echo "    RINEX 3 file under its long name, _R_ or on 4 January _S_, and the merged"
    echo "    RINEX 3 navigation file)"
  fi
  report="$sample/delivered/$station.txt"
  if "$stanvex" fetch --catalogue "$sample/catalogue" --station "$station" \
       --from "2021-01-03 06:00:00" --to "2021-01-05 18:00:00" --dest "$dest" --quiet \
       > "$report"; then
    cat "$report"
    echo "delivered files:"
    (cd "$dest" && ls -l | sed 1d | awk '{ printf "  %-24s %10d bytes\n", $9, $5 }')
    truth "$station" "$report"
  else
    echo "fetch of $station failed" >&2
    status=1
  fi
done
exit $status
