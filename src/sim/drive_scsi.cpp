// The SCSI side of a simulated drive: INQUIRY, READ CAPACITY, READ and WRITE.
#include <algorithm>
#include <cstring>

#include "sim/simulated_drive.h"

namespace dozered::sim {
namespace {

void SetSense(ScsiOutcome& outcome, uint8_t key, uint8_t asc, uint8_t ascq) {
  outcome.status = kScsiStatusCheckCondition;
  std::memset(outcome.sense, 0, sizeof outcome.sense);
  outcome.sense[0] = 0x70;
  outcome.sense[2] = key;
  outcome.sense[7] = 10;
  outcome.sense[12] = asc;
  outcome.sense[13] = ascq;
  outcome.senseLength = 18;
}

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void CopyOut(ScsiCommand& command, const uint8_t* data, size_t length, size_t allocation) {
  const size_t n = std::min({length, allocation, static_cast<size_t>(command.length)});
  if (command.data != nullptr && n > 0) std::memcpy(command.data, data, n);
}

}  // namespace

bool SimulatedDrive::ScsiInquiry(ScsiCommand& command, ScsiOutcome& outcome) {
  const uint8_t* cdb = command.cdb;
  const size_t allocation = (static_cast<size_t>(cdb[3]) << 8) | cdb[4];
  const DriveIdentity& id = model_->identity;
  const uint8_t deviceType = config().kind == DriveKind::kOptical ? 0x05 : 0x00;
  uint8_t reply[96] = {};
  if (cdb[1] & 0x01) {
    reply[0] = deviceType;
    reply[1] = cdb[2];
    if (cdb[2] == 0x00) {
      reply[3] = 2;
      reply[4] = 0x00;
      reply[5] = 0x80;
      CopyOut(command, reply, 6, allocation);
    } else if (cdb[2] == 0x80) {
      reply[3] = 20;
      for (size_t i = 0; i < 20; ++i) reply[4 + i] = static_cast<uint8_t>(i < id.serial.size() ? id.serial[i] : ' ');
      CopyOut(command, reply, 24, allocation);
    } else {
      SetSense(outcome, 0x05, 0x24, 0x00);
    }
    return true;
  }
  reply[0] = deviceType;
  reply[1] = config().kind == DriveKind::kOptical ? 0x80 : 0x00;
  reply[2] = 0x05;
  reply[3] = 0x02;
  reply[4] = 31;
  std::memcpy(reply + 8, id.vendor.data(), 8);
  std::memcpy(reply + 16, id.product.data(), 16);
  std::memcpy(reply + 32, id.revision.data(), 4);
  CopyOut(command, reply, 36, allocation);
  return true;
}

bool SimulatedDrive::ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) {
  if (faults_.gone()) return false;
  outcome = ScsiOutcome{};
  const uint8_t* cdb = command.cdb;
  uint64_t lba = 0;
  uint32_t count = 0;
  bool write = false;
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
      return true;
    case 0x35:  // SYNCHRONIZE CACHE
      return FlushCache();
    case 0x12:
      return ScsiInquiry(command, outcome);
    case 0x25: {  // READ CAPACITY(10)
      uint8_t reply[8];
      PutBe32(reply, capacity() == 0 ? 0 : capacity() - 1);
      PutBe32(reply + 4, 512);
      CopyOut(command, reply, sizeof reply, sizeof reply);
      return true;
    }
    case 0x28:
    case 0x2A:
      lba = Be32(cdb + 2);
      count = (static_cast<uint32_t>(cdb[7]) << 8) | cdb[8];
      write = cdb[0] == 0x2A;
      break;
    case 0x88:
    case 0x8A:
      lba = (static_cast<uint64_t>(Be32(cdb + 2)) << 32) | Be32(cdb + 6);
      count = Be32(cdb + 10);
      write = cdb[0] == 0x8A;
      break;
    default:
      SetSense(outcome, 0x05, 0x20, 0x00);  // invalid command operation code
      return true;
  }
  if (count == 0) return true;
  if (command.data == nullptr || static_cast<uint64_t>(command.length) < static_cast<uint64_t>(count) * 512 ||
      command.dataIn == write) {
    SetSense(outcome, 0x05, 0x24, 0x00);
    return true;
  }
  const AccessResult result = write ? WriteSectors(lba, count, command.data) : ReadSectors(lba, count, command.data);
  switch (result) {
    case AccessResult::kOk:
      return true;
    case AccessResult::kGone:
      return false;
    case AccessResult::kOutOfRange:
      SetSense(outcome, 0x05, 0x21, 0x00);
      return true;
    case AccessResult::kMediumError:
      SetSense(outcome, 0x03, write ? 0x0C : 0x11, 0x00);
      return true;
  }
  return true;
}

}  // namespace dozered::sim
