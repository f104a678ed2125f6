#!/usr/bin/env bash
# Retrievals from sub-daily files, each against a baseline run side by side:
#
# 1. A 2-hour window of one day from a loopback FTP archive, served by that
#    day's hourly files (its daily files not published yet) against its
#    daily file: bytes downloaded and time (goal: at most 15 % of the bytes).
# 2. A whole day of 24 hourly files over HTTPS through bench/delay_proxy.py,
#    which delays every chunk by DELAY_MS (default 75) each way and passes
#    RATE bytes a second (default 250000, a 2 Mbit/s field link): time
#    against the floor of one TLS handshake (measured through the proxy)
#    plus the bytes at that rate (goal: at most 1.3 x the floor), the
#    handshakes the server counted, and the same files fetched by curl over
#    a connection each.
# 3. A 1 Hz hour from four 15-minute files against converting the recorded
#    hour itself: time, and whether the epochs and values delivered equal
#    the conversion's (they must: measured epochs, not interpolated).
#
#   bench/subdaily_bench.sh            (STANVEX_BUILD: the build folder)
[ -z "${BASH_VERSION:-}" ] && exec bash "$0" "$@"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/loopback.sh" subdaily
command -v curl >/dev/null || { echo "curl is not installed"; exit 1; }
delay_ms=${DELAY_MS:-75}
rate=${RATE:-250000}

# Two days and today (hours 00-12, 15-minute files for 11 and 12), in one
# GPS week. The hourly archive is the same with the second day's daily
# files not yet published.
"$stanvex" simulate --out "$work/sim" --start 2021-01-03 --days 2 --interval 30 \
  --stations simh simq --subdaily --today-hours 13 >/dev/null
mkdir -p "$work/served"
cp -a "$work/sim/archive" "$work/served/daily"
cp -a "$work/sim/archive" "$work/served/hourly"
rm "$work/served/hourly/simnoaa/2021/004/simh/simh0040.21"[odn].gz \
  "$work/served/hourly/simbkg/IGS/obs/2021/004/SIMQ00DEU_R_20210040000_01D_30S_MO.crx.gz" \
  "$work/served/hourly/simbkg/IGS/BRDC/2021/004/BRDM00DLR_S_20210040000_01D_MN.rnx.gz"

# catalogue NAME ADDRESS: a copy of the simulated catalogue whose addresses
# are ADDRESS/<service>, in $work/NAME.
catalogue() {
  mkdir -p "$work/$1"
  sed -E "s#ftpAd: file://[^ ]*/archive/([a-z]+)#ftpAd: $2/\\1#" \
    "$work/sim/catalogue/manufact.dwn" > "$work/$1/manufact.dwn"
}

