#include "flash/bad_block.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

#include "app/code_loading.h"
#include "flash/diagnostic_code.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

constexpr size_t kMarkBadEntriesOffset = 8;
constexpr size_t kMarkBadEntrySize = 8;
constexpr char kNotApplicable[] = "N/A";

std::string Decimal(int value) { return std::to_string(value); }

std::string BlockText(const char* format, uint16_t block) {
  char text[16];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(block));
  return text;
}

uint16_t U16(std::span<const uint8_t> bytes, size_t offset) {
  if (offset + 1 >= bytes.size()) return 0;
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// Columns 5-8 (channels 4-7) have no chips behind them: always "0".
void WriteGrid(BadBlockGrid& grid, const int (&counts)[kBadBlockChannels][kBadBlockCes]) {
  for (int c = 0; c < kBadBlockCes; ++c) {
    for (int h = 0; h < kBadBlockChannels; ++h) grid.Cell(h + 1, c + 1) = Decimal(counts[h][c]);
    // (A string made from 0, not assigned from "0": GCC 12 at -O3 takes the
    // literal's assignment for an overlapping copy and fails the build.)
    for (int column = kBadBlockChannels + 1; column < kBadBlockGridSize; ++column) grid.Cell(column, c + 1) = Decimal(0);
  }
}

// One failed position of a run-time entry: counted where the tables have a
// cell for it, listed in any case.
void AddRunTimeRow(BadBlockCounts& counts, BadBlockViews& views, const BadBlockPositions& positions, int row,
                   uint16_t block, int channel, int ce, const std::string& plane) {
  if (channel < kBadBlockChannels && ce < kBadBlockCes) {
    ++counts.RunTime[channel][ce];
    const uint8_t mappedChannel = positions.Channels[static_cast<size_t>(channel)];
    const uint8_t mappedCe = positions.Ces[static_cast<size_t>(ce)];
    if (mappedChannel < kBadBlockChannels && mappedCe < kBadBlockCes) {
      ++counts.RunTimeMapped[mappedChannel][mappedCe];
    } else {
      ++counts.OutsideTotalGrid;
    }
  } else {
    ++counts.OutsideRunTimeGrid;
    ++counts.OutsideTotalGrid;
  }
  views.TotalList.push_back({Decimal(row), BlockText("*0x%04X", block), Decimal(channel), Decimal(ce), plane});
}

// The text of a failure, with the note on the command address where the
// code has one.
std::string Failure(const char* format, int32_t code, const VE4810VO& controller) {
  return FailText(format, code, controller);
}

}  // namespace

void WriteBadBlockGridHeaders(BadBlockViews& views) {
  for (BadBlockGrid* grid : {&views.Original, &views.RunTime, &views.Total}) {
    for (int i = 1; i < kBadBlockGridSize; ++i) {
      grid->Cell(i, 0) = "CH" + Decimal(i - 1);
      grid->Cell(0, i) = "CE" + Decimal(i - 1);
    }
  }
}

BadBlockPositions BuildBadBlockPositions(const CardInfo& card) {
  BadBlockPositions positions;
  positions.Ces.fill(kNoPosition);
  positions.Channels.fill(kNoPosition);
  size_t n = 0;
  for (int c = 0; c < kBadBlockCes; ++c) {
    if (card.FlashId(c, 0)[0] != 0) positions.Ces[n++] = static_cast<uint8_t>(c);
  }
  n = 0;
  for (int h = 0; h < kBadBlockChannels; ++h) {
    if (card.FlashId(0, h)[0] != 0) positions.Channels[n++] = static_cast<uint8_t>(h);
  }
  return positions;
}

int ApplyOriginalBadBlockTable(std::span<const uint8_t> table, BadBlockCounts& counts, BadBlockViews& views) {
  int n = 0;
  for (int h = 0; h < kBadBlockChannels; ++h) {
    for (int c = 0; c < kBadBlockCes; ++c) {
      int sum = 0;
      for (int k = 0; k < 4; ++k) sum += U16(table, static_cast<size_t>(2 * (32 * h + 4 * c + k)));
      counts.Original[h][c] = sum;
      n += sum;
    }
  }
  WriteGrid(views.Original, counts.Original);
  views.OriginalList.clear();
  views.TotalList.clear();
  n = std::min(n, kOriginalBadBlockListLimit);
  for (int i = 0; i < n; ++i) {
    const size_t at = kOriginalBadBlockEntriesOffset + 4 * static_cast<size_t>(i);
    const uint16_t block = U16(table, at);
    const uint16_t position = U16(table, at + 2);
    const Row row = {Decimal(i), BlockText("0x%04X", block), Decimal((position >> 4) & 0x0F),
                     Decimal(position & 0x0F), Decimal((position >> 8) & 0x0F)};
    views.OriginalList.push_back(row);
    views.TotalList.push_back(row);
  }
  return n;
}

