#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the agent live on the
# interface of the default route, as root. Arguments go to the agent, e.g.
#   sudo bash scripts/run-agent.sh --run-for 60
#   sudo bash scripts/run-agent.sh --config my.json --iface eth1
# Without --home, the agent's home is build/bin (log/, core/, arc_file/).
#   TIDEWELL_SKIP_DEPS=1  do not install packages
#   TIDEWELL_BUILD_DIR=D  build folder (default build)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "run-agent.sh: live capture needs root (CAP_NET_RAW): sudo bash scripts/run-agent.sh $*" >&2
  exit 1
fi
if [ "${TIDEWELL_SKIP_DEPS:-0}" != 1 ]; then
  bash scripts/install-deps.sh
fi
BUILD=${TIDEWELL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"${JOBS:-2}" --target velmora-agent
exec "$BUILD/bin/velmora-agent" "$@"