# fetch CATALOGUE STATION FROM TO [OPTIONS]: prints the seconds it took;
# its progress lines are in $work/fetch.log.
fetch() {
  local dest="$work/dest-$RANDOM$RANDOM"
  mkdir -p "$dest"
  local start end
  start=$(date +%s%N)
  "$stanvex" fetch --catalogue "$work/$1" --station "$2" --from "$3" --to "$4" --dest "$dest" \
    "${@:5}" > "$work/fetch.out" 2> "$work/fetch.log" ||
    { cat "$work/fetch.log" >&2; echo "fetch $2 failed" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

# best3 COMMAND...: the smallest of three runs' printed seconds.
best3() {
  local best="" t
  for _ in 1 2 3; do
    t=$("$@")
    if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
  done
  echo "$best"
}

# ---- 1. bytes and time, 2 hours: hourly files against the daily file -------
start ftp /usr/bin/python3 "$root/tests/fixtures/ftp_server.py" "$work/served" --lifetime 900 \
  --log "$work/ftp.log"
catalogue ftp-daily "ftp://127.0.0.1:$port/daily"
catalogue ftp-hourly "ftp://127.0.0.1:$port/hourly"

# downloaded: "files bytes observation-bytes" of the files the last fetch
# took from the server.
downloaded() {
  grep '^RETR ' "$work/ftp.log" | sed 's/^RETR //' | while read -r path; do
    if [ -f "$work/served/${path#/}" ]; then
      echo "$(stat -c %s "$work/served/${path#/}") $path"
    fi
  done | awk '{ n++; b += $1; if ($2 !~ /n\.gz$|_MN\.rnx\.gz$/) o += $1 }
    END { printf "%d %d %d\n", n, b, o }'
}

# The window 10:00:00-11:59:30 holds 240 epochs at 30 s; one that ends at
# 12:00:00 also needs hour 12 for its last epoch.
echo "2-hour window of 2021-01-04 from a loopback FTP archive (files include navigation), best of 3"
printf "%-6s %-22s %5s %8s %8s %8s %7s %7s %6s\n" station "source, window" files KiB \
  "obs KiB" seconds bytes "obs" time
declare -A files bytes obs seconds
for station in simh simq; do
  for run in "daily 11:59:30" "hourly 11:59:30" "hourly 12:00:00"; do
    read -r source end <<< "$run"
    seconds[$run]=$(best3 fetch "ftp-$source" "$station" "2021-01-04 10:00:00" "2021-01-04 $end")
    : > "$work/ftp.log"
    fetch "ftp-$source" "$station" "2021-01-04 10:00:00" "2021-01-04 $end" >/dev/null
    read -r "files[$run]" "bytes[$run]" "obs[$run]" < <(downloaded)
    awk -v s="$station" -v r="$source, 10:00-$end" -v f="${files[$run]}" -v b="${bytes[$run]}" \
      -v o="${obs[$run]}" -v t="${seconds[$run]}" -v b0="${bytes[daily 11:59:30]}" \
      -v o0="${obs[daily 11:59:30]}" -v t0="${seconds[daily 11:59:30]}" 'BEGIN {
      printf "%-6s %-22s %5d %8.1f %8.1f %8.3f %7.3f %7.3f %6.2f\n", s, r, f, b / 1024, o / 1024,
        t, b / b0, o / o0, t / t0 }'
  done
done
echo "(bytes, obs and time: ratios to the daily file's run, all files and observation files;"
echo " goal: hourly bytes <= 0.15)"
echo

# ---- 2. 24 hourly files over HTTPS through the delaying proxy --------------
sh "$root/tests/fixtures/make_test_certificates.sh" "$work/certs" >/dev/null 2>&1
start https /usr/bin/python3 "$root/tests/fixtures/https_server.py" "$work/served/hourly" \
  --cert "$work/certs/server.pem" --key "$work/certs/server.key" --lifetime 900 \
  --log "$work/https.log"
start proxy /usr/bin/python3 "$here/delay_proxy.py" --target "127.0.0.1:$port" \
  --delay-ms "$delay_ms" --rate "$rate" --lifetime 900
proxy_port=$port
catalogue https-hourly "https://127.0.0.1:$proxy_port"
export CURL_CA_BUNDLE="$work/certs/ca.pem"

# One handshake through the proxy: curl's time to the end of TLS, best of 3.
handshake=$(for _ in 1 2 3; do
  curl -s -o /dev/null -w '%{time_appconnect}\n' "https://127.0.0.1:$proxy_port/"
done | sort -n | head -1)

: > "$work/https.log"
day_seconds=$(fetch https-hourly simh "2021-01-04 00:00:00" "2021-01-04 23:59:30")
handshakes=$(grep -c '^CONNECT' "$work/https.log" || true)
requests=$(grep -c '^GET\|^HEAD' "$work/https.log" || true)
hourly_files=$(grep -c '^GET /simnoaa/2021/004/simh/simh004[a-x]\.21o\.gz' "$work/https.log" ||
  true)
day_bytes=$(grep '^GET ' "$work/https.log" | sed 's/^GET //' | while read -r path; do
  [ -f "$work/served/hourly/${path#/}" ] && stat -c %s "$work/served/hourly/${path#/}"
done | awk '{ b += $1 } END { print b + 0 }')

# The same files by curl, a connection (and handshake) each.
start=$(date +%s%N)
grep '^GET ' "$work/https.log" | sed 's/^GET //' | while read -r path; do
  curl -s -o /dev/null "https://127.0.0.1:$proxy_port$path"
done
end=$(date +%s%N)
curl_seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }')

echo "a day of hourly files over HTTPS through the proxy (${delay_ms} ms each way, $rate B/s)"
awk -v h="$handshake" -v b="$day_bytes" -v r="$rate" -v t="$day_seconds" -v c="$curl_seconds" \
  -v n="$requests" -v k="$handshakes" -v f="$hourly_files" -v d="$delay_ms" 'BEGIN {
  floor = h + b / r
  printf "%-44s %9s %8s\n", "", "seconds", "x floor"
  printf "%-44s %9.3f %8.2f\n", "floor: one handshake + bytes at the rate", floor, 1
  trips = floor + n * 2 * d / 1000
  printf "%-44s %9.3f %8.2f\n", "floor + one round trip per request", trips, trips / floor
  printf "%-44s %9.3f %8.2f   (goal <= 1.3)\n", "stanvex fetch", t, t / floor
  printf "%-44s %9.3f %8.2f\n", "curl, a connection per file", c, c / floor
  printf "handshake %.3f s, %d hourly files of %d requests, %.1f KiB\n", h, f, n, b / 1024
  printf "handshakes counted at the server: %d\n", k
}'
echo

