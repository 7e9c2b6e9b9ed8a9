#include "app/page_read.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <vector>

#include "app/code_loading.h"
#include "app/config_file.h"
#include "app/feedback.h"
#include "app/page_table.h"
#include "app/paths.h"
#include "app/redaction.h"
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
constexpr char kEcTableIni[] = "ECTable.ini";
constexpr char kCidTableIni[] = "CIDTable.ini";

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

std::span<const uint8_t> CardInfoRecord(const AppState& state, int device) {
  return std::span<const uint8_t>(state.CardInfoTable[device]).first(kCardInfoSize);
}

// The card-information record as it is shown (a copy: the table keeps what
// the drive sent).
std::array<uint8_t, kCardInfoSize> CardInfoAsShown(const AppState& state, int device) {
  std::array<uint8_t, kCardInfoSize> record{};
  std::copy_n(state.CardInfoTable[device].begin(), kCardInfoSize, record.begin());
  RedactRecord(state, device, record);
  return record;
}

// How the read ended; the message is reported (the clear timer runs) or, with
// `stays`, shown.
void Finish(PageReadOutput& out, Feedback& feedback, PageReadStatus status, std::string message,
            int32_t result = kResultSuccess, bool stays = false) {
  out.Status = status;
  out.Result = result;
  out.Message = std::move(message);
  if (stays) {
    feedback.ShowStatus(out.Message);
  } else {
    feedback.ReportStatus(out.Message);
  }
}

// Success, or success with the note of a file the read could not use.
void Succeed(PageReadOutput& out, Feedback& feedback, const char* success, const std::string& note) {
  if (note.empty()) {
    Finish(out, feedback, PageReadStatus::kRead, success);
  } else {
    Finish(out, feedback, PageReadStatus::kReadWithNote, note);
  }
}

// The note for layout file `name` (read once for this read) that is there
// but gave no rows; "" when it is missing or gave rows.
std::string LayoutNote(const ConfigIni& file, const char* name, const Rows& rows) {
  if (file.state == ConfigFileState::kMissing || !rows.empty()) return std::string();
  return file.state == ConfigFileState::kReadable ? std::string(name) + " has no usable layout"
                                                  : ConfigFileNote(file.state, name);
}

// The record is dumped whether or not the read succeeded, as the page always
// did; a failed read says so, and leaves the temperature as it was.
void ReadFlashIdPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  const int32_t r = state.CurrentController->ReadFlashId(kFlashIdReadSectors, state.CardInfoTable[s]);
  out.Dump = HexDumpText(state, CardInfoAsShown(state, s));
  if (r != kResultSuccess) {
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kReadFlashIdFailFormat, r), r);
    return;
  }
  Finish(out, feedback, PageReadStatus::kRead, kReadFlashIdSuccessText);
  out.Temperature = state.CardInfoTable[s][card_info_offset::kTemperature];
}

// With ECTable.ini beside the executable the file alone decodes the data;
// without it the built-in table does.
void IdentifyTablePage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  IdentifyBlock identify = IdentifyAsShown(state, s);
  RedactRecord(state, s, identify);
  out.Dump = HexDumpText(state, identify);
  const ConfigIni file = ReadConfigIni(PathBesideExecutable(state, kEcTableIni));
  Rows rows;
  if (file.state == ConfigFileState::kMissing) {
    rows = DecodeIdentify(identify, nullptr);
  } else if (file.ini) {
    rows = DecodeIdentify(identify, &*file.ini);
  }
  const std::string note = LayoutNote(file, kEcTableIni, rows);
  out.List = std::move(rows);
  Succeed(out, feedback, kReadConfigurationTableSuccessText, note);
}

void SmartInfoPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  std::span<uint8_t> smart = std::span<uint8_t>(state.PageDataBuffer).first(kSmartBytes);
  int32_t r = state.CurrentController->ReadSmart(kSmartSubCommand, smart);
  if (r != kResultSuccess) {
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kReadSmartFailFormat, r), r);
    return;
  }
  RedactRecord(state, s, smart);
  out.Dump = HexDumpText(state, smart);
  std::string note;
  out.List = DecodeSmart(smart, SmartNamesFor(state, s, &note));
  Succeed(out, feedback, kReadSmartSuccessText, note);
}

void CardInfoPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  const std::array<uint8_t, kCardInfoSize> record = CardInfoAsShown(state, s);
  out.Dump = HexDumpText(state, record);
  out.List = DecodeCardInfo(CardInfo(record));
  Finish(out, feedback, PageReadStatus::kRead, kReadCardInfoSuccessText);
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
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kReadEraseCountFailFormat, r), r);
    return;
  }
  RedactRecord(state, s, table);
  out.Dump = HexDumpText(state, table);
  out.List = ReadEraseCountRows(state, s);
  Finish(out, feedback, PageReadStatus::kRead, kReadEraseCountSuccessText);
}

void CidOptionPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  auto& controller = *state.CurrentController;
  if (!controller.Open(true)) {
    Finish(out, feedback, PageReadStatus::kFailed, kAccessDeviceFailText, kResultOpenFailed);
    return;
  }
  uint8_t* buffer = state.PageDataBuffer.data();
  int32_t r = controller.ReadCid(std::span<uint8_t>(state.PageDataBuffer).first(kCidReplyBytes));
  if (r != kResultSuccess) {
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kRetrieveCidFailFormat, r), r);
  } else {
    std::memmove(buffer, buffer + kCidBlockOffset, kCidBlockSize);
    RedactRecord(state, s, std::span<uint8_t>(buffer, kCidBlockSize));
    std::span<const uint8_t> cid(buffer, kCidBlockSize);
    out.Dump = HexDumpText(state, cid);
    const ConfigIni file = ReadConfigIni(PathBesideExecutable(state, kCidTableIni));
    Rows rows = DecodeCid(cid, file.ini ? &*file.ini : nullptr);
    const std::string note = LayoutNote(file, kCidTableIni, rows);
    out.List = std::move(rows);
    Succeed(out, feedback, kRetrieveCidSuccessText, note);
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
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kReadMarkBadFailFormat, r), r, true);
    return;
  }
  RedactRecord(state, s, record);
  feedback.ProcessPendingEvents();
  MarkBadResult decoded = DecodeMarkBad(card, record);
  out.List = std::move(decoded.rows);
  out.MarkBadCount = std::move(decoded.TotalCount);
  Finish(out, feedback, PageReadStatus::kRead, kParsingMarkBadSuccessText);
}

// Cleared first, so that a failed read shows zeros rather than stale bytes;
// the zeros are shown as the page always did, and the failure is said.
void ErrorLogPage(AppState& state, Feedback& feedback, int s, PageReadOutput& out) {
  std::array<uint8_t, kErrorLogBytes> log{};
  const int32_t r = state.CurrentController->ReadErrorLog(kErrorLogReadSectors, log);
  RedactRecord(state, s, log);
  out.Dump = HexDumpText(state, std::span<const uint8_t>(log).first(kErrorLogDumpBytes));
  out.List = DecodeErrorLog(log);
  if (r != kResultSuccess) {
    Finish(out, feedback, PageReadStatus::kFailed, FormatResult(kReadErrorLogFailFormat, r), r);
    return;
  }
  Finish(out, feedback, PageReadStatus::kRead, kReadErrorLogSuccessText);
}

using PageReadFunction = void (*)(AppState&, Feedback&, int, PageReadOutput&);

PageReadFunction ReaderFunction(PageReader reader) {
  switch (reader) {
    case PageReader::kFlashId: return ReadFlashIdPage;
    case PageReader::kIdentifyTable: return IdentifyTablePage;
    case PageReader::kSmartInfo: return SmartInfoPage;
    case PageReader::kCardInfo: return CardInfoPage;
    case PageReader::kEraseCount: return EraseCountPage;
    case PageReader::kCidOption: return CidOptionPage;
    case PageReader::kMarkBadInfo: return MarkBadInfoPage;
    case PageReader::kErrorLog: return ErrorLogPage;
    case PageReader::kNone: break;
  }
  return nullptr;
}

}  // namespace

SmartNames SmartNamesFor(const AppState& state, int device, std::string* note) {
  const std::filesystem::path path = DiagnosticCodePathFor(state, device, "String.ini");
  if (!path.empty()) {
    const ConfigIni file = ReadConfigIni(path);
    if (file.ini) {
      if (std::optional<SmartNames> names = PerModelNames(*file.ini)) return std::move(*names);
    }
    if (note != nullptr && file.state != ConfigFileState::kMissing) {
      const std::string name = PathText(path.lexically_relative(state.ExecutableDir));
      *note = file.state == ConfigFileState::kReadable ? name + " names no attribute; the start-up names are used"
                                                        : ConfigFileNote(file.state, name);
    }
  }
  return NamesFromTable(state.AttributeNames);
}

PageReadOutput ReadPageData(AppState& state, Feedback& feedback, int page) {
  RunScope run(feedback);
  PageReadOutput out;
  const PageInfo* row = PageRow(page);
  const PageReadFunction read = row != nullptr ? ReaderFunction(row->Reader) : nullptr;
  if (read == nullptr) {
    Finish(out, feedback, PageReadStatus::kNotSupported, kFunctionNotSupportedText);
    return out;
  }
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) {
    out.Status = PageReadStatus::kNoDevice;
    if (row->NoDeviceMessage) {
      out.Dump = std::string();
      Finish(out, feedback, PageReadStatus::kNoDevice, kNoDeviceText);
    }
    return out;
  }
  state.CurrentController = &state.Controllers[s];
  read(state, feedback, s, out);
  return out;
}

bool PageHasRawViewSwitch(int page) {
  const PageInfo* row = PageRow(page);
  return row != nullptr && row->RawViewSwitch;
}

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
