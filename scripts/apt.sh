#!/usr/bin/env bash
# Package helpers sourced by the set-up and Windows scripts.

# as_root COMMAND...: runs it as root, through sudo where this is not root.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "apt: '$*' needs root (sudo is not installed): run this as root" >&2
    return 1
  fi
}

# have_package NAME: whether the package is installed.
have_package() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# apt_update: refreshes the package lists, riding out a mirror caught in the
# middle of a sync ("File has unexpected size ... Mirror sync in progress?"),
# which fails apt-get update for a while. It tries again after 10 and 30 s;
# when every try failed it warns and goes on with the lists it has, so that
# the install that follows fails only if a package it needs is really
# missing (a list that stays broken for days, as one of the i386 lists once
# did, costs 40 s a call, not the run).
apt_update() {
  local pause
  for pause in 10 30 0; do
    if as_root apt-get -o Acquire::Retries=3 update -qq; then
      return 0
    fi
    [ "$pause" = 0 ] && break
    echo "apt: the package lists did not all download; trying again in $pause s" >&2
    sleep "$pause"
  done
  echo "apt: going on with the package lists at hand" >&2
  return 0
}

# apt_install PACKAGE...: installs them without recommended packages.
apt_install() {
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get -o Acquire::Retries=3 install -y -qq --no-install-recommends "$@"
}
