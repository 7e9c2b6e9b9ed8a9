#include "decode/card_info_decoder.h"

#include <cstdio>
#include <string>

namespace dozered {
namespace {

struct FlagText {
  int bit;
  const char* text;
};

constexpr FlagText kCardMode0Bits[] = {
    {0, "      Internal interleave mode"},
    {1, "      External interleave mode"},
    {4, "      With SLC mode"},
};
constexpr FlagText kFlashParameterBits[] = {
    {0, "      MLC"},
    {1, "      TLC"},
    {2, "      Synchronous mode"},
    {3, "      Manual to toggle"},
    {4, "      Reliable mode"},
    {5, "      Multiple plane mode"},
    {6, "      With Primary Cmd"},
    {7, "      LsbPlaneBit"},
};
constexpr FlagText kFlashOptionBits[] = {
    {0, "      Enable multiple plane read"},
    {1, "      Enable multiple plane program"},
    {2, "      Enable copy back"},
    {3, "      Enable cache read"},
    {4, "      Enable cache program"},
    {5, "      ONFI mode"},
};
constexpr const char* kDataEccLines[] = {
    nullptr,
    "      Data ECC bits: 24b",
    "      Data ECC bits: 25b",
    "      Data ECC bits: 40b",
    "      Data ECC bits: 42b",
    "      Data ECC bits: 48b",
    "      Data ECC bits: 60b",
    "      Data ECC bits: 66b",
};
constexpr const char* kSpareEccLines[] = {
    "      Spare ECC setting: 24b(16B+26B)",
    "      Spare ECC setting: 20b(26B+22B)",
    "      Spare ECC setting: 24b(26B+26B)",
};

void Add(Rows& rows, const char* format, unsigned value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  rows.push_back({buf});
}

template <size_t N>
void AddFlags(Rows& rows, const char* heading, unsigned value, const FlagText (&bits)[N]) {
  Add(rows, heading, value);
  for (const FlagText& f : bits) {
    if ((value >> f.bit) & 1u) rows.push_back({f.text});
  }
}

}  // namespace

Rows DecodeCardInfo(const CardInfo& card) {
  Rows rows;
  Add(rows, "Original Bad Block Count: %d", card.OriginalBadBlockCount());
  Add(rows, "Pretest Bad Block Count: %d", card.PretestBadBlockCount());
  Add(rows, "Runtime Bad Block Count: %d", card.RuntimeBadBlockCount());
  Add(rows, "Total F-Block Count: %d", card.TotalFBlockCount());
  for (int h = 0; h < 4; ++h) {
    const auto d = card.FlashDriving(h);
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "Flash Driving CH%d:      0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", h,
                  d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    rows.push_back({buf});
  }
  AddFlags(rows, "Card Mode 0: 0x%02X", card.CardMode0(), kCardMode0Bits);
  AddFlags(rows, "Flash Parameter: 0x%02X", card.FlashParameter(), kFlashParameterBits);
  AddFlags(rows, "Flash Option: 0x%02X", card.CardFlashOption(), kFlashOptionBits);
  rows.push_back({"Card Configuration "});
  Add(rows, "      %d Way interleave", card.InterleaveWays());
  Add(rows, "      Total channel number: %d", card.ChannelCount());
  Add(rows, "      Total Ce number: %d", card.CeCount());
  Add(rows, "      Total plane number: %d", card.PlaneCount());
  Add(rows, "      Page %d", card.PagesPerBlock());
  Add(rows, "      Page %dK", card.PageSizeKiB());
  rows.push_back({"ECC Bits"});
  const unsigned dataEcc = card.DataEccMode();
  if (dataEcc >= 1 && dataEcc <= 7) rows.push_back({kDataEccLines[dataEcc]});
  const unsigned spareEcc = card.SpareEccMode();
  if (spareEcc <= 2) rows.push_back({kSpareEccLines[spareEcc]});
  return rows;
}

}  // namespace dozered
