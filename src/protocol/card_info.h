// A typed, read-only view of the card-information record: the first 1,616
// bytes of the 2,048-byte ReadFlashId reply. Multi-byte fields are
// little-endian. Reads outside the viewed bytes give 0, so a short buffer
// never reads past its end.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace dozered {

inline constexpr uint32_t kCardInfoSize = 1616;

// Values of CardMode.
inline constexpr uint8_t kCardModeRomCode = 0;
inline constexpr uint8_t kCardModeMpisp = 1;
inline constexpr uint8_t kCardModeNormalFirmware = 2;

// Byte offsets of the fields the tool reads.
namespace card_info_offset {
inline constexpr uint32_t kCardMode = 10;
inline constexpr uint32_t kRuntimeBadBlockCount = 16;
inline constexpr uint32_t kTemperature = 19;
inline constexpr uint32_t kFlashIdTable = 48;   // entry for CE c, channel h at 48 + 32c + 8h
inline constexpr uint32_t kFlashMakerCode = 346;
inline constexpr uint32_t kCardMode0 = 347;
inline constexpr uint32_t kFlashParameter = 348;
inline constexpr uint32_t kCardFlashOption = 349;
inline constexpr uint32_t kInterleaveWays = 354;
inline constexpr uint32_t kPlaneCount = 355;
inline constexpr uint32_t kChannelCount = 356;
inline constexpr uint32_t kCeCount = 357;
inline constexpr uint32_t kDataEccMode = 360;
inline constexpr uint32_t kSpareEccMode = 361;
inline constexpr uint32_t kInfoBlocks = 368;    // 2 x u16
inline constexpr uint32_t kIspBlocks = 372;     // 2 x u16
inline constexpr uint32_t kEraseCountStartBlock = 384;  // i16
inline constexpr uint32_t kTotalFBlockCount = 386;
inline constexpr uint32_t kBlocksPerCe = 390;
inline constexpr uint32_t kOriginalBadBlockCount = 396;
inline constexpr uint32_t kPretestBadBlockCount = 398;
inline constexpr uint32_t kPageSizeKiB = 402;
inline constexpr uint32_t kSectorsPerPage = 403;
inline constexpr uint32_t kPagesPerBlock = 404;
inline constexpr uint32_t kFlashDriving = 480;  // channel h at 480 + 8h, 8 bytes
}  // namespace card_info_offset

inline constexpr int kFlashIdEntrySize = 8;
inline constexpr int kFlashIdCeCount = 8;
inline constexpr int kFlashIdChannelCount = 4;
inline constexpr int kFlashDrivingSize = 8;

class CardInfo {
 public:
  explicit CardInfo(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  std::span<const uint8_t> Bytes() const { return bytes_; }

  uint8_t CardMode() const { return U8(card_info_offset::kCardMode); }
  uint16_t RuntimeBadBlockCount() const { return U16(card_info_offset::kRuntimeBadBlockCount); }
  uint8_t Temperature() const { return U8(card_info_offset::kTemperature); }
  // Flash ID of the chip at CE `ce` (0-7) and channel `channel` (0-3); all
  // zeros for positions outside the table.
  std::array<uint8_t, kFlashIdEntrySize> FlashId(int ce, int channel) const;
  // A first ID byte of 0x00 or 0xFF means no chip there.
  bool HasChip(int ce, int channel) const;
  uint8_t FlashMakerCode() const { return U8(card_info_offset::kFlashMakerCode); }
  uint8_t CardMode0() const { return U8(card_info_offset::kCardMode0); }
  uint8_t FlashParameter() const { return U8(card_info_offset::kFlashParameter); }
  uint8_t CardFlashOption() const { return U8(card_info_offset::kCardFlashOption); }
  uint8_t InterleaveWays() const { return U8(card_info_offset::kInterleaveWays); }
  uint8_t PlaneCount() const { return U8(card_info_offset::kPlaneCount); }
  uint8_t ChannelCount() const { return U8(card_info_offset::kChannelCount); }
  uint8_t CeCount() const { return U8(card_info_offset::kCeCount); }
  uint8_t DataEccMode() const { return U8(card_info_offset::kDataEccMode); }
  uint8_t SpareEccMode() const { return U8(card_info_offset::kSpareEccMode); }
  uint16_t InfoBlock(int index) const;  // index 0 or 1
  uint16_t IspBlock(int index) const;   // index 0 or 1
  int16_t EraseCountStartBlock() const;
  uint16_t TotalFBlockCount() const { return U16(card_info_offset::kTotalFBlockCount); }
  uint16_t BlocksPerCe() const { return U16(card_info_offset::kBlocksPerCe); }
  uint16_t OriginalBadBlockCount() const { return U16(card_info_offset::kOriginalBadBlockCount); }
  uint16_t PretestBadBlockCount() const { return U16(card_info_offset::kPretestBadBlockCount); }
  uint8_t PageSizeKiB() const { return U8(card_info_offset::kPageSizeKiB); }
  uint8_t SectorsPerPage() const { return U8(card_info_offset::kSectorsPerPage); }
  uint16_t PagesPerBlock() const { return U16(card_info_offset::kPagesPerBlock); }
  // The 8 driving bytes of channel `channel` (0-3); zeros outside.
  std::array<uint8_t, kFlashDrivingSize> FlashDriving(int channel) const;

 private:
  uint8_t U8(uint32_t offset) const { return offset < bytes_.size() ? bytes_[offset] : 0; }
  uint16_t U16(uint32_t offset) const {
    return static_cast<uint16_t>(U8(offset) | (U8(offset + 1) << 8));
  }
  template <std::size_t N>
  std::array<uint8_t, N> Slice(uint32_t offset) const {
    std::array<uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = U8(offset + static_cast<uint32_t>(i));
    return out;
  }

  std::span<const uint8_t> bytes_;
};

}  // namespace dozered
