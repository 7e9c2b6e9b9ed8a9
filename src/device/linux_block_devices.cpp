#ifdef __linux__

#include "device/linux_block_devices.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace dozered {

namespace fs = std::filesystem;

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Kernel name prefixes of block devices that are no disk of their own:
// RAM disks, software RAID and device-mapper volumes, caches and network
// block devices (each stacked on or standing for other storage), optical
// drives.
constexpr const char* kNotDisks[] = {"ram", "zram", "md", "dm-", "bcache", "nbd", "sr"};

bool HasEntries(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  return !ec && it != fs::directory_iterator();
}

// A disk the kernel keeps without a device node: with NVMe multipath, the
// disk of each path (nvme0c1n1) behind the namespace's own disk.
bool IsHidden(const fs::path& entry, const std::string& name) {
  std::ifstream file(entry / "hidden");
  int hidden = 0;
  if (file >> hidden && hidden != 0) return true;
  unsigned controller = 0;
  unsigned path = 0;
  unsigned ns = 0;
  char extra = 0;
  return std::sscanf(name.c_str(), "nvme%uc%un%u%c", &controller, &path, &ns, &extra) == 3;
}

// The SCSI peripheral device type sysfs gives for the device, -1 when none.
int ScsiDeviceType(const fs::path& entry) {
  std::ifstream file(entry / "device" / "type");
  int type = -1;
  if (!(file >> type)) return -1;
  return type;
}

// Only real disks are listed: a stacked or virtual device would pass the
// controller's signature check through the disk below it and then send the
// command block (and the restore) to every disk it spans, or show one drive
// twice. Loop devices are the exception: an attached one serves an image
// (the tests and the simulated drives use them); an idle one is skipped.
bool IsLeftOut(const fs::path& entry, const std::string& name) {
  std::error_code ec;
  if (StartsWith(name, "loop")) return !fs::exists(entry / "loop" / "backing_file", ec);
  for (const char* prefix : kNotDisks) {
    if (StartsWith(name, prefix)) return true;
  }
  // Hardware behind it: the device link (a symbolic link; its target is
  // not followed here).
  if (!fs::exists(fs::symlink_status(entry / "device", ec))) return true;
  // Built on other block devices.
  if (HasEntries(entry / "slaves")) return true;
  if (IsHidden(entry, name)) return true;
  constexpr int kScsiTypeOptical = 5;
  return ScsiDeviceType(entry) == kScsiTypeOptical;
}

// Disks named by letters (sda ... sdz, sdaa) sort as the kernel counts
// them: shorter letter runs first.
std::string SortKey(const std::string& name) {
  for (const char* family : {"sd", "vd", "hd", "xvd"}) {
    const size_t length = std::strlen(family);
    if (name.size() <= length || name.compare(0, length, family) != 0) continue;
    const std::string letters = name.substr(length);
    if (std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
      return std::string(family) + std::to_string(letters.size()) + "_" + letters;
    }
  }
  return name;
}

bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace

bool LinuxNameLess(const std::string& a, const std::string& b) { return NaturalLess(SortKey(a), SortKey(b)); }

namespace {

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      size_t endA = i;
      size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
      std::string runA = a.substr(i, endA - i);
      std::string runB = b.substr(j, endB - j);
      runA.erase(0, std::min(runA.find_first_not_of('0'), runA.size() - 1));
      runB.erase(0, std::min(runB.find_first_not_of('0'), runB.size() - 1));
      if (runA.size() != runB.size()) return runA.size() < runB.size();
      if (runA != runB) return runA < runB;
      i = endA;
      j = endB;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}

}  // namespace

std::vector<LinuxBlockDisk> ListLinuxBlockDisks(const std::string& sysBlockRoot, const std::string& devRoot) {
  std::vector<LinuxBlockDisk> disks;
  std::error_code ec;
  for (fs::directory_iterator it(sysBlockRoot, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || IsLeftOut(it->path(), name)) continue;
    disks.push_back({name, devRoot + name});
  }
  std::sort(disks.begin(), disks.end(),
            [](const LinuxBlockDisk& a, const LinuxBlockDisk& b) { return LinuxNameLess(a.name, b.name); });
  return disks;
}

bool ReadLinuxScsiAddress(const std::string& sysBlockRoot, const std::string& name, ScsiAddress& address) {
  if (name.empty()) return false;
  std::error_code ec;
  const fs::path link = fs::read_symlink(fs::path(sysBlockRoot) / name / "device", ec);
  if (ec) return false;
  const std::string hctl = link.filename().string();
  int host = 0;
  int channel = 0;
  int target = 0;
  int lun = 0;
  char extra = 0;
  if (std::sscanf(hctl.c_str(), "%d:%d:%d:%d%c", &host, &channel, &target, &lun, &extra) != 4) return false;
  if (host < 0 || target < 0 || lun < 0) return false;
  address.port = host;
  address.target = target;
  address.lun = lun;
  return true;
}

std::string LinuxNvmeAdminPath(const std::string& sysBlockRoot, const std::string& devicePath) {
  const std::string name = fs::path(devicePath).filename().string();
  if (name.empty() || name[0] == '.') return {};
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(sysBlockRoot) / name / "nsid", ec)) return {};
  return devicePath;
}

}  // namespace dozered

#endif  // __linux__
