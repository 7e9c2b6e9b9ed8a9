#include "app/page_read.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

#include "app/code_loading.h"
#include "app/feedback.h"
#include "decode/card_info_decoder.h"
#include "decode/hex_dump.h"
#include "decode/identify.h"
#include "decode/record_decoders.h"
#include "decode/smart.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {

namespace {

constexpr size_t kSmartBytes = 512;
constexpr size_t kCidReplyBytes = 512;
constexpr size_t kErrorLogBytes = kErrorLogReadSectors * 512;
constexpr size_t kErrorLogDumpBytes = 512;

std::string FormatResult(const char* format, int32_t result) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<int>(result));
  return text;
}

// The hex dump of `bytes`, built in the shared dump text area.
std::string HexDumpText(AppState& state, std::span<const uint8_t> bytes) {
  size_t length = FormatHexDump(bytes, state.DumpTextBuffer.data(), state.DumpTextBuffer.size());
  return std::string(state.DumpTextBuffer.data(), length);
}

std::filesystem::path ExecutableDir(const AppState& state) { return std::filesystem::path(state.ExecutableDir); }

std::span<const uint8_t> CardInfoRecord(const AppState& state, int device) {
  return std::span<const uint8_t>(state.CardInfoTable[device]).first(kCardInfoSize);
}

bool PageReadsDrive(int page) {
  switch (page) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 10: case 13:
      return true;
    default:
      return false;
  }
}

void ReadFlashIdPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  state.CurrentController->ReadFlashId(kFlashIdReadSectors, state.CardInfoTable[s]);
  out.Dump = HexDumpText(state, CardInfoRecord(state, s));
  feedback.ReportStatus(kReadFlashIdSuccessText);
  out.Temperature = state.CardInfoTable[s][card_info_offset::kTemperature];
}

void IdentifyTablePage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  out.Dump = HexDumpText(state, state.IdentifyTable[s]);
  out.List = DecodeIdentify(state.IdentifyTable[s], ExecutableDir(state));
  feedback.ReportStatus(kReadConfigurationTableSuccessText);
}

void SmartInfoPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  std::span<uint8_t> smart = std::span<uint8_t>(state.PageDataBuffer).first(kSmartBytes);
  int32_t r = state.CurrentController->ReadSmart(kSmartSubCommand, smart);
  if (r != kResultSuccess) {
    feedback.ReportStatus(FormatResult(kReadSmartFailFormat, r));
    return;
  }
  out.Dump = HexDumpText(state, smart);
  out.List = DecodeSmart(smart, SmartNamesFor(state, s));
  feedback.ReportStatus(kReadSmartSuccessText);
}

void CardInfoPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  out.Dump = HexDumpText(state, CardInfoRecord(state, s));
  out.List = DecodeCardInfo(CardInfo(CardInfoRecord(state, s)));
  feedback.ReportStatus(kReadCardInfoSuccessText);
}

// The erase-count list reads the table again into a buffer of its own; a
// failed read leaves the list empty.
Rows ReadEraseCountRows(AppState& state, int s) {
  std::vector<uint8_t> table(kEraseCountTableSize);
  if (state.CurrentController->ReadEraseCount(kEraseCountReadSectors, table) != kResultSuccess) return {};
  return DecodeEraseCountTable(table, CardInfo(CardInfoRecord(state, s)).EraseCountStartBlock());
}

void EraseCountPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  std::span<uint8_t> table = std::span<uint8_t>(state.PageDataBuffer).first(kEraseCountTableSize);
  int32_t r = state.CurrentController->ReadEraseCount(kEraseCountReadSectors, table);
  if (r != kResultSuccess) {
    feedback.ReportStatus(FormatResult(kReadEraseCountFailFormat, r));
    return;
  }
  out.Dump = HexDumpText(state, table);
  out.List = ReadEraseCountRows(state, s);
  feedback.ReportStatus(kReadEraseCountSuccessText);
}

