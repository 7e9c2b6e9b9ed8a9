#!/usr/bin/env bash
# End to end through the Linux platform: dozered-simd serves the demo's
# drives as files, loop devices attached with direct I/O make block devices
# of them, and dozered-cli runs against the system's drives; every result is
# compared with the same command on the Virtual platform over the same
# drives (a second copy of VirtualDrives.ini with its own state files).
#
#   tests/e2e/e2e.sh [BUILD_DIR]     (default build/debug)
#
# Needs root, /dev/fuse and losetup; prints one line and passes elsewhere.
# Everything it starts is undone on every way out (the EXIT trap): loop
# devices detached, the daemon stopped (killed if it does not stop), its
# mount point unmounted, the work folder removed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build/debug}")
simd=$build/src/dozered-simd
cli=$build/src/dozered-cli
demo_ini=$(pwd)/demo/VirtualDrives.ini

skip() {
  echo "e2e: skipped: $*"
  exit 0
}
[ "$(id -u)" -eq 0 ] || skip "needs root (a FUSE mount and loop devices)"
[ -c /dev/fuse ] || skip "no /dev/fuse"
command -v losetup >/dev/null || skip "losetup is not installed"
[ -x "$simd" ] || skip "dozered-simd is not built (libfuse3-dev missing?)"

work=$(mktemp -d /tmp/dozered-e2e.XXXXXX)
mnt=$work/mnt
daemon_pid=""
udev_rule=""
loops=()
failures=0
started=$(date +%s%N)

# Stops the daemon: SIGTERM, then SIGKILL if it is still there after 30 s.
# Returns the daemon's exit status (137 when it had to be killed).
stop_daemon() {
  [ -n "$daemon_pid" ] || return 0
  local pid=$daemon_pid status=0
  daemon_pid=""
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" || status=$?
  return "$status"
}

