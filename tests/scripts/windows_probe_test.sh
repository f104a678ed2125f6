#!/usr/bin/env bash
# The Windows stage counts a machine whose 32-bit x86 programs run through an
# enabled qemu-user handler as one without 32-bit support, and only such a
# machine. The handler folders are written as the kernel shows its
# binfmt_misc entries.
#   windows_probe_test.sh SOURCE_DIR
set -uo pipefail
root=${1:?source folder}
. "$root/scripts/windows-probe.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

entry() {  # folder name state interpreter magic
  printf '%s\ninterpreter %s\nflags: F\noffset 0\nmagic %s\n' "$3" "$4" "$5" >"$1/$2"
}
i386_magic=7f454c4601010100000000000000000002000300
arm_magic=7f454c4601010100000000000000000002002800

mkdir "$work/none" "$work/arm" "$work/i386" "$work/i386-off" "$work/all-off"
for dir in none arm i386 i386-off; do echo enabled >"$work/$dir/status"; : >"$work/$dir/register"; done
echo disabled >"$work/all-off/status"
entry "$work/arm" qemu-arm enabled /usr/libexec/qemu-binfmt/arm-binfmt-P "$arm_magic"
entry "$work/i386" qemu-arm enabled /usr/libexec/qemu-binfmt/arm-binfmt-P "$arm_magic"
entry "$work/i386" qemu-i386 enabled /usr/bin/qemu-i386-static "$i386_magic"
entry "$work/i386-off" qemu-i386 disabled /usr/bin/qemu-i386-static "$i386_magic"
entry "$work/all-off" qemu-i386 enabled /usr/bin/qemu-i386-static "$i386_magic"

for dir in none arm i386-off all-off missing; do
  if name=$(emulated_i386 "$work/$dir"); then fail "$dir: taken for emulated ($name)"; fi
done
name=$(emulated_i386 "$work/i386") || fail "an enabled qemu-i386 handler is not seen"
[ "${name:-}" = qemu-i386 ] || fail "the handler is named '${name:-}', not qemu-i386"
[ "$failures" -eq 0 ]
