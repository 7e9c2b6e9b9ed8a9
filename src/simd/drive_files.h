// The simulated drives of a VirtualDrives.ini as files: drive0, drive1, ...
// in the file's order (the disk numbers the Virtual platform gives them),
// each as large as its drive. A read or write of the file is one sector
// access of the drive, passed on whole and in the order it came: a loop
// device attached with direct I/O hands the host's requests through as they
// are, so the drive sees what a real disk behind that host would see.
//
// What a disk cannot do, the file cannot either: transfers that are not
// whole, aligned 512-byte sectors are refused, and a write past the end
// fails. A host cache flush (fsync of the file, a flush through the loop
// device) is the drive's cache flush.
//
// No FUSE here: the daemon's main binds these calls to the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/simulated_drive.h"

namespace dozered::simd {

inline constexpr uint32_t kSectorBytes = 512;
// The most drives the tool lists; the daemon serves no more, so that file
// driveN and the tool's disk N are the same drive.
inline constexpr size_t kMaxDrives = 32;
// No VirtualDrives.ini needs more than a few kilobytes.
inline constexpr uint64_t kMaxIniBytes = 1024 * 1024;

struct ServedDrive {
  std::string name;   // the file's name
  std::string label;  // the section's name
  std::unique_ptr<sim::SimulatedDrive> drive;
};

class DriveFiles {
 public:
  DriveFiles() = default;
  DriveFiles(DriveFiles&&) = default;
  DriveFiles& operator=(DriveFiles&&) = default;

  // The drives `iniPath` declares, with their state files opened; false with
  // `problem` set when the file cannot be used (missing, too large, UTF-16,
  // no drive in it). More than kMaxDrives sections: the first ones are
  // served and `notes` says so.
  bool Load(const std::string& iniPath, std::string& problem, std::vector<std::string>& notes);
  // The drives of an ini text (relative file names against `baseDirectory`).
  void LoadText(const std::string& text, const std::string& baseDirectory, std::vector<std::string>& notes);

  size_t Count() const { return drives_.size(); }
  const ServedDrive& Drive(size_t index) const { return drives_[index]; }
  // Index of the file called `name`; -1 when there is none.
  int Find(const std::string& name) const;
  uint64_t SizeBytes(size_t index) const;

  // One sector access for a read of `size` bytes at `offset` into `out`:
  // the bytes read (0 at and beyond the end, fewer where the request runs
  // past it) or a negative errno: EINVAL when not whole aligned sectors,
  // EIO when the drive fails the access, ENXIO when it is gone.
  int64_t Read(size_t index, uint64_t offset, size_t size, uint8_t* out);
  // Likewise for a write of `size` bytes from `in`; a request running past
  // the end writes what fits, one starting at or past it fails with ENOSPC.
  int64_t Write(size_t index, uint64_t offset, size_t size, const uint8_t* in);
  // The drive's cache flush: 0 or -EIO.
  int Flush(size_t index);

  // Switches every drive off and on again: each is closed (its state
  // journal with it) and started anew from its state file, as the Virtual
  // platform starts its drives at each start of the tool. What the drives
  // kept only in RAM is gone; their sizes stay. The drives' state notes go
  // to `notes`.
  void PowerCycle(std::vector<std::string>& notes);

  // Closes every drive (and its state journal), last to first.
  void Close();

 private:
  // The sectors of a request that lie on the drive; a negative errno when
  // the request is not whole aligned sectors.
  int64_t Sectors(size_t index, uint64_t offset, size_t size, uint64_t& lba, uint32_t& count) const;

  std::vector<ServedDrive> drives_;
};

}  // namespace dozered::simd
