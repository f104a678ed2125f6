#!/usr/bin/env bash
# The nearest stations over HTTPS through bench/delay_proxy.py, which delays
# every chunk by DELAY_MS (default 75) each way, each against its baseline
# run side by side:
#
# 1. fetch --nearest 3 of a 3-day window (three stations retrieved side by
#    side, their availability asked beside them) against fetching the same
#    three stations one after the other with fetch --station (goal: at most
#    0.45 x).
# 2. available for 5 stations x 3 days against the floor of one round trip
#    (2 x DELAY_MS) per file asked, the files counted at the server (goal:
#    at most 1.5 x the floor).
#
#   bench/nearest_bench.sh            (STANVEX_BUILD: the build folder)
[ -z "${BASH_VERSION:-}" ] && exec bash "$0" "$@"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
. "$here/loopback.sh" nearest
delay_ms=${DELAY_MS:-75}

# seconds COMMAND...: runs it (output to $work/run.log) and prints the
# seconds it took.
seconds() {
  local begin end
  begin=$(date +%s%N)
  "$@" > "$work/run.log" 2>&1 || { cat "$work/run.log" >&2; echo "$* failed" >&2; exit 1; }
  end=$(date +%s%N)
  awk -v ns=$((end - begin)) 'BEGIN { printf "%.3f\n", ns / 1e9 }'
}

# best2 COMMAND...: the smaller of two runs' seconds.
best2() {
  local a b
  a=$("$@")
  b=$("$@")
  awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f\n", a < b ? a : b }'
}

# The five sample stations, three days in one GPS week.
"$stanvex" simulate --out "$work/sim" --start 2021-01-03 --days 3 --interval 30 >/dev/null
sh "$root/tests/fixtures/make_test_certificates.sh" "$work/certs" >/dev/null 2>&1
start https /usr/bin/python3 "$root/tests/fixtures/https_server.py" "$work/sim/archive" \
  --cert "$work/certs/server.pem" --key "$work/certs/server.key" --lifetime 900 \
  --log "$work/https.log"
start proxy /usr/bin/python3 "$here/delay_proxy.py" --target "127.0.0.1:$port" \
  --delay-ms "$delay_ms" --lifetime 900
mkdir -p "$work/catalogue"
sed -E "s#ftpAd: file://[^ ]*/archive/([a-z]+)#ftpAd: https://127.0.0.1:$port/\\1#" \
  "$work/sim/catalogue/manufact.dwn" > "$work/catalogue/manufact.dwn"
export CURL_CA_BUNDLE="$work/certs/ca.pem"
window=(--from "2021-01-03 00:00:00" --to "2021-01-05 23:59:30")

# ---- 1. fetch --nearest 3 against the three one after the other -----------
one_after_another() {
  local dest="$work/dest-$RANDOM$RANDOM"
  mkdir -p "$dest"
  for station in simb sima simc; do
    "$stanvex" fetch --catalogue "$work/catalogue" --station "$station" "${window[@]}" \
      --dest "$dest" --quiet || return 1
  done
}
side_by_side() {
  local dest="$work/dest-$RANDOM$RANDOM"
  mkdir -p "$dest"
  "$stanvex" fetch --catalogue "$work/catalogue" --nearest 3 --lat 46.8 --lon 8.2 \
    --max-km 500 "${window[@]}" --dest "$dest" --quiet
}
sequential=$(best2 seconds one_after_another)
nearest=$(best2 seconds side_by_side)
{ grep -c ' km  delivered ' "$work/run.log" || true; } > "$work/delivered"
echo "3 stations x 3 days over HTTPS through the proxy (${delay_ms} ms each way), best of 2"
awk -v s="$sequential" -v n="$nearest" -v d="$(cat "$work/delivered")" 'BEGIN {
  printf "%-46s %9s %6s\n", "", "seconds", "ratio"
  printf "%-46s %9.3f %6.2f\n", "fetch --station simb, sima, simc in turn", s, 1
  printf "%-46s %9.3f %6.2f   (goal <= 0.45)\n", "fetch --nearest 3 (" d " delivered)", n, n / s
}'
echo

# ---- 2. available, 5 stations x 3 days, against its floor ------------------
: > "$work/https.log"
asked_seconds=$(seconds "$stanvex" available --catalogue "$work/catalogue" --nearest 5 \
  --lat 46.8 --lon 8.2 --max-km 20000 "${window[@]}")
# A connection's own HEAD of its address (HEAD /simz) is not a file asked.
asked=$(grep -c '^HEAD /[^/ ]*/' "$work/https.log" || true)
fetched=$(grep -c '^GET /' "$work/https.log" || true)
connections=$(grep -c '^CONNECT' "$work/https.log" || true)
rows=$(grep -c ' 2021-01-0' "$work/run.log" || true)
echo "available, 5 stations x 3 days, through the proxy"
awk -v t="$asked_seconds" -v n="$asked" -v d="$delay_ms" -v g="$fetched" -v c="$connections" \
  -v r="$rows" 'BEGIN {
  floor = n * 2 * d / 1000
  printf "%-46s %9s %6s\n", "", "seconds", "x floor"
  printf "%-46s %9.3f %6.2f\n", "floor: one round trip per file asked", floor, 1
  printf "%-46s %9.3f %6.2f   (goal <= 1.5)\n", "stanvex available", t, t / floor
  printf "%d files asked (HEAD), %d fetched (GET), %d connections, %d table rows\n", n, g, c, r
}'
