#!/usr/bin/env bash
# Only the exports (src/api) and the last-error module (src/base/last_error.*)
# write the library's last error; every other function returns a Result.
# Counts the writes (SetLastErrorText, AppendLastErrorText, a copy into
# LastErrorText) in each folder of src/ and fails when a folder has more than
# its allowance below. The allowances may only go down: lower one when its
# folder's count falls.
#
# Usage: check-last-error.sh [ROOT]   (ROOT: the source tree, default: this one)
# Exit 0 when every folder is within its allowance, 1 naming each that is not.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# Folders whose own functions still report through the last error: none. A
# tree under test may name some in LAST_ERROR_ALLOWANCES ("folder=count ...").
declare -A allowed=()
for entry in ${LAST_ERROR_ALLOWANCES:-}; do allowed[${entry%%=*}]=${entry#*=}; done

writes='\b(SetLastErrorText|AppendLastErrorText)\(|\b(CopyText|AppendText)\(LastErrorText\b'
status=0
for folder in "$root"/src/*/; do
  name=$(basename "$folder")
  [ "$name" = api ] && continue
  count=0
  while IFS= read -r file; do
    case "$file" in */src/base/last_error.*) continue ;; esac
    found=$(grep -oE "$writes" "$file" | wc -l)
    if [ "$found" -gt 0 ] && [ -z "${allowed[$name]:-}" ]; then
      echo "check-last-error: ${file#"$root"/} writes the last error $found times" \
           "(src/$name returns a Result instead)"
    fi
    count=$((count + found))
  done < <(find "$folder" -name '*.cpp' -o -name '*.h' | sort)
  limit=${allowed[$name]:-0}
  if [ "$count" -gt "$limit" ]; then
    echo "check-last-error: src/$name writes the last error $count times, allowed $limit"
    status=1
  elif [ "$count" -lt "$limit" ]; then
    echo "check-last-error: src/$name writes the last error $count times: lower its allowance" \
         "from $limit"
  fi
done
[ "$status" -eq 0 ] && echo "check-last-error: every folder within its allowance"
exit "$status"
