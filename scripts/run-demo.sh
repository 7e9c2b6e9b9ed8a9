#!/usr/bin/env bash
# Installs what is missing, builds Dozered and starts it in its demo working
# folder (build/release/demo), where it finds the simulated drives of
# demo/VirtualDrives.ini and the sample MPISP.bin.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# The window needs a display; say so before spending minutes on a build.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "No display found. Run it from a desktop session, or under a virtual X server:" >&2
  echo "  xvfb-run -a -s '-screen 0 1400x900x24' scripts/run-demo.sh" >&2
  echo "(the README says how to watch such a server)" >&2
  exit 1
fi
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi
cd "$root/build/release/demo"
exec "$root/build/release/src/dozered"
