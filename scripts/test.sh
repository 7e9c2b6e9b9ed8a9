#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in two
# configurations: a normal debug build and one under AddressSanitizer and
# UndefinedBehaviorSanitizer; between them the end-to-end run through loop
# devices and the run in a virtual machine (as root; each says why it skips
# elsewhere). Then builds the core
# and its tests for Windows with MinGW-w64 and runs those tests under wine.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== debug build and tests"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs"

echo "== end to end: the demo drives behind loop devices, through the Linux platform"
tests/e2e/e2e.sh build/debug

echo "== the Linux platform through a real kernel: SATA, SCSI and NVMe disks of a QEMU guest"
tests/vm/vm.sh build/debug

echo "== sanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== Windows build of the core layers and their tests (MinGW-w64), tests run under wine"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
ctest --preset mingw

echo "All tests passed"
