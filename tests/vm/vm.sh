#!/usr/bin/env bash
# End to end through a real Linux kernel: the Linux platform's SATA, SCSI and
# NVMe paths in a virtual machine. dozered-simd serves three demo drives as
# files; QEMU (software emulation) gives the guest one of them on each of an
# AHCI SATA controller (ide-hd), a virtio SCSI controller (scsi-hd, LUN 0)
# and an NVMe controller, every sector access reaching the daemon (no host
# cache). Debian's own kernel boots a busybox initramfs that holds
# dozered-cli; the guest runs scan, info, every information page (and the
# flash and save-info commands where the program has them) against the
# system's drives and prints the results on the serial console. The same
# commands then run on the Virtual platform over the same three drives, and
# everything must be equal.
#
#   tests/vm/vm.sh [BUILD_DIR]     (default build/debug)
#
# Needs root, /dev/fuse, the package tools (apt-get download, dpkg-deb) and
# QEMU (installed from Debian's packages when missing); prints one line and
# passes elsewhere. The kernel package and busybox are kept under
# BUILD_DIR/vm-cache. Everything it starts is undone on every way out (the
# EXIT trap): QEMU and the daemon stopped, the mount point unmounted, the
# work folder removed.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_root=$(pwd)
build=$(realpath "${1:-build/debug}")
simd=$build/src/dozered-simd
cli=$build/src/dozered-cli
cache=$build/vm-cache
started=$(date +%s)

skip() {
  echo "vm: skipped: $*"
  exit 0
}
[ "$(id -u)" -eq 0 ] || skip "needs root (a FUSE mount, installing QEMU)"
[ -c /dev/fuse ] || skip "no /dev/fuse"
[ -x "$simd" ] || skip "dozered-simd is not built (libfuse3-dev missing?)"
[ -x "$cli" ] || skip "dozered-cli is not built"
command -v dpkg-deb >/dev/null && command -v apt-get >/dev/null || skip "no Debian package tools (apt-get, dpkg-deb)"
if ! command -v qemu-system-x86_64 >/dev/null; then
  echo "vm: installing qemu-system-x86"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-system-x86; } \
    > "$build/vm-apt.log" 2>&1 || skip "qemu-system-x86 cannot be installed (see $build/vm-apt.log)"
fi

work=$(mktemp -d /tmp/dozered-vm.XXXXXX)
mnt=$work/mnt
daemon_pid=""
qemu_pid=""
failures=0

stop_pid() {
  local pid=$1
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null
}

cleanup() {
  local status=$?
  set +e
  [ -n "$qemu_pid" ] && stop_pid "$qemu_pid"
  [ -n "$daemon_pid" ] && stop_pid "$daemon_pid"
  mountpoint -q "$mnt" 2>/dev/null && umount -l "$mnt"
  if [ -n "${DOZERED_VM_KEEP:-}" ]; then echo "vm: work folder kept: $work"; else rm -rf "$work"; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "vm: FAIL: $*"
  failures=$((failures + 1))
}

# section BEGIN END: the lines of the guest's console between two markers.
section() {
  awk -v begin="$1" -v end="$2" '$0 == end { on = 0 } on { print } $0 == begin { on = 1 }' "$work/console"
}

# --- The kernel and busybox, from Debian's packages, kept in the cache.
# fetch_package NAME: the package's files under $cache/NAME (downloaded and
# unpacked once).
fetch_package() {
  local name=$1
  [ -d "$cache/$name" ] && return 0
  mkdir -p "$cache/download"
  if ! (cd "$cache/download" && apt-get download -q "$name" >/dev/null 2>&1); then
    apt-get update -qq >/dev/null 2>&1 || true
    (cd "$cache/download" && apt-get download -q "$name" >/dev/null 2>&1) || skip "package $name cannot be downloaded"
  fi
  rm -rf "$cache/$name.tmp"
  mkdir -p "$cache/$name.tmp"
  # Of a kernel only the image and the storage drivers' modules are needed.
  dpkg-deb --fsys-tarfile "$cache/download/${name}"_*.deb |
    tar -x -C "$cache/$name.tmp" --wildcards './bin/*' './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/scsi/*' \
      './lib/modules/*/kernel/drivers/ata/*' './lib/modules/*/kernel/drivers/nvme/*' \
      './lib/modules/*/kernel/drivers/virtio/*' './lib/modules/*/kernel/crypto/*' './lib/modules/*/kernel/lib/*' \
      './lib/modules/*/kernel/block/*' 2>/dev/null || true
  mv "$cache/$name.tmp" "$cache/$name"
  rm -f "$cache/download/${name}"_*.deb
}
kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
if [ -z "$kernel_package" ]; then
  apt-get update -qq >/dev/null 2>&1 || true
  kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
