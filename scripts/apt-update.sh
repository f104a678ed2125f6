#!/usr/bin/env bash
# apt_update: refreshes the package lists, riding out a mirror caught in the
# middle of a sync ("File has unexpected size ... Mirror sync in progress?"),
# which makes apt-get update fail for a few minutes. It tries again after
# 15, 30, 60 and 120 s; when every try failed it warns and goes on with the
# lists it has, so that the install that follows fails only if a package it
# needs is really missing. Sourced by the set-up and Windows build scripts;
# runs apt-get as it finds it (the caller is root or passes a prefix).
apt_update() {  # [command prefix, e.g. sudo]
  local pause
  for pause in 15 30 60 120 0; do
    if "$@" apt-get -o Acquire::Retries=3 update -qq; then
      return 0
    fi
    [ "$pause" = 0 ] && break
    echo "apt-update: the package lists did not all download; trying again in $pause s" >&2
    sleep "$pause"
  done
  echo "apt-update: going on with the package lists at hand" >&2
  return 0
}