void ApplyMarkBadRecord(std::span<const uint8_t> record, const CardInfo& card, const BadBlockPositions& positions,
                        int firstRow, BadBlockCounts& counts, BadBlockViews& views) {
  const auto stated = static_cast<int16_t>(U16(record, 0));
  const size_t inside = record.size() > kMarkBadEntriesOffset
                            ? (record.size() - kMarkBadEntriesOffset) / kMarkBadEntrySize
                            : 0;
  const size_t entries = stated > 0 ? std::min(static_cast<size_t>(stated), inside) : 0;
  const int blocksPerCe = card.BlocksPerCe();
  const int ways = card.InterleaveWays();
  int row = firstRow;
  for (size_t i = 0; i < entries; ++i) {
    const std::span<const uint8_t> entry = record.subspan(kMarkBadEntriesOffset + kMarkBadEntrySize * i, kMarkBadEntrySize);
    const uint16_t block = U16(entry, 0);
    const uint16_t field = U16(entry, 2);
    const uint8_t reason = entry[7];
    const int base = blocksPerCe > 0 ? (block / blocksPerCe) * ways : 0;
    if (reason == kMarkBadEraseFail) {
      for (int h = 0; h < 4; ++h) {
        for (int k = 0; k < 4; ++k) {
          if (((field >> (4 * h + k)) & 1) == 0) continue;
          AddRunTimeRow(counts, views, positions, row++, block, h, (k + base) & 0xFF, kNotApplicable);
        }
      }
    } else {
      const int channel = entry[6] >> 4;
      const int plane = entry[6] & 0x0F;
      const int ce = ((field >> 12) + base) & 0xFF;
      AddRunTimeRow(counts, views, positions, row++, block, channel, ce, Decimal(plane));
    }
  }
}

void WriteRunTimeAndTotalGrids(const BadBlockCounts& counts, BadBlockViews& views) {
  WriteGrid(views.RunTime, counts.RunTime);
  int total[kBadBlockChannels][kBadBlockCes] = {};
  for (int h = 0; h < kBadBlockChannels; ++h) {
    for (int c = 0; c < kBadBlockCes; ++c) total[h][c] = counts.Total(h, c);
  }
  WriteGrid(views.Total, total);
}

bool WriteOriginalBadBlockFile(const std::filesystem::path& folder, std::span<const uint8_t> table) {
  std::ofstream file(folder / kOriginalBadBlockFileName, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size()));
  file.close();
  return !file.fail();
}

BadBlockReadOutcome ReadBadBlocks(AppState& state, Feedback& feedback, BadBlockViews& views) {
  BadBlockReadOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();

  const CardInfo card(SelectedCardInfo(state));
  const BadBlockPositions positions = BuildBadBlockPositions(card);
  BadBlockCounts& counts = out.Counts;

  const DiagnosticProgram tableProgram = ReadDiagnosticProgram(state, feedback, kDgIspReadFlashDiagnosis);
  if (!controller->Open(true)) {
    out.Status = FlashStatus::kFailed;
    out.Message = kBadBlockAccessFailText;
    feedback.ShowStatus(out.Message);
    return out;
  }

  std::unique_ptr<uint8_t[]> table(new (std::nothrow) uint8_t[kOriginalBadBlockTableSize]);
  SendDiagnosticProgram(*controller, tableProgram);
  if (!table) {
    feedback.MessageBox(kBadBlockMemoryFailText, kErrorCaption, MessageIcon::Error);
    controller->Close();
    out.Status = FlashStatus::kFailed;
    out.Message = kBadBlockMemoryFailText;
    feedback.ShowStatus(out.Message);
    return out;
  }

  const std::span<uint8_t> answer(table.get(), kOriginalBadBlockTableSize);
  std::fill(answer.begin(), answer.end(), 0);
  int n = 0;
  out.BadBlockInfoResult = controller->ReadBadBlockInfo(kOriginalBadBlockTableSelector, answer);
  if (out.BadBlockInfoResult == kResultSuccess) {
    n = ApplyOriginalBadBlockTable(answer, counts, views);
    if (state.SaveLogMode) out.OriginalFileWritten = WriteOriginalBadBlockFile(state.LogFolderName, answer);
  }

  LoadDiagnosticProgram(state, feedback, kDgIspReadBadInfo);
  const std::span<uint8_t> record = std::span<uint8_t>(state.PageDataBuffer).first(kBadBlockMarkBadSectors * 512);
  out.MarkBadInfoResult = controller->ReadMarkBadInfo(kBadBlockMarkBadSectors, record);
  if (out.MarkBadInfoResult == kResultSuccess) {
    ApplyMarkBadRecord(record.first(kBadBlockMarkBadRecordSize), card, positions, n, counts, views);
  }
  WriteRunTimeAndTotalGrids(counts, views);
  controller->Close();

  std::string message;
  if (out.BadBlockInfoResult != kResultSuccess) {
    message = Failure(kReadBadBlockInfoFailFormat, out.BadBlockInfoResult, *controller);
  }
  if (out.MarkBadInfoResult != kResultSuccess) {
    if (!message.empty()) message += ", ";
    message += Failure(kBadBlockReadMarkBadFailFormat, out.MarkBadInfoResult, *controller);
  }
  out.Status = message.empty() ? FlashStatus::kDone : FlashStatus::kFailed;
  out.Message = message.empty() ? kBadBlockAccessSuccessText : message;
  feedback.ShowStatus(out.Message);
  return out;
}

bool BadBlockCellPopulated(const AppState& state, int column, int row) {
  if (state.SelectedDevice < 0 || state.SelectedDevice >= kMaxControllers) return false;
  if (row < 1 || row > kBadBlockCes || column < 1 || column > kBadBlockChannels) return false;
  const CardInfo card(SelectedCardInfo(state));
  return card.HasChip(row - 1, 0) && card.HasChip(0, column - 1);
}

}  // namespace dozered
