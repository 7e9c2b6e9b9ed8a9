// The whole disks of a Linux system as /sys/block lists them, and what sysfs
// tells about each.
#pragma once

#ifdef __linux__

#include <string>
#include <vector>

#include "device/storage_platform.h"

namespace dozered {

struct LinuxBlockDisk {
  std::string name;  // kernel name: sda, nvme0n1, loop0
  std::string path;  // device node
};

// Whole disks under `sysBlockRoot` (normally "/sys/block") in a stable order
// (names compared with their digit runs as numbers), with device nodes under
// `devRoot` ("/dev/"). Only real disks are listed: those with a `device`
// link, not stacked on other block devices (nothing under `slaves/`), not
// hidden (the per-path disks of NVMe multipath, which have no device node),
// and no RAM disk, zram, md, dm, bcache, nbd or optical drive. Loop devices
// are listed while a backing file is attached.
std::vector<LinuxBlockDisk> ListLinuxBlockDisks(const std::string& sysBlockRoot, const std::string& devRoot);

// SCSI address of a disk from its sysfs device link (host:channel:target:lun);
// the host is the port.
bool ReadLinuxScsiAddress(const std::string& sysBlockRoot, const std::string& name, ScsiAddress& address);

// Where NVMe admin commands for the disk at `devicePath` go: the namespace
// device itself, whose driver hands them to its controller (with native
// multipath, to a live path's controller: a controller named after the
// namespace, nvme1n1 -> nvme1, may be another subsystem's). Empty when sysfs
// does not show the disk as an NVMe namespace (it has no `nsid`).
std::string LinuxNvmeAdminPath(const std::string& sysBlockRoot, const std::string& devicePath);

// Less-than of kernel names with digit runs compared as numbers (nvme2n1 < nvme10n1).
bool LinuxNameLess(const std::string& a, const std::string& b);

}  // namespace dozered

#endif  // __linux__
