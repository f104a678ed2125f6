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
#
# It also holds two services that publish sub-daily files, laid out as NOAA's
# CORS archive (hourly RINEX 2 files) and BKG's IGS tree (hourly and
# 15-minute 1 Hz compact RINEX 3 files), each with a navigation file rebuilt
# through the day, and a fourth day, "today", that has only those files, up
# to 12:59. From it the sample retrieves a short window from hourly files and
# a 1 s window from 15-minute files, and prints the files each one used
# (STANVEX_SAMPLE_SUBDAILY=0 leaves them out).
set -euo pipefail

rinex3="${STANVEX_SAMPLE_RINEX3:-1}"
subdaily="${STANVEX_SAMPLE_SUBDAILY:-1}"

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
rm -rf "$sample/archive" "$sample/catalogue" "$sample/delivered" "$sample/stations.txt" \
  "$sample/recorded"
# Three days inside one GPS week (Sunday to Tuesday): a window that crossed the
# end of a week would be cut at the crossover.
# Today, the fourth day, is a Wednesday of the same week.
simulate_options=()
stations=(sima sime)
if [ "$rinex3" = 1 ]; then
  simulate_options+=(--rinex3)
  stations+=(simg)
fi
[ "$subdaily" = 1 ] && simulate_options+=(--subdaily --today-hours 13)
"$stanvex" simulate --out "$sample" --start 2021-01-03 --days 3 --interval 30 --seed 1 \
  "${simulate_options[@]}"

echo "== the archive"
# Sub-daily files are counted per service and day rather than listed.
(cd "$sample/archive" && find . -type f | sort | sed 's|^\./||' | awk '
  /\/IGS\/nrt\/|^simnoaa\/.*[0-9][a-x]\.[0-9][0-9]o\.gz$/ { kind = "hourly" }
  /\/IGS\/highrate\// { kind = "15-minute 1 Hz" }
  kind == "" { print "  " $0; next }
  {
    n_parts = split($0, part, "/")
    for (i = 2; i <= n_parts; i++) if (part[i] ~ /^[0-9][0-9][0-9]$/) break
    key = part[1] ": " kind " files of day " part[i]
    if (!(key in count)) order[++n] = key
    count[key]++; kind = ""
  }
  END { for (i = 1; i <= n; i++) printf "  %s: %d\n", order[i], count[order[i]] }')

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

# ---- sub-daily retrievals from today ----------------------------------------
# Prints the files a fetch downloaded, from its progress lines on stderr
# ($1): each "downloading PATH" that a "File Downloaded" follows.
files_used() {
  echo "files used:"
  awk '/^downloading / { path = $2 }
    /^  File Downloaded/ && path != "" { print "  " path; path = "" }' "$1"
}

# subdaily STATION FROM TO [FETCH OPTIONS...]
subdaily() {
  local station=$1 from=$2 to=$3
  shift 3
  local dest="$sample/delivered/$station"
  local report="$sample/delivered/$station.txt" log="$sample/delivered/$station.log"
  mkdir -p "$dest"
  if "$stanvex" fetch --catalogue "$sample/catalogue" --station "$station" --from "$from" \
       --to "$to" --dest "$dest" "$@" > "$report" 2> "$log"; then
    cat "$report"
    grep '^warning' "$log" || true
    "$stanvex" obn info "$(awk '/^delivered /{ print $2 }' "$report")" |
      grep -E '^(epochs|interval): .*(solution|smallest)' || true
    files_used "$log"
    truth "$station" "$report"
  else
    grep '^error\|^warning\|^Error' "$log" >&2 || true
    echo "fetch of $station failed" >&2
    status=1
  fi
}

if [ "$subdaily" = 1 ]; then
  echo "== stanvex fetch simh, today 10:20 to 12:05"
  echo "   (today has no daily file yet: the window takes the hourly files of hours 10, 11"
  echo "    and 12, joined into one day, and the navigation file rebuilt through the day)"
  subdaily simh "2021-01-06 10:20:00" "2021-01-06 12:05:00"
  echo "== stanvex fetch simq, today 11:10 to 11:40 at 1 s"
  echo "   (an interval finer than 30 s takes the 15-minute 1 Hz files of 11:00, 11:15 and"
  echo "    11:30: measured epochs, not interpolated ones)"
  subdaily simq "2021-01-06 11:10:00" "2021-01-06 11:40:00" --interval 1
fi
exit $status
