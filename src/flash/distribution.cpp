#include "flash/distribution.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <span>

#include "decode/text_helpers.h"
#include "flash/diagnostic_code.h"
#include "flash/flash_rw.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

constexpr int kLevelSpan = 127;    // the progress maximum is this over the step
constexpr int kPositiveEnd = 63;   // 0x3F: the positive sweep stays below it
constexpr int kNegativeEnd = 64;   // 0x40: the negative sweep stays above it
constexpr int kLevelValues = 128;  // level values are 7 bits

// Option bits every distribution read is sent with: scrambling off, ECC off,
// one plane, spare not read.
constexpr uint8_t kRawReadSet = flash_option::kEccOff | flash_option::kOnePlane | flash_option::kSpareNotRead;

bool IsSingleReadPage(uint32_t page) { return page <= 1 || (page % 2 == 1 && page <= 253); }

int SeriesOf(int type) { return type <= 1 ? 0 : type - 1; }

// Type 3 moves R3: moving it up turns cells to the lower bit value. The
// other references turn cells to 1 when moved up.
bool CountsRising(int type, bool positiveSweep) { return (type == 3) != positiveSweep; }

int PointX(int level) { return level < 64 ? level + 64 : level - 64; }

// The bits where `previous` and `current` differ and `current` holds 1
// (rising) or 0 (falling).
uint32_t FlippedBits(const uint8_t* previous, const uint8_t* current, size_t bytes, bool rising) {
  uint32_t count = 0;
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    uint64_t p, c;
    std::memcpy(&p, previous + i, 8);
    std::memcpy(&c, current + i, 8);
    count += static_cast<uint32_t>(std::popcount((p ^ c) & (rising ? c : ~c)));
  }
  for (; i < bytes; ++i) {
    const auto p = previous[i], c = current[i];
    count += static_cast<uint32_t>(std::popcount(static_cast<uint8_t>((p ^ c) & (rising ? c : ~c))));
  }
  return count;
}

// The Flash RW views of the first `bytes` of FlashPageBuffer, as Read shows
// them: the data in the raw view, the last sector in the spare view.
FlashOutcome LevelViews(AppState& state, size_t bytes) {
  FlashOutcome views;
  const std::span<const uint8_t> buffer(state.FlashPageBuffer);
  const size_t dataBytes = bytes - kSectorBytes;
  views.RawView = DumpLines(state, buffer.first(dataBytes));
  views.SpareView = DumpLines(state, buffer.subspan(dataBytes, kSectorBytes));
  return views;
}

// One measurement: the buffers, the progress and what the status line shows.
class Measurement {
 public:
  Measurement(AppState& state, Feedback& feedback, VE4810VO& controller, const DistributionViews& showViews,
              DistributionOutcome& out)
      : state_(state), feedback_(feedback), controller_(controller), show_views_(showViews), out_(out) {}

  void Run(FlashAddress address, uint32_t dataSectors, int step, bool strong) {
    const int levelsPerType = kLevelSpan / step;
    progress_max_ = strong ? levelsPerType : levelsPerType * 3;
    feedback_.Progress(progress_max_, 0);
    data_bytes_ = static_cast<size_t>(dataSectors) * kSectorBytes;
    read_sectors_ = dataSectors + 1;
    const std::vector<uint8_t> levels = DistributionLevels(step);
    const uint32_t first = address.page;
    for (int pass = 0; pass < (strong ? 1 : 2) && !cancelled_; ++pass) {
      address.page = pass == 0 ? first : DistributionPartnerPage(first);
      for (auto* buffer : {&reference_, &previous_, &current_}) std::fill(buffer->begin(), buffer->end(), 0);
      if (!out_.ChartCleared) {
        out_.ChartCleared = true;
        feedback_.ProcessPendingEvents();
      }
      for (int type : DistributionReadTypes(address.page, strong)) {
        if (cancelled_) break;
        Sweeps(address, type, levels);
      }
    }
  }

