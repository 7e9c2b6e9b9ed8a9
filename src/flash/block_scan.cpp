#include "flash/block_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "decode/hex_dump.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Leaves scan mode and starts the clearing of the status line on every way
// out of a scan that entered it.
class ScanMode {
 public:
  ScanMode(Feedback& feedback, const BlockScanWindow& window, uint32_t steps, std::string& statusText)
      : feedback_(feedback), window_(window), steps_(steps), status_text_(statusText) {
    if (window_.EnterScanMode) window_.EnterScanMode();
  }
  ~ScanMode() {
    feedback_.Progress(static_cast<int>(steps_), 0);
    if (window_.LeaveScanMode) window_.LeaveScanMode();
    // The last text stays for two seconds.
    feedback_.ReportStatus(status_text_);
  }
  ScanMode(const ScanMode&) = delete;
  ScanMode& operator=(const ScanMode&) = delete;

 private:
  Feedback& feedback_;
  const BlockScanWindow& window_;
  uint32_t steps_;
  std::string& status_text_;
};

// Keeps the drive open around the loop.
class OpenScanDrive {
 public:
  explicit OpenScanDrive(VE4810VO& controller) : controller_(controller), open_(controller.Open(true)) {}
  ~OpenScanDrive() {
    if (open_) controller_.Close();
  }
  OpenScanDrive(const OpenScanDrive&) = delete;
  OpenScanDrive& operator=(const OpenScanDrive&) = delete;
  bool IsOpen() const { return open_; }

 private:
  VE4810VO& controller_;
  bool open_;
};

}  // namespace

uint32_t BlockScanStepCount(const AppState& state, BlockScanKind kind, uint8_t option) {
  const CardInfo card(SelectedCardInfo(state));
  if (kind == BlockScanKind::kDbs) return card.TotalFBlockCount();
  const uint32_t pages = card.PagesPerBlock();
  return (option & flash_option::kStrongPage) != 0 ? pages / 2 : pages;
}

std::string BlockScanDumpText(std::span<const uint8_t> table) {
  // One hex dump holds 65,536 bytes; a longer table is dumped piece by piece
  // and each piece's offsets are moved on to where its bytes stand.
  std::vector<char> piece(kHexDumpMaxTextSize);
  const size_t rows = (table.size() + 15) / 16;
  std::string text;
  text.reserve((rows + 1) * kHexDumpLineSize);
  size_t start = 0;
  do {
    const std::span<const uint8_t> bytes = table.subspan(start, std::min(kHexDumpMaxBytes, table.size() - start));
    const size_t length = FormatHexDump(bytes, piece.data(), piece.size());
    const size_t skip = start == 0 ? 0 : kHexDumpLineSize;  // one header line, at the top
    const size_t first = text.size() + (start == 0 ? kHexDumpLineSize : 0);
    text.append(piece.data() + skip, length - skip);
    if (start != 0) {
      for (size_t line = first; line < text.size(); line += kHexDumpLineSize) {
        uint32_t offset = static_cast<uint32_t>(start + (line - first) / kHexDumpLineSize * 16);
        for (int i = 7; i >= 0; --i) {
          text[line + static_cast<size_t>(i)] = kHexDigits[offset & 15];
          offset >>= 4;
        }
      }
    }
    start += bytes.size();
  } while (start < table.size());
  return text;
}