# ---- 3. a 1 Hz hour: four 15-minute files against the recorded hour --------
catalogue file-sim "file://$work/sim/archive"
recorded="$work/sim/recorded/SIMQ00DEU_R_20210051100_01H_01S_MO.rnx"
gzip -dc "$work/sim/archive/simbkg/IGS/BRDC/2021/005/BRDC00WRD_S_20210050000_01D_MN.rnx.gz" \
  > "$work/hour.nav"
mkdir -p "$work/direct"
cp "$recorded" "$work/direct/hour.rnx"
convert_hour() {
  local start end
  start=$(date +%s%N)
  (cd "$work/direct" && "$stanvex" rnx2obn hour.rnx "$work/hour.nav" >/dev/null 2>&1)
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}
direct_seconds=$(best3 convert_hour)
quarter_seconds=$(best3 fetch file-sim simq "2021-01-05 11:00:00" "2021-01-05 11:59:59" \
  --interval 1)
quarters=$(grep -c '^downloading /IGS/highrate/' "$work/fetch.log" || true)
delivered=$(awk '/^delivered /{ print $2 }' "$work/fetch.out")
"$stanvex" obn dump "$work/direct/"*.obn > "$work/direct.dump"
"$stanvex" obn dump "$delivered" > "$work/delivered.dump"
if cmp -s "$work/direct.dump" "$work/delivered.dump"; then equal=yes; else equal=NO; fi
echo "a 1 Hz hour (2021-01-05 11:00-11:59:59), best of 3"
awk -v q="$quarter_seconds" -v d="$direct_seconds" -v n="$quarters" -v e="$equal" \
  -v epochs="$(grep -c '^epoch' "$work/delivered.dump")" 'BEGIN {
  printf "%-44s %9s %6s\n", "", "seconds", "ratio"
  printf "%-44s %9.3f %6.2f\n", "stanvex rnx2obn of the recorded hour", d, 1
  printf "%-44s %9.3f %6.2f\n", "stanvex fetch --interval 1, " n " 15-minute files", q, q / d
  printf "%d epochs delivered; equal to the conversion of the recorded hour: %s\n", epochs, e
}'
[ "$equal" = yes ] || { diff "$work/direct.dump" "$work/delivered.dump" | head -5; exit 1; }
