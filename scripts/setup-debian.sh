#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need.
# Run it as root, or as a user who may use sudo: it then starts itself again
# through sudo (a fresh Debian machine run as root has no sudo at all).
set -euo pipefail
if [ "$(id -u)" != 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup-debian: installing packages needs root: run this as root" \
         "(sudo is not installed here)" >&2
    exit 1
  fi
  exec sudo bash "${BASH_SOURCE[0]}" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
. "$(dirname "${BASH_SOURCE[0]}")/apt.sh"
apt_update
apt_install \
  build-essential cmake ninja-build pkg-config \
  zlib1g-dev libminizip-dev libcurl4-openssl-dev libcli11-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  python3 python3-pyftpdlib python3-openssl openssl ncompress gzip zip unzip time \
  clang libclang-rt-14-dev rtklib librsvg2-bin >/dev/null