fi
[ -n "$kernel_package" ] || skip "no linux-image-amd64 package known to apt"
fetch_package "$kernel_package"
fetch_package busybox-static
kernel_root=$cache/$kernel_package
vmlinuz=$(ls "$kernel_root"/boot/vmlinuz-*)
modules_root=$(ls -d "$kernel_root"/lib/modules/*)
busybox=$cache/busybox-static/bin/busybox
[ -x "$busybox" ] || skip "busybox-static has no bin/busybox"

# module_path NAME: the module's file (- and _ stand for each other).
module_path() {
  local pattern
  pattern=$(echo "$1" | sed 's/[-_]/[-_]/g')
  find "$modules_root/kernel" -regextype posix-extended -regex ".*/$pattern\.ko" | head -1
}
# add_module NAME: the module and, before it, everything it depends on, in
# the order they are to be loaded.
modules=()
add_module() {
  local name=$1 path dependency
  path=$(module_path "$name")
  [ -n "$path" ] || return 0  # built into the kernel
  for listed in "${modules[@]}"; do [ "$listed" = "$path" ] && return 0; done
  for dependency in $(tr '\0' '\n' < "$path" | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$dependency"
  done
  modules+=("$path")
}
# The checksums the block layer's integrity code asks the crypto API for
# come first: nothing could load them on demand.
for name in crct10dif_generic crc64_rocksoft_generic crc-t10dif crc64-rocksoft \
  sd_mod sg libata libahci ahci virtio_pci virtio_scsi nvme; do
  add_module "$name"
done

# --- The drives: the NVMe one, a SATA one and the USB (SCSI) one of the
# demo, in the order the guest lists them (nvme0n1, then sda on the AHCI
# controller, then sdb on the SCSI controller). Each side keeps its own state
# files; volume letters are left out.
mkdir -p "$work/served" "$work/virtual" "$work/virtual-run" "$mnt"
pick_drive() {
  awk -v want="$1" '/^\[/ { keep = ($0 == want) } keep && !/^Volumes=/ && !/^;/' "$source_root/demo/VirtualDrives.ini"
}
{
  pick_drive "[VE4810VO NVMe SSD, commands at 0x0789]"
  pick_drive "[VE4810VO SATA SSD, normal firmware]"
  pick_drive "[VE4810VO USB SSD, MPISP code]"
} > "$work/virtual/VirtualDrives.ini"
# Every served drive traces its sector accesses (kept with DOZERED_VM_KEEP).
awk '/^\[/ { n++ } { print } /^StateFile=/ { print "TraceFile=drive" n - 1 ".trace" }' \
  "$work/virtual/VirtualDrives.ini" > "$work/served/VirtualDrives.ini"
[ "$(grep -c '^\[' "$work/virtual/VirtualDrives.ini")" -eq 3 ] || { echo "vm: the demo's drives were not found"; exit 1; }

"$simd" "$work/served/VirtualDrives.ini" "$mnt" > "$work/simd.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 600); do
  grep -q "dozered-simd: serving" "$work/simd.log" && break
  kill -0 "$daemon_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q "dozered-simd: serving" "$work/simd.log" || { echo "vm: dozered-simd did not come up:"; cat "$work/simd.log"; exit 1; }

# --- The commands, in the order both sides run them: NAME, then the
# arguments.
commands=$work/commands
{
  echo "scan scan"
  for d in 0 1 2; do
    echo "info-$d info --drive $d"
    for page in flash-id identify smart card-info erase-count cid mark-bad error-log; do
      echo "read-$page-$d read $page --drive $d"
    done
  done
  # Save Info only reads, so it runs among the reads: after a command that
  # changes a drive the Virtual side keeps state files, and each of its
  # starts then counts a power cycle that the guest's drives never see.
  if "$cli" --help 2>&1 | grep -q '^ *save-info'; then
    for d in 0 1 2; do echo "save-info-$d save-info --drive $d"; done
  fi
  if "$cli" --help 2>&1 | grep -q '^ *flash'; then
    for d in 0 1 2; do
      echo "flash-write-$d flash write --drive $d --block 0040 --page 0003 --fill 5A"
      echo "flash-read-$d flash read --drive $d --block 0040 --page 0003"
    done
  fi
} > "$commands"
# DOZERED_VM_COMMANDS (a file of such lines) runs other commands instead.
[ -n "${DOZERED_VM_COMMANDS:-}" ] && cp "$DOZERED_VM_COMMANDS" "$commands"

# --- The initramfs: busybox, the modules, dozered-cli with its libraries and
# the files it reads beside itself, and the guest's script.
root=$work/initramfs
mkdir -p "$root"/{bin,sbin,dev,proc,sys,tmp,work,modules,opt/dozered}
cp "$busybox" "$root/bin/busybox"
for tool in sh mount insmod sleep cat echo base64 tar gzip ls find poweroff sync mkdir seq sed tr dmesg; do
  ln -s busybox "$root/bin/$tool"
done
: > "$root/modules/order"
for path in "${modules[@]}"; do
  cp "$path" "$root/modules/"
  basename "$path" >> "$root/modules/order"
done
cp "$cli" "$root/opt/dozered/dozered-cli"
# The files the build puts beside the program: configuration, code images
# and their folders.
for entry in "$build/src"/*; do
  case $(basename "$entry") in
    CMakeFiles | layer_roots) ;;
    *.ini | *.bin) cp "$entry" "$root/opt/dozered/" ;;
    *) [ -d "$entry" ] && cp -r "$entry" "$root/opt/dozered/" ;;
  esac
done
for library in $(ldd "$cli" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
cp "$commands" "$root/commands"
cat > "$root/init" <<'GUEST'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
echo 1 > /proc/sys/kernel/printk
for module in $(cat /modules/order); do
  insmod "/modules/$module" || echo "@@@MODULE-FAILED $module"
done
# The three disks: up to 60 s for the controllers to find them.
for _ in $(seq 600); do
  [ -b /dev/nvme0n1 ] && [ -b /dev/sda ] && [ -b /dev/sdb ] && break
  sleep 0.1
done
echo "@@@DISKS $(ls /sys/block | tr '\n' ' ')"
for disk in /sys/block/*; do
  echo "@@@DEVICE ${disk##*/} $(ls -l "$disk/device" 2>/dev/null | sed 's/.*-> //')"
