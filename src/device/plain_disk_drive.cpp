#include "device/plain_disk_drive.h"

#include <algorithm>
#include <cstring>

#include "device/scsi_cdb.h"

namespace dozered {

namespace {

constexpr uint32_t kSector = 512;

constexpr uint8_t kSenseKeyMediumError = 0x03;
constexpr uint8_t kSenseKeyIllegalRequest = 0x05;
constexpr uint8_t kAscUnrecoveredReadError = 0x11;
constexpr uint8_t kAscWriteError = 0x0C;
constexpr uint8_t kAscInvalidOpcode = 0x20;
constexpr uint8_t kAscLbaOutOfRange = 0x21;
constexpr uint8_t kAscInvalidFieldInCdb = 0x24;

void CheckCondition(ScsiOutcome& outcome, uint8_t key, uint8_t asc) {
  outcome.status = kScsiStatusCheckCondition;
  outcome.senseLength = scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), key, asc);
}

// ATA strings: two characters per word, first character in the high byte.
void PutAtaString(uint8_t* words, size_t wordCount, const std::string& text) {
  for (size_t i = 0; i < wordCount * 2; ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    words[i ^ 1] = static_cast<uint8_t>(c);
  }
}

void PutWord(uint8_t* data, int word, uint16_t value) {
  data[word * 2] = static_cast<uint8_t>(value);
  data[word * 2 + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

PlainDiskDrive::PlainDiskDrive(PlainDiskOptions options) : options_(std::move(options)) {
  sectorCount_ = options_.sectorCount;
  if (options_.imagePath.empty()) return;
  file_.open(options_.imagePath, std::ios::in | std::ios::out | std::ios::binary);
  if (!file_.is_open()) {
    file_.open(options_.imagePath, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  }
  if (!file_.is_open()) {
    usable_ = false;
    return;
  }
  file_.seekg(0, std::ios::end);
  const std::streamoff size = file_.tellg();
  if (size >= static_cast<std::streamoff>(kSector)) {
    sectorCount_ = static_cast<uint32_t>(std::min<std::streamoff>(size / kSector, 0xFFFFFFFF));
  }
}

bool PlainDiskDrive::ReadSector(uint32_t lba, uint8_t* sector) {
  if (lba >= sectorCount_ || !usable_) return false;
  if (!file_.is_open()) {
    const auto it = sectors_.find(lba);
    if (it == sectors_.end()) {
      std::memset(sector, 0, kSector);
    } else {
      std::memcpy(sector, it->second.data(), kSector);
    }
    return true;
  }
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(lba) * kSector);
  file_.read(reinterpret_cast<char*>(sector), kSector);
  const std::streamsize got = file_.gcount();
  // Sectors past the end of a growing image read as zeros.
  if (got < static_cast<std::streamsize>(kSector)) std::memset(sector + got, 0, kSector - static_cast<size_t>(got));
  file_.clear();
  return true;
}

bool PlainDiskDrive::WriteSector(uint32_t lba, const uint8_t* sector) {
  if (lba >= sectorCount_ || !usable_) return false;
  if (!file_.is_open()) {
    std::memcpy(sectors_[lba].data(), sector, kSector);
    return true;
  }
  file_.clear();
  file_.seekp(static_cast<std::streamoff>(lba) * kSector);
  file_.write(reinterpret_cast<const char*>(sector), kSector);
  file_.flush();
  return static_cast<bool>(file_);
}

bool PlainDiskDrive::TouchesFailingSector(uint32_t lba, uint32_t count) const {
  const auto it = options_.failingSectors.lower_bound(lba);
  return it != options_.failingSectors.end() && uint64_t{*it} < uint64_t{lba} + count;
}

bool PlainDiskDrive::Transfer(uint32_t lba, uint32_t count, uint8_t* data, bool write) {
  for (uint32_t i = 0; i < count; ++i) {
    const bool ok = write ? WriteSector(lba + i, data + size_t{i} * kSector) : ReadSector(lba + i, data + size_t{i} * kSector);
    if (!ok) return false;
  }
  return true;
}

bool PlainDiskDrive::ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) {
  if (!usable_) return false;
  if (command.length != 0 && command.data == nullptr) return false;
  outcome = ScsiOutcome{};
  const uint8_t* cdb = command.cdb;
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
      return true;
    case 0x12: {  // INQUIRY
      uint8_t reply[96] = {};
      reply[0] = options_.deviceType & 0x1F;
      reply[1] = options_.removable ? 0x80 : 0x00;
      reply[2] = 0x05;
      reply[3] = 0x02;
      reply[4] = sizeof(reply) - 5;
      scsi::PutPaddedText(reply + 8, 8, options_.vendor);
      scsi::PutPaddedText(reply + 16, 16, options_.product);
      scsi::PutPaddedText(reply + 32, 4, options_.revision);
      const uint32_t allocation = cdb[4];
      std::memcpy(command.data, reply, std::min<uint32_t>({allocation, command.length, sizeof(reply)}));
      return true;
    }
    case 0x25: {  // READ CAPACITY(10)
      if (command.length < 8) {
        CheckCondition(outcome, kSenseKeyIllegalRequest, kAscInvalidFieldInCdb);
        return true;
      }
      const uint32_t last = sectorCount_ == 0 ? 0 : sectorCount_ - 1;
      const uint8_t reply[8] = {static_cast<uint8_t>(last >> 24), static_cast<uint8_t>(last >> 16),
                                static_cast<uint8_t>(last >> 8),  static_cast<uint8_t>(last),
                                0, 0, 0x02, 0x00};
      std::memcpy(command.data, reply, sizeof(reply));
      return true;
    }
    case scsi::kOpRead10:
    case scsi::kOpWrite10: {
      const bool write = cdb[0] == scsi::kOpWrite10;
      const uint32_t lba = scsi::ReadWrite10Lba(cdb);
      const uint32_t count = scsi::ReadWrite10Count(cdb);
      if (command.dataIn == write || command.length < count * kSector) {
        CheckCondition(outcome, kSenseKeyIllegalRequest, kAscInvalidFieldInCdb);
      } else if (uint64_t{lba} + count > sectorCount_) {
        CheckCondition(outcome, kSenseKeyIllegalRequest, kAscLbaOutOfRange);
      } else if (TouchesFailingSector(lba, count) || !Transfer(lba, count, command.data, write)) {
        CheckCondition(outcome, kSenseKeyMediumError, write ? kAscWriteError : kAscUnrecoveredReadError);
      }
      return true;
    }
    default:
      CheckCondition(outcome, kSenseKeyIllegalRequest, kAscInvalidOpcode);
      return true;
  }
}

