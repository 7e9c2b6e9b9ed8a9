// The records the firmware answers with, built from the drive model. Each
// builder returns the whole reply; the firmware cuts or pads it to the length
// the host reads.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/chunk_ecc_answer.h"
#include "sim/drive_model.h"
#include "sim/flash_layout.h"

namespace dozered::sim {

// Card-information record offsets (the first 1,616 bytes of the flash ID reply).
namespace card_info {
inline constexpr int kReplyBytes = 2048;
inline constexpr int kRecordBytes = 1616;
inline constexpr int kCardMode = 10;
inline constexpr int kRuntimeBadBlockCount = 16;
inline constexpr int kTemperature = 19;
inline constexpr int kFlashIdTable = 48;
inline constexpr int kFlashMakerCode = 346;
inline constexpr int kCardMode0 = 347;
inline constexpr int kFlashParameter = 348;
inline constexpr int kCardFlashOption = 349;
inline constexpr int kInterleaveWays = 354;
inline constexpr int kPlaneCount = 355;
inline constexpr int kChannelCount = 356;
inline constexpr int kCeCount = 357;
inline constexpr int kDataEccMode = 360;
inline constexpr int kSpareEccMode = 361;
inline constexpr int kInfoBlocksOffset = 368;
inline constexpr int kIspBlocksOffset = 372;
inline constexpr int kEraseCountStartBlockOffset = 384;
inline constexpr int kTotalFBlockCount = 386;
inline constexpr int kBlocksPerCe = 390;
inline constexpr int kOriginalBadBlockCount = 396;
inline constexpr int kPretestBadBlockCount = 398;
inline constexpr int kPageSizeKiB = 402;
inline constexpr int kSectorsPerPage = 403;
inline constexpr int kPagesPerBlock = 404;
inline constexpr int kFlashDriving = 480;
}  // namespace card_info

inline constexpr int kIspVersionOffset = 404;  // in the ISP information block
inline constexpr int kCidOffset = 32;          // the CID block inside the ReadCid reply
inline constexpr int kEraseCountTableBytes = 16896;
inline constexpr int kEraseCountEntries = 8192;
inline constexpr int kMarkBadBytes = 8192;
inline constexpr int kOriginalBadTableBytes = 12288;
inline constexpr uint16_t kTranslated = 0x5555;
inline constexpr uint16_t kNoSuchLba = 0xAAAA;

std::vector<uint8_t> BuildCardInfoReply(const DriveModel& model);
std::vector<uint8_t> BuildIdentify(const DriveModel& model);
std::vector<uint8_t> BuildIspInfo(const DriveModel& model);
std::vector<uint8_t> BuildSmart(const DriveModel& model);
std::vector<uint8_t> BuildCid(const DriveModel& model);
std::vector<uint8_t> BuildErrorLog(const DriveModel& model);

std::vector<uint8_t> BuildEraseCountTable(const DriveModel& model);
std::vector<uint8_t> BuildMarkBadList(const DriveModel& model);
std::vector<uint8_t> BuildOriginalBadBlockTable(const DriveModel& model);
std::vector<uint8_t> BuildTranslation(const DriveModel& model, uint32_t lba);

// Chunks = page size in KiB (1 to 64), groups = planes (1 to 4), 8 read-retry
// levels, as the drive's card-information record reports them; the answer
// always fits 64 KiB.
ChunkEccGeometry ChunkEccGeometryOf(const DriveModel& model);
// The chunk-ECC answer for one page: block, page and the CE/channel target
// byte (CE x 8 + channel) as the chunk-ECC diagnostic takes them.
std::vector<uint8_t> BuildChunkEccAnswer(const DriveModel& model, uint16_t block, uint16_t page, uint8_t target,
                                         uint8_t option);

// A ReadFlash answer of `sectors` sectors: page data from the addressed chunk
// on (in multi-plane operation running on into the next planes' pages), then
// the spare sector unless the option byte skips it. With ECC on, a page whose
// chunks stay uncorrectable at every level tried fails the read (false).
bool ReadFlashPage(const DriveModel& model, const FlashCommandAddress& address, uint32_t sectors,
                   std::vector<uint8_t>* reply);
// A ReadFlashDistribution answer: the cells read raw (no ECC, no descrambling)
// with the reference of level slot `levelSlot` moved by `levelOffset` steps
// (slot -1: default references).
std::vector<uint8_t> ReadFlashDistribution(const DriveModel& model, const FlashCommandAddress& address,
                                           uint32_t sectors, int levelSlot, int levelOffset);

}  // namespace dozered::sim