done
cd /work
while read -r name arguments; do
  echo "@@@BEGIN $name"
  /opt/dozered/dozered-cli $arguments > /tmp/out 2> /tmp/err
  status=$?
  base64 /tmp/out
  echo "@@@STDERR $name"
  base64 /tmp/err
  echo "@@@END $name $status"
done < /commands
echo "@@@FOLDERS"
tar -czf - . | base64
echo "@@@KERNEL"
dmesg | base64
echo "@@@DONE"
sync
poweroff -f
GUEST
chmod +x "$root/init"
cpio=(cpio --quiet)
command -v cpio >/dev/null || cpio=("$busybox" cpio)
(cd "$root" && find . | "${cpio[@]}" -o -H newc) | gzip -1 > "$work/initramfs.gz"

# --- The virtual machine. Software emulation on a busy machine runs the
# guest's clock unevenly: the kernel is told not to check its timer (it
# would panic) nor to report stalls. cache=none: every sector access goes to the
# daemon as the guest sends it. QEMU's image locks are left off: the files
# are the daemon's, nobody else opens them.
drive() {
  echo "if=none,id=$1,file=$mnt/$2,format=raw,cache=none,aio=threads,file.locking=off"
}
echo "vm: booting $(basename "$vmlinuz") with ${#modules[@]} modules under software emulation"
timeout 1500 qemu-system-x86_64 -accel tcg -machine pc -smp 1 -m 512 -nodefaults -no-reboot -display none \
  -serial "file:$work/console.log" \
  -kernel "$vmlinuz" -initrd "$work/initramfs.gz" -append "console=ttyS0 panic=-1 loglevel=4 no_timer_check rcupdate.rcu_cpu_stall_suppress=1" \
  -drive "$(drive nvme drive0)" -device nvme,drive=nvme,serial=dozered-nvme \
  -device ahci,id=ahci -drive "$(drive sata drive1)" -device ide-hd,bus=ahci.0,drive=sata \
  -device virtio-scsi-pci,id=scsi -drive "$(drive scsi drive2)" -device scsi-hd,bus=scsi.0,drive=scsi,lun=0 \
  > "$work/qemu.log" 2>&1 &
