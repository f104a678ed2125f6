# Sourced by the benchmarks that run loopback servers and the delaying proxy:
#   . "$here/loopback.sh" NAME
# sets stanvex (the program of STANVEX_BUILD, default build-bench), work (a
# private folder /tmp/stanvex-NAME-bench-*, removed on exit with every
# process started by start) and defines start.
build=${STANVEX_BUILD:-$root/build-bench}
stanvex="$build/out/stanvex"
[ -x "$stanvex" ] || { echo "build stanvex first ($stanvex)"; exit 1; }
work=$(mktemp -d "/tmp/stanvex-$1-bench-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# The loopback servers end when their stdin ends: it is a pipe held open here.
mkfifo "$work/hold"
exec 9<>"$work/hold"

# start NAME COMMAND...: runs a server or the proxy, which prints its port
# first (the first word of its first line); sets port.
start() {
  local name=$1
  shift
  "$@" < "$work/hold" > "$work/$name.port" &
  pids+=("$!")
  for _ in $(seq 300); do
    port=$(head -1 "$work/$name.port" | cut -d' ' -f1)
    [ -n "$port" ] && return
    sleep 0.1
  done
  echo "$name did not start" >&2
  exit 1
}