  bool Cancelled() const { return cancelled_; }
  bool AnyLevelRead() const { return any_level_read_; }
  size_t ReadBytes() const { return static_cast<size_t>(read_sectors_) * kSectorBytes; }
  int32_t LastFailure() const { return last_failure_; }
  const std::string& LastShown() const { return last_shown_; }

 private:
  void Sweeps(const FlashAddress& address, int type, const std::vector<uint8_t>& levels) {
    // The reference read at the default level: the start of both sweeps.
    // Without it the first level read in a sweep becomes the start instead.
    const int32_t r = Read(address, type, 0, reference_);
    reference_good_ = r == kResultSuccess;
    if (!reference_good_) Show(FailText(kReadFlashFailFormat, r, controller_), r);
    previous_ = reference_;
    previous_good_ = reference_good_;
    bool positive = true;
    for (uint8_t level : levels) {
      if (positive && level >= kPositiveEnd) {
        positive = false;
        previous_ = reference_;
        previous_good_ = reference_good_;
      }
      Level(address, type, level, CountsRising(type, positive));
      if (cancelled_) return;
    }
  }

  void Level(const FlashAddress& address, int type, uint8_t level, bool rising) {
    const int32_t r = Read(address, type, level, current_);
    if (r != kResultSuccess) {
      // No bar; the next level is compared with the last good read.
      Show(FailText(kReadFlashFailFormat, r, controller_), r);
    } else {
      const size_t bytes = ReadBytes();
      std::copy_n(current_.begin(), bytes, state_.FlashPageBuffer.begin());
      any_level_read_ = true;
      if (show_views_) show_views_(LevelViews(state_, bytes));
      Show(kReadFlashSuccessText, kResultSuccess);
      if (previous_good_) {
        char label[8];
        std::snprintf(label, sizeof label, "%02X", static_cast<unsigned>(level));
        const uint32_t count = FlippedBits(previous_.data(), current_.data(), data_bytes_, rising);
        out_.Series[static_cast<size_t>(SeriesOf(type))].push_back({PointX(level), count, label});
      }
      std::swap(previous_, current_);
      previous_good_ = true;
    }
    feedback_.ProcessPendingEvents();
    position_ = std::min(position_ + 1, progress_max_);
    feedback_.Progress(progress_max_, position_);
    if (feedback_.CancelRequested()) cancelled_ = true;
  }

  int32_t Read(FlashAddress address, int type, uint8_t level, std::vector<uint8_t>& into) {
    return controller_.ReadFlashDistribution(address, type, level, read_sectors_,
                                             std::span<uint8_t>(into).first(ReadBytes()));
  }

  void Show(const std::string& text, int32_t result) {
    if (result != kResultSuccess) last_failure_ = result;
    last_shown_ = text;
    feedback_.ShowStatus(text);
  }

 private:
  AppState& state_;
  Feedback& feedback_;
  VE4810VO& controller_;
  const DistributionViews& show_views_;
  DistributionOutcome& out_;
  std::vector<uint8_t> reference_ = std::vector<uint8_t>(kDistributionBufferBytes);
  std::vector<uint8_t> previous_ = std::vector<uint8_t>(kDistributionBufferBytes);
  std::vector<uint8_t> current_ = std::vector<uint8_t>(kDistributionBufferBytes);
  bool reference_good_ = false;
  bool previous_good_ = false;
  size_t data_bytes_ = 0;
  uint32_t read_sectors_ = 1;
  int progress_max_ = 1;
  int position_ = 0;
  bool cancelled_ = false;
  bool any_level_read_ = false;
  int32_t last_failure_ = kResultSuccess;
  std::string last_shown_;
};

}  // namespace

std::vector<int> DistributionReadTypes(uint32_t page, bool strong) {
  if (strong) return {0};
  if (IsSingleReadPage(page)) return {2};
  return {1, 3};
}

