#include "simd/drive_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "sim/virtual_drives_ini.h"

namespace dozered::simd {

namespace {

int64_t Errno(sim::SimulatedDrive::AccessResult result) {
  switch (result) {
    case sim::SimulatedDrive::AccessResult::kOk: return 0;
    case sim::SimulatedDrive::AccessResult::kGone: return -ENXIO;
    case sim::SimulatedDrive::AccessResult::kMediumError:
    case sim::SimulatedDrive::AccessResult::kOutOfRange: break;
  }
  return -EIO;
}

}  // namespace

bool DriveFiles::Load(const std::string& iniPath, std::string& problem, std::vector<std::string>& notes) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path path(iniPath);
  if (!fs::is_regular_file(path, error)) {
    problem = iniPath + " is not there";
    return false;
  }
  const uint64_t size = fs::file_size(path, error);
  if (error || size > kMaxIniBytes) {
    problem = iniPath + " is larger than 1024 KB and was not read";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    problem = iniPath + " cannot be read";
    return false;
  }
  if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
    problem = iniPath + " is saved as UTF-16 and was not read; save it as ANSI or UTF-8";
    return false;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  LoadText(text, path.parent_path().string(), notes);
  if (drives_.empty()) {
    problem = iniPath + " declares no drive";
    return false;
  }
  for (size_t i = 0; i < drives_.size(); ++i) {
    const std::string& note = drives_[i].drive->stateNote();
    if (!note.empty()) notes.push_back(drives_[i].name + ": " + note);
  }
  return true;
}

void DriveFiles::LoadText(const std::string& text, const std::string& baseDirectory,
                          std::vector<std::string>& notes) {
  size_t declared = 0;
  std::vector<sim::DriveDeclaration> declarations =
      sim::ParseVirtualDrivesIni(text, baseDirectory, kMaxDrives, &declared);
  if (declared > declarations.size()) {
    notes.push_back("the file declares " + std::to_string(declared) + " drives; only the first " +
                    std::to_string(declarations.size()) + " are served");
  }
  for (sim::DriveDeclaration& d : declarations) {
    ServedDrive served;
    served.name = "drive" + std::to_string(drives_.size());
    served.label = d.config.label;
    served.drive = std::make_unique<sim::SimulatedDrive>(d.config);
    drives_.push_back(std::move(served));
  }
}

int DriveFiles::Find(const std::string& name) const {
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (drives_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

uint64_t DriveFiles::SizeBytes(size_t index) const {
  return uint64_t{drives_[index].drive->capacity()} * kSectorBytes;
}

int64_t DriveFiles::Sectors(size_t index, uint64_t offset, size_t size, uint64_t& lba, uint32_t& count) const {
  if (offset % kSectorBytes != 0 || size % kSectorBytes != 0) return -EINVAL;
  const uint64_t capacity = drives_[index].drive->capacity();
  lba = offset / kSectorBytes;
  const uint64_t wanted = size / kSectorBytes;
  if (wanted > UINT32_MAX) return -EINVAL;
  count = lba >= capacity ? 0 : static_cast<uint32_t>(std::min<uint64_t>(wanted, capacity - lba));
  return 0;
}

int64_t DriveFiles::Read(size_t index, uint64_t offset, size_t size, uint8_t* out) {
  uint64_t lba = 0;
  uint32_t count = 0;
  if (const int64_t error = Sectors(index, offset, size, lba, count); error != 0) return error;
  if (count == 0) return 0;
  const int64_t error = Errno(drives_[index].drive->ReadSectors(lba, count, out));
  return error != 0 ? error : int64_t{count} * kSectorBytes;
}

int64_t DriveFiles::Write(size_t index, uint64_t offset, size_t size, const uint8_t* in) {
  uint64_t lba = 0;
  uint32_t count = 0;
  if (const int64_t error = Sectors(index, offset, size, lba, count); error != 0) return error;
  if (size == 0) return 0;
  if (count == 0) return -ENOSPC;
  const int64_t error = Errno(drives_[index].drive->WriteSectors(lba, count, in));
  return error != 0 ? error : int64_t{count} * kSectorBytes;
}

int DriveFiles::Flush(size_t index) { return drives_[index].drive->FlushCache() ? 0 : -EIO; }

void DriveFiles::PowerCycle(std::vector<std::string>& notes) {
  for (auto it = drives_.rbegin(); it != drives_.rend(); ++it) {
    const sim::DriveConfig config = it->drive->config();
    it->drive.reset();
    it->drive = std::make_unique<sim::SimulatedDrive>(config);
  }
  for (const ServedDrive& served : drives_) {
    if (!served.drive->stateNote().empty()) notes.push_back(served.name + ": " + served.drive->stateNote());
  }
}

void DriveFiles::Close() {
  while (!drives_.empty()) drives_.pop_back();
}

}  // namespace dozered::simd