qemu_pid=$!
qemu_status=0
wait "$qemu_pid" || qemu_status=$?
qemu_pid=""
tr -d '\r' < "$work/console.log" > "$work/console"
if [ "$qemu_status" -ne 0 ] || ! grep -q '^@@@DONE' "$work/console"; then
  echo "vm: the guest did not finish (QEMU exit status $qemu_status):"
  cat "$work/qemu.log"
  tail -60 "$work/console"
  exit 1
fi
for module in $(sed -n 's/^@@@MODULE-FAILED //p' "$work/console"); do fail "the module $module did not load"; done
echo "vm: guest disks: $(sed -n 's/^@@@DISKS //p' "$work/console")"
section "@@@KERNEL" "@@@DONE" | base64 -d > "$work/kernel.log"
echo "vm: the guest ran its commands; $(($(date +%s) - started)) s since the start (kernel fetched, machine booted)"

# --- The Virtual platform, the same commands in the same order.
# Every start of the Virtual platform powers its drives on again (a drive
# that keeps a state file counts it, and its error log shows it), while the
# daemon powered them on once for the whole guest. The commands that only
# read run on drives without state files, which start as they arrived each
# time, as the daemon's drives did; those that change a drive (flash, and
# the commands after them) keep state files.
grep -v '^StateFile=' "$work/virtual/VirtualDrives.ini" > "$work/virtual/Unchanged.ini"
guest_names=(nvme0n1 sda sdb)
drives_ini=$work/virtual/Unchanged.ini
while read -r name arguments; do
  case $name in flash-*) drives_ini=$work/virtual/VirtualDrives.ini ;; esac
  status=0
  # shellcheck disable=SC2086
  (cd "$work/virtual-run" && "$cli" --drives "$drives_ini" $arguments) \
    > "$work/$name.virtual" 2> "$work/$name.virtual.err" || status=$?
  sed -i -E 's/(PHYSICALDRIVE[0-9]+) \([0-9]+, [0-9]+\)/\1/g' "$work/$name.virtual"
  section "@@@BEGIN $name" "@@@STDERR $name" | base64 -d > "$work/$name.guest.raw"
  sed_args=()
  for n in 0 1 2; do sed_args+=(-e "s|\\b${guest_names[$n]}\\b|PHYSICALDRIVE$n|g"); done
  sed "${sed_args[@]}" "$work/$name.guest.raw" | sed -E 's/(PHYSICALDRIVE[0-9]+) \([0-9]+, [0-9]+\)/\1/g' > "$work/$name.guest"
  guest_status=$(sed -n "s/^@@@END $name //p" "$work/console")
  if [ "$status" != "$guest_status" ]; then
    fail "dozered-cli $arguments: exit status $guest_status in the guest, $status on the Virtual platform"
    section "@@@STDERR $name" "@@@END $name $guest_status" | base64 -d | head -20
  fi
  if cmp -s "$work/$name.virtual" "$work/$name.guest"; then
    echo "vm: same in the guest: dozered-cli $arguments"
  else
    fail "dozered-cli $arguments differs between the Virtual platform (-) and the guest (+):"
    diff -u "$work/$name.virtual" "$work/$name.guest" | head -40 || true
  fi
done < "$commands"

# The folders the commands made (save-info's reports).
mkdir -p "$work/guest-run"
section "@@@FOLDERS" "@@@KERNEL" | base64 -d | tar -xzf - -C "$work/guest-run"
# The guest's drives stay powered on from one command to the next, so the
# host-read counters of their SMART data (0xC3, 0xF2) run on over the
# guest's earlier commands, while each start of the Virtual platform begins
# afresh. The saved SMART files are left out here; the end-to-end run
# compares them, with the drives switched off and on between commands.
if diff -r -x 'SmartData.*' "$work/virtual-run" "$work/guest-run" > "$work/folders.diff"; then
  echo "vm: same in the guest: the files the commands wrote ($(find "$work/guest-run" -type f ! -name 'SmartData.*' | wc -l) files; SmartData.* left out)"
else
  fail "the commands wrote different files:"
  head -40 "$work/folders.diff"
fi

stop_pid "$daemon_pid"
daemon_pid=""
echo "vm: $failures failures, $(($(date +%s) - started)) s"
[ "$failures" -eq 0 ]
