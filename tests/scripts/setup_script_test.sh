#!/usr/bin/env bash
# The set-up command of the README works as root and as a user with sudo: the
# README runs the script without sudo, and the script, started by a user on
# a machine without sudo, says that it needs root instead of failing on a
# missing command.
#   setup_script_test.sh SOURCE_DIR
set -uo pipefail
root=${1:?source folder}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The quick start's command, the first line of the first sh block after its
# heading.
command=$(awk '/^## Quick start/ { section = 1 }
               section && /^```sh/ { block = 1; next }
               block { print; exit }' "$root/README.md")
expected='bash scripts/setup-debian.sh && bash scripts/sample.sh'
[ "$command" = "$expected" ] || fail "the README's first command is '$command', not '$expected'"

# A user without sudo: a copy of the script (the source folder may be closed
# to other users), run with a PATH that holds only bash and id.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$(command -v bash)" "$work/bin/bash"
ln -s "$(command -v id)" "$work/bin/id"
cp "$root/scripts/setup-debian.sh" "$work/setup-debian.sh"
chmod -R a+rX "$work"
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  as_user=()
fi
output=$(cd "$work" && "${as_user[@]}" env -i PATH="$work/bin" "$work/bin/bash" setup-debian.sh 2>&1)
status=$?
[ "$status" = 1 ] || fail "without root and sudo the script exits $status, not 1: $output"
case "$output" in
  *"needs root"*"sudo is not installed"*) ;;
  *) fail "without root and sudo the script says '$output'" ;;
esac

[ "$failures" -eq 0 ]
