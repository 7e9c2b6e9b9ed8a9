// The ATA side of a SATA drive (IDENTIFY, READ/WRITE DMA, SMART READ DATA)
// and the NVMe side of an NVMe drive (Identify).
#include <algorithm>
#include <cstring>

#include "sim/records.h"
#include "sim/simulated_drive.h"

namespace dozered::sim {
namespace {

constexpr uint8_t kAtaStatusReady = 0x50;
constexpr uint8_t kAtaStatusError = 0x51;

bool CopyReply(AtaCommand& command, const std::vector<uint8_t>& reply) {
  if (command.data == nullptr || command.length < reply.size()) return false;
  std::memcpy(command.data, reply.data(), reply.size());
  return true;
}

void PutText(uint8_t* p, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
}

}  // namespace

bool SimulatedDrive::ExecuteAta(AtaCommand& command) {
  if (faults_.gone() || config().transport != Transport::kSata) return false;
  AtaTaskFile& tf = command.current;
  const AtaTaskFile& prev = command.previous;
  bool ok = false;
  switch (tf.command) {
    case 0xEC:  // IDENTIFY DEVICE
      ok = CopyReply(command, BuildIdentify(*model_));
      break;
    case 0xB0:  // SMART
      ok = tf.features == 0xD0 && tf.lbaMid == 0x4F && tf.lbaHigh == 0xC2 && CopyReply(command, BuildSmart(*model_));
      break;
    case 0xE7:  // FLUSH CACHE
    case 0xEA:  // FLUSH CACHE EXT
      ok = FlushCache();
      break;
    case 0xC8:  // READ DMA
    case 0xCA:  // WRITE DMA
    case 0x25:  // READ DMA EXT
    case 0x35: {  // WRITE DMA EXT
      const bool ext = tf.command == 0x25 || tf.command == 0x35;
      const bool write = tf.command == 0xCA || tf.command == 0x35;
      uint64_t lba = static_cast<uint64_t>(tf.lbaLow) | (static_cast<uint64_t>(tf.lbaMid) << 8) |
                     (static_cast<uint64_t>(tf.lbaHigh) << 16);
      uint32_t count;
      if (ext) {
        lba |= (static_cast<uint64_t>(prev.lbaLow) << 24) | (static_cast<uint64_t>(prev.lbaMid) << 32) |
               (static_cast<uint64_t>(prev.lbaHigh) << 40);
        count = static_cast<uint32_t>(tf.sectorCount) | (static_cast<uint32_t>(prev.sectorCount) << 8);
        if (count == 0) count = 65536;
      } else {
        lba |= static_cast<uint64_t>(tf.device & 0x0F) << 24;
        count = tf.sectorCount == 0 ? 256 : tf.sectorCount;
      }
      if (command.data == nullptr || static_cast<uint64_t>(command.length) < static_cast<uint64_t>(count) * 512) break;
      const AccessResult result = write ? WriteSectors(lba, count, command.data) : ReadSectors(lba, count, command.data);
      if (result == AccessResult::kGone) return false;
      ok = result == AccessResult::kOk;
      break;
    }
    default:
      break;
  }
  tf.command = ok ? kAtaStatusReady : kAtaStatusError;
  tf.features = ok ? 0x00 : 0x04;  // error register: ABRT
  return ok;
}

bool SimulatedDrive::ExecuteNvmeAdmin(NvmeAdminCommand& command) {
  if (faults_.gone() || config().transport != Transport::kNvme) return false;
  std::memset(command.completion, 0, sizeof command.completion);
  const uint8_t opcodeByte = command.submission[0];
  const uint8_t cns = command.submission[40];
  const DriveIdentity& id = model_->identity;
  if (opcodeByte != 0x06 || command.data == nullptr || command.length < 4096 || (cns != 0 && cns != 1)) {
    command.completion[14] = 0x02 << 1;  // invalid field
    return false;
  }
  std::memset(command.data, 0, 4096);
  uint8_t* d = command.data;
  if (cns == 1) {  // Identify Controller
    d[0] = 0x4F;   // PCI vendor ID
    d[1] = 0x1D;
    d[2] = 0x4F;
    d[3] = 0x1D;
    PutText(d + 4, id.serial, 20);
    PutText(d + 24, id.model, 40);
    PutText(d + 64, id.firmware, 8);
    d[77] = 5;  // maximum data transfer size: 2^5 pages
    d[80] = 0x00;
    d[82] = 0x04;  // version 1.4
    d[512] = 0x66;  // SQES
    d[513] = 0x44;  // CQES
    d[516] = 1;     // one namespace
  } else {  // Identify Namespace
    const uint64_t size = id.capacity;
    for (int i = 0; i < 8; ++i) {
      d[i] = static_cast<uint8_t>(size >> (8 * i));
      d[8 + i] = static_cast<uint8_t>(size >> (8 * i));
      d[16 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    d[130] = 9;  // LBA format 0: 512-byte sectors
  }
  return true;
}

}  // namespace dozered::sim