uint32_t DistributionPartnerPage(uint32_t page) {
  if (page == 0) return 2;
  if (page == 2) return 0;  // page 2 is the MSB page of page 0's wordline
  if (page == 253) return 255;
  if (page == 255) return 253;  // the last wordline holds pages 253 and 255
  return IsSingleReadPage(page) ? page + 3 : page - 3;
}

std::optional<int> ParseDistributionStep(std::string_view text) {
  const uint32_t step = ParseDecimal(text, kDistributionStepChars);
  if (step < kDistributionStepMin || step > kDistributionStepMax) return std::nullopt;
  return static_cast<int>(step);
}

std::vector<uint8_t> DistributionLevels(int step) {
  std::vector<uint8_t> levels;
  if (step <= 0) return levels;
  for (int v = 0; v < kPositiveEnd; v += step) levels.push_back(static_cast<uint8_t>(v));
  for (int v = kLevelValues - step; v > kNegativeEnd; v -= step) levels.push_back(static_cast<uint8_t>(v));
  return levels;
}

DistributionOutcome MeasureDistribution(AppState& state, Feedback& feedback, const FlashAddressFields& fields,
                                        std::string_view stepText, const DistributionViews& showViews) {
  DistributionOutcome out;
  FlashRun run(state, feedback);
  feedback.Progress(1, 0);
  const std::optional<int> step = ParseDistributionStep(stepText);
  if (!step) {
    out.Status = FlashStatus::kRefused;
    out.ShowChart = false;
    feedback.MessageBox(kDistributionStepRangeText, kErrorCaption, MessageIcon::Error);
    return out;
  }
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;

  // Each read carries the page and its spare sector; all of it must fit the buffers.
  const uint32_t dataSectors = CardInfo(SelectedCardInfo(state)).SectorsPerPage();
  constexpr uint32_t kMostDataSectors = kDistributionBufferBytes / kSectorBytes - 1;
  if (dataSectors > kMostDataSectors) {
    char text[128];
    std::snprintf(text, sizeof text, kDistributionPageTooLargeFormat, static_cast<unsigned>(dataSectors),
                  static_cast<unsigned>(kMostDataSectors));
    out.Status = FlashStatus::kRefused;
    out.ShowChart = false;
    feedback.MessageBox(text, kErrorCaption, MessageIcon::Error);
    return out;
  }

  const DiagnosticProgram program = ReadDiagnosticProgram(state, feedback, kDgIspReadDistribution);
  OpenDrive drive(*controller);
  if (!drive.IsOpen()) {
    Report(feedback, out, FlashStatus::kFailed, kFlashAccessDeviceFailText, kResultOpenFailed);
    return out;
  }
  SendDiagnosticProgram(*controller, program);

  FlashTarget target = ParseFlashTarget(fields);
  target.Address.chunk = 0;
  target.Address.option = static_cast<uint8_t>((target.Address.option & ~flash_option::kScramble) | kRawReadSet);
  const bool strong = (state.FlashOption & flash_option::kStrongPage) != 0;

  Measurement measurement(state, feedback, *controller, showViews, out);
  measurement.Run(target.Address, dataSectors, *step, strong);
  if (measurement.AnyLevelRead()) {
    const FlashOutcome views = LevelViews(state, measurement.ReadBytes());
    out.RawView = views.RawView;
    out.SpareView = views.SpareView;
  }
  out.ShowChart = !measurement.Cancelled();
  // The status line keeps the last level's text for two seconds.
  const int32_t failure = measurement.LastFailure();
  Report(feedback, out, failure == kResultSuccess ? FlashStatus::kDone : FlashStatus::kFailed,
         measurement.LastShown(), failure);
  return out;
}

DistributionOutcome MeasureDistribution(AppState& state, Feedback& feedback, const FlashRwFields& fields,
                                        const DistributionViews& showViews) {
  return MeasureDistribution(state, feedback, static_cast<const FlashAddressFields&>(fields), fields.DistributionStep,
                             showViews);
}

}  // namespace dozered
