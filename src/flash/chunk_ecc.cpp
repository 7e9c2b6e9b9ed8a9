#include "flash/chunk_ecc.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "app/settings.h"
#include "decode/text_helpers.h"
#include "flash/diagnostic_code.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

// The largest answer a card information record can ask for must fit the
// buffer the range run reads it into.
// The record's values are clamped to 64 chunks and 4 planes.
constexpr size_t kLargestAnswerBytes = (64 + 1) * 4 * kChunkEccRetryRows;
static_assert((kLargestAnswerBytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes <= kSharedBufferSize,
              "a chunk-ECC answer must fit PageDataBuffer");

void Append(std::string& text, const char* format, unsigned value) {
  char field[32];
  std::snprintf(field, sizeof field, format, value);
  text += field;
}

// A selection box's text as its number: the whole text in decimal digits,
// below the item count. Nothing when nothing is selected.
std::optional<uint32_t> Selection(const std::string& text, int items) {
  int value = 0;
  if (!ParseSettingsNumber(text, value) || value < 0 || value >= items) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool BesideExecutable(const AppState& state, const char* name) {
  std::error_code error;
  return std::filesystem::is_regular_file(state.ExecutableDir / name, error);
}

}  // namespace

uint8_t ChunkEccTarget(uint32_t ce, uint32_t ch) {
  return static_cast<uint8_t>(((ce * 8) & 0x38) + (ch & 7));
}

ChunkEccGeometry SelectedChunkEccGeometry(const AppState& state) {
  const std::span<const uint8_t> record = SelectedCardInfo(state);
  if (record.size() < kCardInfoSize) return ChunkEccGeometry{};
  return ChunkEccGeometryFromCardInfo(record.first<kCardInfoSize>());
}

std::string ChunkEccPageText(const ChunkEccGeometry& g, uint32_t block, uint32_t page,
                             std::span<const uint8_t> answer) {
  std::string text;
  char line[64];
  std::snprintf(line, sizeof line, "Block:%04X, Page:%03X\r\n", static_cast<unsigned>(block),
                static_cast<unsigned>(page));
  text += line;
  text += "Chunk : ";
  for (int k = 0; k < g.groupsPerRow; ++k) {
    for (int c = 0; c < g.chunksPerGroup; ++c) Append(text, "%3X", static_cast<unsigned>(c));
    Append(text, "  Spr%1d", static_cast<unsigned>(k));
  }
  text += "\r\n";
  auto count = [&](int row, int group, int chunk) {
    const auto at = static_cast<size_t>(g.Offset(row, group, chunk));
    return at < answer.size() ? static_cast<unsigned>(answer[at]) : 0u;
  };
  for (int r = 0; r < g.retryRows; ++r) {
    Append(text, " RR%2d : ", static_cast<unsigned>(r));
    for (int k = 0; k < g.groupsPerRow; ++k) {
      for (int c = 0; c < g.chunksPerGroup; ++c) Append(text, "%3X", count(r, k, c));
      Append(text, "   %3X", count(r, k, g.chunksPerGroup));
    }
    text += "\r\n";
  }
  return text;
}

FlashOutcome RunChunkEccRange(AppState& state, Feedback& feedback, const ChunkEccFields& fields) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();
  if (!BesideExecutable(state, kDgIspReadChunkEcc)) {
    out.Status = FlashStatus::kFailed;
    feedback.MessageBox(kChunkEccFileMissingText, kErrorCaption, MessageIcon::Error);
    Report(feedback, out, FlashStatus::kFailed, std::string());
    return out;
  }
  // Both boxes start without a selection: nothing is sent until they have one.
  const std::optional<uint32_t> ch = Selection(fields.Ch, kChunkEccChItems);
  const std::optional<uint32_t> ce = Selection(fields.Ce, kChunkEccCeItems);
  if (!ch || !ce) {
    Report(feedback, out, FlashStatus::kRefused, !ch && !ce ? kSelectChAndCeText : !ch ? kSelectChText : kSelectCeText);
    return out;
  }

  OpenDrive drive(*controller);
  if (!drive.IsOpen()) {
    Report(feedback, out, FlashStatus::kFailed, kFlashAccessDeviceFailText, kResultOpenFailed);
    return out;
  }
  // A program that cannot be loaded is announced; the run goes on.
  LoadDiagnosticProgram(state, feedback, kDgIspReadChunkEcc);

  const uint32_t startBlock = ParseHex(fields.StartBlock, kChunkEccBlockChars);
  const uint32_t endBlock = ParseHex(fields.EndBlock, kChunkEccBlockChars);
  const uint32_t startPage = ParseHex(fields.StartPage, kChunkEccPageChars);
  const uint32_t endPage = ParseHex(fields.EndPage, kChunkEccPageChars);
  const uint8_t option = fields.DisableOrphan ? kChunkEccDisableOrphan : 0;
  const ChunkEccGeometry geometry = SelectedChunkEccGeometry(state);
  const auto sectors = static_cast<uint32_t>(geometry.AnswerSectors());
  const std::span<uint8_t> answer = std::span<uint8_t>(state.PageDataBuffer).first(sectors * kSectorBytes);

  FlashAddress address;
  address.page = ChunkEccTarget(*ce, *ch);  // byte 4; byte 12 stays 0
  address.option = option;
  address.chCe = option;
  std::string text;
  out.RawView = std::string();
  for (uint32_t b = startBlock; b <= endBlock; ++b) {
    for (uint32_t p = startPage; p <= endPage; ++p) {
      if (feedback.CancelRequested()) {
        out.RawView = text;
        Report(feedback, out, FlashStatus::kFailed, kReadChunkCancelledText);
        return out;
      }
      address.block = b;
      address.chunk = static_cast<uint8_t>(p);  // higher page bits are not sent
      const int32_t r = controller->ReadChunkEcc(address, sectors, answer);
      if (r != kResultSuccess) {
        out.RawView = std::string();
        Report(feedback, out, FlashStatus::kFailed, WithResultNote(kReadChunkFailText, r, *controller), r);
        return out;
      }
      text += ChunkEccPageText(geometry, b, p, answer);
    }
  }
  out.RawView = std::move(text);
  Report(feedback, out, FlashStatus::kDone, kReadChunkSuccessText);
  return out;
}

FlashOutcome ReadChunkEccPage(AppState& state, Feedback& feedback, const FlashRwFields& fields) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();
  LoadDiagnosticProgram(state, feedback, kDgIspReadChunkEcc);

  const FlashTarget target = ParseFlashTarget(fields);
  // Read beside the buffer, so that a failed read leaves it as the views show it.
  std::vector<uint8_t> reply(static_cast<size_t>(target.ReadSectors) * kSectorBytes);
  const int32_t r = controller->ReadChunkEcc(target.Address, target.ReadSectors, reply);
  if (r != kResultSuccess) {
    Report(feedback, out, FlashStatus::kFailed, FailText(kReadFlashFailFormat, r, *controller), r);
    return out;
  }
  std::copy(reply.begin(), reply.end(), state.FlashPageBuffer.begin());
  out.RawView = DumpLines(state, std::span<const uint8_t>(state.FlashPageBuffer).first(reply.size()));
  out.SpareView = std::string();
  Report(feedback, out, FlashStatus::kDone, kReadFlashSuccessText);
  return out;
}

}  // namespace dozered
