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
// link, not stacked on other block devices (nothing under `slaves/`), and
// no RAM disk, zram, md, dm, bcache, nbd or optical drive. Loop devices are
// listed while a backing file is attached.
std::vector<LinuxBlockDisk> ListLinuxBlockDisks(const std::string& sysBlockRoot, const std::string& devRoot);

// SCSI address of a disk from its sysfs device link (host:channel:target:lun);
// the host is the port.
bool ReadLinuxScsiAddress(const std::string& sysBlockRoot, const std::string& name, ScsiAddress& address);

// "nvme0n1" -> devRoot + "nvme0"; empty for names that are no NVMe namespace.
std::string LinuxNvmeControllerPath(const std::string& devicePath, const std::string& devRoot);

// Less-than of kernel names with digit runs compared as numbers (nvme2n1 < nvme10n1).
bool LinuxNameLess(const std::string& a, const std::string& b);

}  // namespace dozered

#endif  // __linux__
