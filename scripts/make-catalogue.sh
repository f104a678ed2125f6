#!/usr/bin/env bash
# Makes the generated station sections of the bundled catalogue
# (catalogue/manufact.dwn, between its "; >>> generated ID" and
# "; <<< generated ID" lines) from the published station lists in
# tests/data/stations, with `stanvex catalogue import`:
#
#   NOAA        NOAA's CORS positions (noaa-cors-itrf2014.csv), those that the
#               Nevada Geodetic Laboratory's holdings list shows with data on
#               or after the day (at the same place: a station of the same
#               name elsewhere is another station);
#   EARTHSCOPE  EarthScope GAGE's velocity file (earthscope-gage-nam14.vel),
#               each station's last segment, active by the same list.
#
# Stations that the hand-written part of the catalogue already gives a
# service are left out of its generated section. Everything outside the
# generated sections stays as it is.
#
#   scripts/make-catalogue.sh [--check] [STANVEX]
#
# STANVEX is the program (default build/out/stanvex). --check rewrites
# nothing: it fails when the catalogue is not what the lists make.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
stanvex="${1:-$root/build/out/stanvex}"
since=2024-01-01
catalogue=catalogue/manufact.dwn
lists=tests/data/stations
holdings=$lists/ngl-data-holdings.txt

# Relative paths: the comments the import writes name the lists so.
cd "$root"
if [ ! -x "$stanvex" ]; then
  echo "make-catalogue.sh: no program $stanvex; build it first (cmake --build build --target stanvex_cli)" >&2
  exit 1
fi
for id in NOAA EARTHSCOPE; do
  if [ "$(grep -c -x "; >>> generated $id" "$catalogue")" != 1 ] ||
     [ "$(grep -c -x "; <<< generated $id" "$catalogue")" != 1 ]; then
    echo "make-catalogue.sh: $catalogue needs one line \"; >>> generated $id\" and one \"; <<< generated $id\"" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The names of the stations of service $1 outside the generated sections,
# joined by commas.
handwritten() {
  awk -v serv="$1" '
    /^; >>> generated / { skip = 1 }
    /^; <<< generated / { skip = 0; next }
    skip { next }
    /^[ \t]*Station[ \t]*\{/ { inside = 1; name = ""; service = ""; next }
    inside && /^[ \t]*sName:/ { name = $2 }
    inside && /^[ \t]*serv:/ { service = $2 }
    inside && /\}/ {
      inside = 0
      if (toupper(service) == toupper(serv) && name != "") names = names (names ? "," : "") tolower(name)
    }
    END { print names }' "$catalogue"
}

# import ID LIST: the Station blocks of service ID into $work/ID.
import() {
  local except
  except="$(handwritten "$1")"
  "$stanvex" catalogue import "$2" --service "$1" --only-in "$holdings" --active-since "$since" \
    ${except:+--except "$except"} >"$work/$1"
}
import NOAA "$lists/noaa-cors-itrf2014.csv"
import EARTHSCOPE "$lists/earthscope-gage-nam14.vel"

# The catalogue with each generated section replaced by its blocks.
awk -v dir="$work" '
  /^; >>> generated / {
    print
    id = $4
    while ((getline line < (dir "/" id)) > 0) print line
    close(dir "/" id)
    skip = 1
    next
  }
  /^; <<< generated / { skip = 0 }
  !skip { print }' "$catalogue" >"$work/manufact.dwn"

if [ "$check" = 1 ]; then
  if ! cmp -s "$work/manufact.dwn" "$catalogue"; then
    echo "make-catalogue.sh: $catalogue is not what the lists make; run scripts/make-catalogue.sh" >&2
    diff "$catalogue" "$work/manufact.dwn" | head -20 >&2
    exit 1
  fi
  echo "$catalogue is up to date"
  exit 0
fi
# Written beside the catalogue under a new name, then renamed over it: never
# through a link, never half written.
next="$(mktemp "$catalogue.XXXXXX")"
cat "$work/manufact.dwn" >"$next"
chmod 644 "$next"
mv -f "$next" "$catalogue"
grep -c "^Station {" "$catalogue" | sed "s|^|$catalogue: |; s|\$| stations|"
