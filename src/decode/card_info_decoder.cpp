#include "decode/card_info_decoder.h"

#include <cstdio>
#include <string>

namespace dozered {
namespace {

// Little-endian fields of the record by offset; outside the record reads 0.
class Fields {
 public:
  explicit Fields(std::span<const uint8_t> record) : r_(record) {}
  unsigned U8(size_t offset) const { return offset < r_.size() ? r_[offset] : 0u; }
  unsigned U16(size_t offset) const { return U8(offset) | (U8(offset + 1) << 8); }

 private:
  std::span<const uint8_t> r_;
};

constexpr size_t kRuntimeBadBlockCount = 16;
constexpr size_t kCardMode0 = 347;
constexpr size_t kFlashParameter = 348;
constexpr size_t kCardFlashOption = 349;
constexpr size_t kInterleaveWays = 354;
constexpr size_t kPlaneCount = 355;
constexpr size_t kChannelCount = 356;
constexpr size_t kCeCount = 357;
constexpr size_t kDataEccMode = 360;
constexpr size_t kSpareEccMode = 361;
constexpr size_t kTotalFBlockCount = 386;
constexpr size_t kOriginalBadBlockCount = 396;
constexpr size_t kPretestBadBlockCount = 398;
constexpr size_t kPageSizeKiB = 402;
constexpr size_t kPagesPerBlock = 404;
constexpr size_t kFlashDriving = 480;

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

Rows DecodeCardInfo(std::span<const uint8_t> record) {
  const Fields f(record);
  Rows rows;
  Add(rows, "Original Bad Block Count: %d", f.U16(kOriginalBadBlockCount));
  Add(rows, "Pretest Bad Block Count: %d", f.U16(kPretestBadBlockCount));
  Add(rows, "Runtime Bad Block Count: %d", f.U16(kRuntimeBadBlockCount));
  Add(rows, "Total F-Block Count: %d", f.U16(kTotalFBlockCount));
  for (unsigned h = 0; h < 4; ++h) {
    const size_t d = kFlashDriving + 8 * h;
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "Flash Driving CH%d:      0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", h,
                  f.U8(d), f.U8(d + 1), f.U8(d + 2), f.U8(d + 3), f.U8(d + 4), f.U8(d + 5), f.U8(d + 6),
                  f.U8(d + 7));
    rows.push_back({buf});
  }
  AddFlags(rows, "Card Mode 0: 0x%02X", f.U8(kCardMode0), kCardMode0Bits);
  AddFlags(rows, "Flash Parameter: 0x%02X", f.U8(kFlashParameter), kFlashParameterBits);
  AddFlags(rows, "Flash Option: 0x%02X", f.U8(kCardFlashOption), kFlashOptionBits);
  rows.push_back({"Card Configuration "});
  Add(rows, "      %d Way interleave", f.U8(kInterleaveWays));
  Add(rows, "      Total channel number: %d", f.U8(kChannelCount));
  Add(rows, "      Total Ce number: %d", f.U8(kCeCount));
  Add(rows, "      Total plane number: %d", f.U8(kPlaneCount));
  Add(rows, "      Page %d", f.U16(kPagesPerBlock));
  Add(rows, "      Page %dK", f.U8(kPageSizeKiB));
  rows.push_back({"ECC Bits"});
  const unsigned dataEcc = f.U8(kDataEccMode);
  if (dataEcc >= 1 && dataEcc <= 7) rows.push_back({kDataEccLines[dataEcc]});
  const unsigned spareEcc = f.U8(kSpareEccMode);
  if (spareEcc <= 2) rows.push_back({kSpareEccLines[spareEcc]});
  return rows;
}

}  // namespace dozered
