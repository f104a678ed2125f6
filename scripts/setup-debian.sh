#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and benchmarking need.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  zlib1g-dev libminizip-dev libcurl4-openssl-dev libcli11-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  python3 python3-pyftpdlib python3-openssl openssl ncompress gzip zip unzip time \
  clang libclang-rt-14-dev rtklib librsvg2-bin >/dev/null
