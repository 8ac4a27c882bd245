#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y \
  g++ cmake make pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libpcap-dev libgtk-3-dev nlohmann-json3-dev \
  dnsmasq-base arping xvfb xauth tcpdump arpwatch isc-dhcp-client net-tools iproute2 util-linux iperf3 radvd python3 \
  clang libclang-rt-14-dev time \
  dpkg-dev file systemd \
  g++-mingw-w64-x86-64 wine wine64 \
  python3 python3-jsonschema logrotate
