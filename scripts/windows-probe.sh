# Sourced by windows-test.sh: what this machine can run.

# A binfmt_misc handler that hands 32-bit x86 programs to qemu-user makes
# Wine's 32-bit loader start, but under qemu-i386 each Wine process needs
# about two minutes of one core (against under 3 s natively; see
# docs/windows.md), far too slow for the tests: such a machine counts as one
# without 32-bit support. Prints the enabled handler's name and succeeds when
# there is one.
#   emulated_i386 [BINFMT_DIR]     (default /proc/sys/fs/binfmt_misc)
emulated_i386() {
  local dir=${1:-/proc/sys/fs/binfmt_misc} entry
  [ "$(cat "$dir/status" 2>/dev/null)" = enabled ] || return 1
  for entry in "$dir"/*; do
    case "$entry" in */status | */register) continue ;; esac
    [ -f "$entry" ] || continue
    if grep -qx enabled "$entry" && grep -q '^interpreter .*qemu-i386' "$entry"; then
      basename "$entry"
      return 0
    fi
  done
  return 1
}
