// The read distribution of a flash page: how its cells answer when the read
// reference level is moved step by step away from its default, both ways.
//
// At each level the page is read raw (no ECC, no scrambling) and compared bit
// by bit with the read at the previous level; the bits that flipped in the
// direction the move makes them flip are one bar of a histogram. A page of an
// MLC wordline is read through three references: R1 and R3 decide the bits of
// the wordline's MSB page (a double-read page, read types 1 and 3), R2 those
// of its LSB page (a single-read page, type 2). Without strong mode the
// measurement takes the page and then its partner on the same wordline, so
// that all three references are measured; in strong mode the page is read
// through its one reference (type 0). The histograms go to three charts,
// "P0/P1" (types 0 and 1), "P2" and "P3".
//
//   DistributionOutcome out = MeasureDistribution(state, feedback, fields, "3");
//   if (out.ChartCleared) window.ShowPoints(out.Series);
//   if (out.ShowChart) window.exec();
//
// Level values are 7-bit two's complement offsets from the default level:
// 0x00-0x3E are 0 to +62, 0x41-0x7F are -63 to -1. The point of level v sits
// at x = v + 64 for v below 64 and at v - 64 otherwise, so the default level
// is at x = 64 with the upward offsets to its right.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/flash_fields.h"
#include "flash/flash_operation.h"
#include "flash/flash_rw.h"

namespace dozered {

// The step field EDT_Offset beside "Read Distribution".
inline constexpr char kDistributionStepDefault[] = "3";
inline constexpr size_t kDistributionStepChars = 3;
inline constexpr int kDistributionStepMin = 1;
inline constexpr int kDistributionStepMax = 62;
inline constexpr char kDistributionStepRangeText[] = "Offset step must be a number from 1 to 62";
// A page whose read does not fit the comparison buffers.
inline constexpr char kDistributionPageTooLargeFormat[] =
    "The drive reports %u sectors per page; a distribution read holds at most %u";

// Each comparison buffer (reference, previous, current read) holds 64 KiB.
inline constexpr uint32_t kDistributionBufferBytes = 65536;

// The three charts of the distribution window and their series.
inline constexpr int kDistributionSeriesCount = 3;
inline constexpr const char* kDistributionChartTitles[kDistributionSeriesCount] = {"P0/P1", "P2", "P3"};
// The bottom axis of every chart: the points' x range.
inline constexpr int kDistributionAxisMin = 0;
inline constexpr int kDistributionAxisMax = 127;

// One bar: x, the count of flipped bits, and the level as two hexadecimal digits.
struct DistributionPoint {
  int X = 0;
  uint32_t Count = 0;
  std::string Label;
  bool operator==(const DistributionPoint&) const = default;
};

using DistributionSeries = std::array<std::vector<DistributionPoint>, kDistributionSeriesCount>;

// What a measurement leaves: the status line and the Flash RW views of the
// last level read (FlashOutcome), and the points per series in the order
// they were measured.
struct DistributionOutcome : FlashOutcome {
  // The charts were emptied and take Series; otherwise (no drive, a drive
  // that cannot be opened) they keep the points of the last measurement.
  bool ChartCleared = false;
  DistributionSeries Series;
  // The chart window is shown at the end of every measurement; not when the
  // step was refused or the user closed the main window meanwhile.
  bool ShowChart = true;
};

// The read types of a page: slot of the level byte in the command block.
// Strong mode reads type 0; a single-read page (0, 1, or odd up to 253)
// type 2; any other page (even from 2, 254, 255) types 1 and then 3.
std::vector<int> DistributionReadTypes(uint32_t page, bool strong);

// The page on the same wordline: 2 for page 0 and 0 for page 2, 255 for 253
// and 253 for 255, otherwise three pages up from a single-read page and
// three pages down from a double-read one.
uint32_t DistributionPartnerPage(uint32_t page);

// The step field as a step (1 to 62); nothing for anything else.
std::optional<int> ParseDistributionStep(std::string_view text);

// The level values of the two sweeps for step `step`: 0, s, 2s, ... below 63,
// then 128 - s, 128 - 2s, ... above 64.
std::vector<uint8_t> DistributionLevels(int step);

// Called after every level read successfully, with the Flash RW views of
// that read (raw view and spare view), so that the page can follow the
// measurement.
using DistributionViews = std::function<void(const FlashOutcome& views)>;

// The measurement on the selected drive at the block and page of `fields`,
// with their option byte (scrambling off, ECC off, one plane, spare not
// read) and channel/CE byte, and the step text of the step field. Strong
// mode comes from FlashOption. Progress: 127 / step levels in strong mode,
// three times as many otherwise; pending events are processed after every
// level. A step outside 1 to 62 is refused with a message before anything
// is sent; a drive that cannot be opened is reported as "Access device
// fail".
DistributionOutcome MeasureDistribution(AppState& state, Feedback& feedback, const FlashAddressFields& fields,
                                        std::string_view stepText, const DistributionViews& showViews = {});

// The same with the texts of the Flash RW page as they stand (the step from
// its field beside "Read Distribution"): what the page's button and the
// command-line front end call.
DistributionOutcome MeasureDistribution(AppState& state, Feedback& feedback, const FlashRwFields& fields,
                                        const DistributionViews& showViews = {});

}  // namespace dozered
