#!/usr/bin/env bash
# End-to-end retrieval from a loopback FTP server: one day and three days of
# whole-day 30-second data, for a service of .Z observation files and for a
# compact-RINEX-only one (with its navigation from the IGS service). Prints
# the time and peak memory per request, the cost per day, and how both grow
# from one day to three (linear time: a per-day ratio near 1; flat memory: a
# peak ratio near 1).
[ -z "${BASH_VERSION:-}" ] && exec bash "$0" "$@"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${STANVEX_BUILD:-$root/build-bench}
stanvex="$build/out/stanvex"
[ -x "$stanvex" ] || { echo "build stanvex first ($stanvex)"; exit 1; }
work=$(mktemp -d /tmp/stanvex-retrieval-bench-XXXXXX)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Three days inside one GPS week (Sunday to Tuesday).
"$stanvex" simulate --out "$work/sim" --start 2021-01-03 --days 3 --interval 30 \
  --stations sima sime >/dev/null

coproc SERVER { exec /usr/bin/python3 "$root/tests/fixtures/ftp_server.py" "$work/sim/archive" --lifetime 600; }
server_pid=$SERVER_PID
read -r port <&"${SERVER[0]}"
sed -E "s#ftpAd: file://[^ ]*/archive/([a-z]+)#ftpAd: ftp://127.0.0.1:$port/\\1#" \
  "$work/sim/catalogue/manufact.dwn" > "$work/manufact.dwn"
mkdir -p "$work/catalogue" && mv "$work/manufact.dwn" "$work/catalogue/"

# run STATION TO: prints "seconds peak_kib"
run() {
  local dest="$work/dest-$1-$RANDOM"
  mkdir -p "$dest"
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$stanvex" fetch --catalogue "$work/catalogue" \
    --station "$1" --from "2021-01-03 00:00:00" --to "$2" --dest "$dest" --quiet >/dev/null
  cat "$work/time.txt"
}

printf "%-6s %-6s %10s %10s %12s\n" station days seconds "s per day" "peak MiB"
for station in sima sime; do
  best1=""; best3=""; mem1=0; mem3=0
  for round in 1 2 3; do
    read -r t1 m1 < <(run "$station" "2021-01-03 23:59:30")
    read -r t3 m3 < <(run "$station" "2021-01-05 23:59:30")
    if [ -z "$best1" ] || awk "BEGIN{exit !($t1 < $best1)}"; then best1=$t1; mem1=$m1; fi
    if [ -z "$best3" ] || awk "BEGIN{exit !($t3 < $best3)}"; then best3=$t3; mem3=$m3; fi
  done
  awk -v s="$station" -v t1="$best1" -v t3="$best3" -v m1="$mem1" -v m3="$mem3" 'BEGIN {
    printf "%-6s %-6d %10.3f %10.3f %12.1f\n", s, 1, t1, t1, m1 / 1024
    printf "%-6s %-6d %10.3f %10.3f %12.1f\n", s, 3, t3, t3 / 3, m3 / 1024
    printf "%-6s per-day time ratio 3 days / 1 day: %.2f   peak memory ratio: %.2f\n", s, (t3 / 3) / t1, m3 / m1
  }'
done