cleanup() {
  local status=$?
  set +e
  for device in "${loops[@]}"; do losetup -d "$device" 2>/dev/null; done
  stop_daemon
  mountpoint -q "$mnt" 2>/dev/null && umount -l "$mnt"
  if [ -n "$udev_rule" ]; then
    rm -f "$udev_rule"
    udevadm control --reload 2>/dev/null
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The demo's drives in two folders, each keeping its own state files:
# `served` for the daemon, `virtual` for the Virtual platform. Volume
# letters are left out on both sides: Linux has none, and without them both
# platforms list the drives in the file's order. Every served drive traces
# its sector accesses.
mkdir -p "$work/served" "$work/virtual" "$work/system" "$mnt"
grep -v '^Volumes=' "$demo_ini" > "$work/virtual/VirtualDrives.ini"
awk '/^\[/ { n++ } { print } /^StateFile=/ { print "TraceFile=drive" n - 1 ".trace" }' \
  "$work/virtual/VirtualDrives.ini" > "$work/served/VirtualDrives.ini"
drives=$(grep -c '^\[' "$work/served/VirtualDrives.ini")

start_daemon() {
  local runs
  runs=$(grep -c "dozered-simd: serving" "$work/simd.log" 2>/dev/null || true)
  "$simd" "$work/served/VirtualDrives.ini" "$mnt" >> "$work/simd.log" 2>&1 &
  daemon_pid=$!
  for _ in $(seq 600); do
    [ "$(grep -c "dozered-simd: serving" "$work/simd.log")" -gt "${runs:-0}" ] && return 0
    kill -0 "$daemon_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "e2e: dozered-simd did not come up:"
  cat "$work/simd.log"
  exit 1
}

attach_loops() {
  loops=()
  local previous=-1 number
  for ((n = 0; n < drives; n++)); do
    loops+=("$(losetup --direct-io=on --find --show "$mnt/drive$n")")
    # The system's disks are listed by name: the drives keep the file's
    # order only on loop devices numbered in that order.
    number=${loops[$n]#/dev/loop}
    if [ "$number" -le "$previous" ]; then
      echo "e2e: loop devices were not given in order (${loops[*]}); detach unused ones and run again"
      exit 1
    fi
    previous=$number
  done
  # Whatever udev does with new disks is over before the tool starts.
  command -v udevadm >/dev/null && udevadm settle --timeout=10 || true
}

detach_loops() {
  for device in "${loops[@]}"; do losetup -d "$device"; done
  loops=()
}

fail() {
  echo "e2e: FAIL: $*"
  failures=$((failures + 1))
}

# compare NAME EXPECTED ACTUAL: equal files, or the difference is shown.
compare() {
  if cmp -s "$2" "$3"; then
    echo "e2e: same on both platforms: $1"
  else
    fail "$1 differs between the Virtual platform (-) and the loop devices (+):"
    diff -u "$2" "$3" | head -40 || true
  fi
}

# udev probes a disk again each time a program closes it after writing.
# Between two dozered-cli runs those reads would reach the drives (and their
# host-read counters) on the loop devices only; the drives served here are
# left out of that.
if command -v udevadm >/dev/null && [ -d /run/udev ]; then
  udev_rule=/run/udev/rules.d/99-dozered-e2e-$$.rules
  mkdir -p /run/udev/rules.d
  echo "ACTION!=\"remove\", SUBSYSTEM==\"block\", KERNEL==\"loop*\", ATTR{loop/backing_file}==\"$mnt/*\", OPTIONS+=\"nowatch\"" > "$udev_rule"
  udevadm control --reload
fi

start_daemon
attach_loops
echo "e2e: ${#loops[@]} drives served on ${loops[*]} (direct I/O: $(for d in "${loops[@]}"; do cat "/sys/block/${d#/dev/}/loop/dio"; done | tr -d '\n'))"

# --- The block devices: each as large as its drive, and a sector written
# with O_DIRECT is read back.
for ((n = 0; n < drives; n++)); do
  expected=$(awk -v f="$mnt/drive$n" '$1 == f { print $2 }' "$work/simd.log")
  actual=$(blockdev --getsz "${loops[$n]}")
  [ "$expected" = "$actual" ] || fail "drive$n: ${loops[$n]} has $actual sectors, the drive $expected"
done
plain=$((drives - 1))
head -c 4096 /dev/urandom > "$work/written"
dd if="$work/written" of="${loops[$plain]}" bs=4096 seek=4096 count=1 oflag=direct status=none
dd if="${loops[$plain]}" of="$work/read" bs=4096 skip=4096 count=1 iflag=direct status=none
cmp -s "$work/written" "$work/read" || fail "a sector written through ${loops[$plain]} is not read back"

# --- dozered-cli on both platforms.
# cli_on SIDE OUT ARGS...: runs dozered-cli on the loop devices (SIDE
# linux: the system's drives) or on the Virtual platform (SIDE virtual);
# standard output to OUT, with the loop device names replaced by the names
# the Virtual platform gives the same drives.
cli_on() {
  local side=$1 out=$2
  shift 2
  local status=0
  if [ "$side" = linux ]; then
    (cd "$work/system" && "$cli" "$@") > "$out.raw" 2> "$out.err" || status=$?
    local sed_args=() n
    for ((n = 0; n < drives; n++)); do sed_args+=(-e "s|\\b${loops[$n]#/dev/}\\b|PHYSICALDRIVE$n|g"); done
    sed "${sed_args[@]}" "$out.raw" > "$out"
    # Loop devices have no SCSI address of their own.
    sed -i -E 's/(PHYSICALDRIVE[0-9]+) \([0-9]+, [0-9]+\)/\1/g' "$out"
  else
    (cd "$work/virtual" && "$cli" --drives "$work/virtual/VirtualDrives.ini" "$@") > "$out" 2> "$out.err" || status=$?
    sed -i -E 's/(PHYSICALDRIVE[0-9]+) \([0-9]+, [0-9]+\)/\1/g' "$out"
  fi
  echo "$status" > "$out.status"
}

# cli_compare NAME ARGS...: the same command on both platforms; its output,
# its exit status and the folders it made in the working folder must be
# equal.
cli_compare() {
  local name=$1
  shift
  local side
  for side in virtual system; do
    find "$work/$side" -mindepth 1 -maxdepth 1 -type d | sort > "$work/$name.$side.folders"
  done
  cli_on virtual "$work/$name.virtual" "$@"
  cli_on linux "$work/$name.linux" "$@"
  compare "dozered-cli $* (exit status)" "$work/$name.virtual.status" "$work/$name.linux.status"
  compare "dozered-cli $*" "$work/$name.virtual" "$work/$name.linux"
  local made_virtual made_linux
  made_virtual=$(find "$work/virtual" -mindepth 1 -maxdepth 1 -type d | sort | comm -13 "$work/$name.virtual.folders" -)
  made_linux=$(find "$work/system" -mindepth 1 -maxdepth 1 -type d | sort | comm -13 "$work/$name.system.folders" -)
  if [ -n "$made_virtual$made_linux" ]; then
    if [ "$(basename "$made_virtual")" != "$(basename "$made_linux")" ]; then
      fail "dozered-cli $* made '$made_virtual' on the Virtual platform and '$made_linux' on the loop devices"
    elif ! diff -r "$made_virtual" "$made_linux" > "$work/$name.folders.diff"; then
      fail "dozered-cli $* wrote different files:"
      head -40 "$work/$name.folders.diff"
    else
      echo "e2e: same on both platforms: the files of dozered-cli $*"
    fi
  fi
}

if [ -x "$cli" ]; then
  # The drives in the scan list: the controller drives of the demo.
  cli_compare scan scan
  listed=$(grep -c . "$work/scan.virtual" || true)
  for ((d = 0; d < listed; d++)); do
    cli_compare "info-$d" info --drive "$d"
    for page in flash-id identify smart card-info erase-count cid mark-bad error-log; do
      cli_compare "read-$page-$d" read "$page" --drive "$d"
    done
  done
  cli_compare flash-write flash write --drive 0 --block 0x40 --page 0 --pattern 0x5A
  cli_compare flash-read flash read --drive 0 --block 0x40 --page 0
  cli_compare dbs dbs --drive 0
  cli_compare save-info save-info --drive 0

  # A loop device detached in the middle of a DBS: the tool holds the disk
  # open for the run, so the kernel only marks it; the run ends as it would
  # have, and the disk goes once the tool lets go.
  trace=$work/served/drive0.trace
  before=$(wc -l < "$trace")
  (cd "$work/system" && "$cli" dbs --drive 0) > "$work/dbs-detached.out" 2>&1 &
  run=$!
  while kill -0 "$run" 2>/dev/null && [ "$(wc -l < "$trace")" -lt $((before + 200)) ]; do sleep 0.05; done
  losetup -d "${loops[0]}"
  status=0
  wait "$run" || status=$?
  [ "$status" -eq 0 ] || fail "the DBS on a disk detached during the run ended with $status"
  for _ in $(seq 100); do [ -e "/sys/block/${loops[0]#/dev/}/loop" ] || break; sleep 0.1; done
  [ ! -e "/sys/block/${loops[0]#/dev/}/loop" ] || fail "${loops[0]} is still attached after the DBS"
  loops=("${loops[@]:1}")
  detach_loops

  # The drive going away in the middle of a DBS (the daemon stopped): the
  # run fails with a result code (exit status 1) and does not hang.
  start_daemon
  attach_loops
  before=$(wc -l < "$trace")
  (cd "$work/system" && timeout 120 "$cli" dbs --drive 0) > "$work/dbs-stopped.out" 2>&1 &
  run=$!
  while kill -0 "$run" 2>/dev/null && [ "$(wc -l < "$trace")" -lt $((before + 200)) ]; do sleep 0.05; done
  stop_daemon || fail "dozered-simd did not stop cleanly with its disks attached"
  status=0
  wait "$run" || status=$?
  [ "$status" -eq 1 ] || fail "the DBS whose drive went away ended with $status (1: a command failed)"
  detach_loops
else
  echo "e2e: dozered-cli is not built: only the block devices were checked"
fi

detach_loops
stop_daemon || fail "dozered-simd did not stop cleanly"
grep -q "dozered-simd: stopped; state files closed" "$work/simd.log" || fail "dozered-simd did not close its drives"
echo "e2e: $failures failures, $((($(date +%s%N) - started) / 1000000)) ms"
[ "$failures" -eq 0 ]