void PlainDiskDrive::FillIdentify(uint8_t* data) const {
  std::memset(data, 0, kSector);
  const uint32_t lba28 = std::min<uint32_t>(sectorCount_, 0x0FFFFFFF);
  PutWord(data, 0, 0x0040);
  PutAtaString(data + 10 * 2, 10, options_.serial);
  PutAtaString(data + 23 * 2, 4, options_.revision);
  PutAtaString(data + 27 * 2, 20, options_.vendor + " " + options_.product);
  PutWord(data, 47, 0x8001);
  PutWord(data, 49, 0x0300);  // LBA and DMA supported
  PutWord(data, 53, 0x0006);
  PutWord(data, 60, static_cast<uint16_t>(lba28));
  PutWord(data, 61, static_cast<uint16_t>(lba28 >> 16));
  PutWord(data, 63, 0x0407);
  PutWord(data, 80, 0x00F0);
  PutWord(data, 88, 0x203F);
  // Integrity word: signature 0xA5 and a checksum that makes all bytes sum to 0.
  data[510] = 0xA5;
  uint8_t sum = 0;
  for (int i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + data[i]);
  data[511] = static_cast<uint8_t>(-sum);
}

bool PlainDiskDrive::ExecuteAta(AtaCommand& command) {
  if (!options_.answersAta || !usable_) return false;
  if (command.length != 0 && command.data == nullptr) return false;
  const AtaTaskFile& taskFile = command.current;
  switch (taskFile.command) {
    case 0xEC:  // IDENTIFY DEVICE
      if (command.length < kSector || (command.ataFlags & 0x02) == 0) return false;
      FillIdentify(command.data);
      return true;
    case 0xC8:    // READ DMA
    case 0xCA: {  // WRITE DMA
      const bool write = taskFile.command == 0xCA;
      if ((taskFile.device & 0x40) == 0) return false;  // CHS addressing is not served
      const uint32_t lba = static_cast<uint32_t>(taskFile.device & 0x0F) << 24 |
                           static_cast<uint32_t>(taskFile.lbaHigh) << 16 |
                           static_cast<uint32_t>(taskFile.lbaMid) << 8 | taskFile.lbaLow;
      const uint32_t count = taskFile.sectorCount == 0 ? 256 : taskFile.sectorCount;
      const uint16_t direction = write ? 0x04 : 0x02;
      if ((command.ataFlags & direction) == 0 || command.length < count * kSector) return false;
      if (uint64_t{lba} + count > sectorCount_ || TouchesFailingSector(lba, count)) return false;
      return Transfer(lba, count, command.data, write);
    }
    default:
      return false;
  }
}

bool PlainDiskDrive::ExecuteNvmeAdmin(NvmeAdminCommand&) { return false; }

}  // namespace dozered