BlockScanOutcome RunBlockScan(AppState& state, Feedback& feedback, BlockScanKind kind, const DbsDpsFields& fields,
                              const BlockScanWindow& window) {
  BlockScanOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;

  const bool dbs = kind == BlockScanKind::kDbs;
  const FlashTarget target = ParseFlashTarget(fields);
  const uint32_t steps = BlockScanStepCount(state, kind, target.Address.option);
  out.StepCount = steps;

  std::string status = kFlashWaitingText;
  const ScanMode mode(feedback, window, steps, status);
  feedback.ShowStatus(status);
  feedback.Progress(static_cast<int>(steps), 0);
  feedback.ProcessPendingEvents();

  // 16 bytes a step: at most 1 MiB for 65,535 blocks.
  const size_t tableBytes = static_cast<size_t>(steps) * kBlockScanEntryBytes;
  std::unique_ptr<uint8_t[]> table(new (std::nothrow) uint8_t[tableBytes == 0 ? 1 : tableBytes]);
  if (!table) {
    out.Status = FlashStatus::kFailed;
    feedback.MessageBox(kMemoryAllocateFailText, kErrorCaption, MessageIcon::Error);
    return out;
  }
  std::memset(table.get(), 0, tableBytes);

  auto finish = [&](FlashStatus how, std::string text) {
    out.Status = how;
    out.Message = text;
    status = std::move(text);
    feedback.ShowStatus(status);
  };

  if (steps == 0) {
    // Nothing to read: an empty result, and the drive is not touched.
    if (window.ClearResultView) window.ClearResultView();
    out.Dump = BlockScanDumpText({});
    finish(FlashStatus::kDone, kBlockScanCompleteText);
    return out;
  }

  const OpenScanDrive drive(*controller);
  if (!drive.IsOpen()) {
    out.Result = kResultOpenFailed;
    finish(FlashStatus::kFailed, kScanAccessDeviceFailText);
    return out;
  }

  if (window.ClearResultView) window.ClearResultView();
  const size_t readBytes = static_cast<size_t>(target.ReadSectors) * kSectorBytes;
  const size_t spare = static_cast<size_t>(target.DataSectors) * kSectorBytes;
  const std::span<uint8_t> buffer = std::span<uint8_t>(state.PageDataBuffer).first(readBytes);
  FlashAddress address = target.Address;
  uint32_t i = 0;
  for (; i < steps && !feedback.CancelRequested(); ++i) {
    feedback.ProcessPendingEvents();
    if (dbs) {
      address.block = static_cast<uint16_t>(i);
    } else {
      address.page = static_cast<uint16_t>(i);
    }
    const int32_t r = controller->ReadFlash(address, target.ReadSectors, buffer);
    if (r != kResultSuccess) {
      feedback.MessageBox(FailText(dbs ? kDbsFailFormat : kDpsFailFormat, r, *controller), kErrorCaption,
                          MessageIcon::Error);
      out.Result = r;
      out.StepsDone = i;
      out.Dump = std::string();
      feedback.Progress(static_cast<int>(steps), 0);
      finish(FlashStatus::kFailed, dbs ? kDbsFailText : kDpsFailText);
      return out;
    }
    uint8_t* entry = table.get() + static_cast<size_t>(i) * kBlockScanEntryBytes;
    std::memcpy(entry, buffer.data() + spare + kSpareTagOffset, 8);
    std::memcpy(entry + 8, buffer.data() + spare + kSpareSequenceOffset, 8);
    feedback.Progress(static_cast<int>(steps), static_cast<int>(i));
  }
  out.StepsDone = i;
  out.Cancelled = i < steps;
  out.Table.assign(table.get(), table.get() + tableBytes);
  out.Dump = BlockScanDumpText(out.Table);
  feedback.Progress(static_cast<int>(steps), static_cast<int>(i));
  finish(FlashStatus::kDone, kBlockScanCompleteText);
  return out;
}

BlockScanOutcome RunDbs(AppState& state, Feedback& feedback, const DbsDpsFields& fields,
                        const BlockScanWindow& window) {
  return RunBlockScan(state, feedback, BlockScanKind::kDbs, fields, window);
}

BlockScanOutcome RunDps(AppState& state, Feedback& feedback, const DbsDpsFields& fields,
                        const BlockScanWindow& window) {
  return RunBlockScan(state, feedback, BlockScanKind::kDps, fields, window);
}

void ShowDbsDpsOptionBytes(const AppState& state, DbsDpsFields& fields) {
  fields.Option = ByteText(state.FlashOption);
  fields.ChCe = ByteText(state.FlashChCe);
}

bool DbsDpsSet(AppState& state, DbsDpsFields& fields, const std::function<void()>& showSettingsDialog) {
  state.SettingsAccepted = false;
  if (showSettingsDialog) showSettingsDialog();
  if (!state.SettingsAccepted) return false;
  ShowDbsDpsOptionBytes(state, fields);
  return true;
}

}  // namespace dozered
