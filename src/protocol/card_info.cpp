#include "protocol/card_info.h"

namespace dozered {

std::array<uint8_t, kFlashIdEntrySize> CardInfo::FlashId(int ce, int channel) const {
  if (ce < 0 || ce >= kFlashIdCeCount || channel < 0 || channel >= kFlashIdChannelCount) return {};
  return Slice<kFlashIdEntrySize>(card_info_offset::kFlashIdTable +
                                  static_cast<uint32_t>(32 * ce + 8 * channel));
}

bool CardInfo::HasChip(int ce, int channel) const {
  const auto id = FlashId(ce, channel);
  return id[0] != 0x00 && id[0] != 0xFF;
}

uint16_t CardInfo::InfoBlock(int index) const {
  if (index < 0 || index > 1) return 0;
  return U16(card_info_offset::kInfoBlocks + static_cast<uint32_t>(2 * index));
}

uint16_t CardInfo::IspBlock(int index) const {
  if (index < 0 || index > 1) return 0;
  return U16(card_info_offset::kIspBlocks + static_cast<uint32_t>(2 * index));
}

int16_t CardInfo::EraseCountStartBlock() const {
  return static_cast<int16_t>(U16(card_info_offset::kEraseCountStartBlock));
}

std::array<uint8_t, kFlashDrivingSize> CardInfo::FlashDriving(int channel) const {
  if (channel < 0 || channel >= kFlashIdChannelCount) return {};
  return Slice<kFlashDrivingSize>(card_info_offset::kFlashDriving +
                                  static_cast<uint32_t>(8 * channel));
}

}  // namespace dozered