void CidOptionPage(AppState& state, Feedback& feedback, PageReadOutput& out) {
  auto& controller = *state.CurrentController;
  if (!controller.Open(true)) {
    feedback.ReportStatus(kAccessDeviceFailText);
    return;
  }
  uint8_t* buffer = state.PageDataBuffer.data();
  int32_t r = controller.ReadCid(std::span<uint8_t>(state.PageDataBuffer).first(kCidReplyBytes));
  if (r != kResultSuccess) {
    feedback.ReportStatus(FormatResult(kRetrieveCidFailFormat, r));
  } else {
    std::memmove(buffer, buffer + kCidBlockOffset, kCidBlockSize);
    std::span<const uint8_t> cid(buffer, kCidBlockSize);
    out.Dump = HexDumpText(state, cid);
    out.List = DecodeCid(cid, ExecutableDir(state));
    feedback.ReportStatus(kRetrieveCidSuccessText);
  }
  controller.Close();
}

void MarkBadInfoPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  out.List = Rows{};
  CardInfo card(CardInfoRecord(state, s));
  if (card.CardMode() == kCardModeNormalFirmware) {
    std::array<uint8_t, kDiagnosticCodeBufferSize> payload{};
    uint32_t loadAddress = 0;
    if (LoadDiagnosticCodeFile(state, feedback, kDgIspReadBadInfo, payload, loadAddress)) {
      state.CurrentController->LoadDiagnosticCode(loadAddress, kDiagnosticCodeSectors, payload);
    }
  }
  std::span<uint8_t> record = std::span<uint8_t>(state.PageDataBuffer).first(kMarkBadRecordSize);
  int32_t r = state.CurrentController->ReadMarkBadInfo(kMarkBadReadSectors, record);
  if (r != kResultSuccess) {
    feedback.ShowStatus(FormatResult(kReadMarkBadFailFormat, r));
    return;
  }
  feedback.ProcessPendingEvents();
  MarkBadResult decoded = DecodeMarkBad(card, record);
  out.List = std::move(decoded.rows);
  out.MarkBadCount = std::move(decoded.TotalCount);
  feedback.ReportStatus(kParsingMarkBadSuccessText);
}

void ErrorLogPage(AppState& state, Feedback& feedback, PageReadOutput& out) {
  // Cleared first, so that a failed read shows zeros rather than stale bytes.
  std::array<uint8_t, kErrorLogBytes> log{};
  state.CurrentController->ReadErrorLog(kErrorLogReadSectors, log);
  out.Dump = HexDumpText(state, std::span<const uint8_t>(log).first(kErrorLogDumpBytes));
  out.List = DecodeErrorLog(log);
  feedback.ReportStatus(kReadErrorLogSuccessText);
}

}  // namespace

SmartNames SmartNamesFor(const AppState& state, int device) {
  std::optional<SmartNames> perModel = LoadPerModelNames(DiagnosticCodePathFor(state, device, "String.ini"));
  return perModel ? std::move(*perModel) : NamesFromTable(state.AttributeNames);
}

PageReadOutput ReadPageData(AppState& state, Feedback& feedback, int page) {
  PageReadOutput out;
  if (!PageReadsDrive(page)) {
    feedback.ReportStatus(kFunctionNotSupportedText);
    return out;
  }
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) {
    if (page == 0) {
      out.Dump = std::string();
      feedback.ReportStatus(kNoDeviceText);
    }
    return out;
  }
  state.CurrentController = &state.Controllers[s];
  switch (page) {
    case 0: ReadFlashIdPage(state, feedback, s, out); break;
    case 1: IdentifyTablePage(state, feedback, s, out); break;
    case 2: SmartInfoPage(state, feedback, s, out); break;
    case 3: CardInfoPage(state, feedback, s, out); break;
    case 4: EraseCountPage(state, feedback, s, out); break;
    case 5: CidOptionPage(state, feedback, out); break;
    case 10: MarkBadInfoPage(state, feedback, s, out); break;
    case 13: ErrorLogPage(state, feedback, out); break;
    default: break;
  }
  return out;
}

bool PageHasRawViewSwitch(int page) { return (page >= 1 && page <= 5) || page == 13; }

std::vector<std::string> RefreshTemperatureLines(const std::vector<std::string>& lines, uint8_t reading) {
  char line[64];
  std::snprintf(line, sizeof line, "Temperature Sensor(D): %02d", static_cast<int>(reading));
  std::vector<std::string> out = lines;
  for (std::string& l : out) {
    if (l.find(kTemperatureLineTag) != std::string::npos) l = line;
  }
  return out;
}

std::string IdentifyRowStatusText(const Row& row) {
  std::string text;
  for (size_t i = 1; i < row.size(); ++i) {
    text += row[i];
    text += "\r\n";
  }
  return text;
}

}  // namespace dozered
