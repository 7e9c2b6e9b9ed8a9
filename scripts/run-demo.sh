#!/usr/bin/env bash
# Installs what is missing, builds Dozered and starts it in demo/, where it
# finds the simulated drives of demo/VirtualDrives.ini.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "No display found. Run it under a virtual X server instead:" >&2
  echo "  xvfb-run -a -s '-screen 0 1400x900x24' scripts/run-demo.sh" >&2
  exit 1
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi
cd "$root/demo"
exec "$root/build/release/src/dozered"
