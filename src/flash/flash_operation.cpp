#include "flash/flash_operation.h"

#include "decode/hex_dump.h"
#include "protocol/card_info.h"
#include "protocol/result_text.h"

namespace dozered {

FlashRun::FlashRun(AppState& state, Feedback& feedback) : scope_(feedback) {
  const int s = state.SelectedDevice;
  if (s >= 0 && s < kMaxControllers) {
    controller_ = &state.Controllers[static_cast<size_t>(s)];
    state.CurrentController = controller_;
  }
}

void Report(Feedback& feedback, FlashOutcome& out, FlashStatus status, std::string message, int32_t result) {
  out.Status = status;
  out.Result = result;
  out.Message = std::move(message);
  feedback.ReportStatus(out.Message);
}

std::string FailText(const char* format, int32_t code, const VE4810VO& controller) {
  return FormatResultMessage(format, code, controller.CommandAddress);
}

std::string WithResultNote(std::string message, int32_t code, const VE4810VO& controller) {
  const std::string note = ResultCodeNote(code, controller.CommandAddress);
  if (!note.empty()) message += " " + note;
  return message;
}

std::string DumpLines(AppState& state, std::span<const uint8_t> bytes) {
  const size_t length = FormatHexDump(bytes, state.DumpTextBuffer.data(), state.DumpTextBuffer.size());
  if (length <= kHexDumpLineSize) return std::string();
  return std::string(state.DumpTextBuffer.data() + kHexDumpLineSize, length - kHexDumpLineSize);
}

std::span<const uint8_t> SelectedCardInfo(const AppState& state) {
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) return {};
  return std::span<const uint8_t>(state.CardInfoTable[static_cast<size_t>(s)]).first(kCardInfoSize);
}

}  // namespace dozered
