#include "reports/save_operations.h"

#include <cstdio>

#include "app/page_read.h"
#include "app/page_table.h"
#include "app/paths.h"
#include "decode/record_decoders.h"
#include "flash/flash_fields.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "reports/report_files.h"
#include "reports/report_layouts.h"

namespace dozered {
namespace {

constexpr size_t kSmartFileBytes = 512;
constexpr size_t kCidFileBytes = 128;
constexpr char kEraseCountFileName[] = "EraseCnt.txt";

std::vector<uint8_t> Copy(std::span<const uint8_t> bytes) { return std::vector<uint8_t>(bytes.begin(), bytes.end()); }

bool HasSelectedDrive(const AppState& state) {
  return state.SelectedDevice >= 0 && state.SelectedDevice < kMaxControllers;
}

std::string FormatCode(const char* format, int32_t code) {
  char text[96];
  std::snprintf(text, sizeof text, format, static_cast<int>(code));
  return text;
}

// Writes one chosen file; a failure is reported and turns the outcome into a failure.
void WriteChosen(Feedback& feedback, SaveOutcome& out, const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  if (WriteReportFile(path, bytes)) {
    out.Files.push_back(path);
    if (out.Status == SaveStatus::kNothing) out.Status = SaveStatus::kSaved;
    return;
  }
  char text[600];
  std::snprintf(text, sizeof text, kSaveFileFailFormat, PathText(path).substr(0, 500).c_str());
  out.Status = SaveStatus::kFailed;
  out.Message = text;
  feedback.ReportStatus(out.Message);
}

std::span<const uint8_t> AsBytes(std::string_view text) {
  return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace

uint32_t BadBlockTotal(const AppState& state, int device) {
  if (device < 0 || device >= kMaxControllers) return 0;
  const CardInfo card(std::span<const uint8_t>(state.CardInfoTable[static_cast<size_t>(device)]).first(kCardInfoSize));
  return static_cast<uint32_t>(card.RuntimeBadBlockCount()) + card.OriginalBadBlockCount() +
         card.PretestBadBlockCount();
}

std::vector<BinFile> BinFilesForPage(const AppState& state, int page, int flashRwSectorItem) {
  const bool drive = HasSelectedDrive(state);
  const auto device = static_cast<size_t>(drive ? state.SelectedDevice : 0);
  const std::span<const uint8_t> pageData(state.PageDataBuffer);
  switch (page) {
    case kPageReadFlashId:
      if (!drive) return {};
      return {{"FlashId", Copy(std::span<const uint8_t>(state.CardInfoTable[device]).first(kCardInfoSize))}};
    case kPageIdentifyTable:
      if (!drive) return {};
      return {{"IdTable", Copy(state.IdentifyTable[device])}};
    case kPageSmartInfo:
      return {{"SmartData", Copy(pageData.first(kSmartFileBytes))}};
    case kPageCardInfo:
      if (!drive) return {};
      return {{"CardInfo", Copy(std::span<const uint8_t>(state.CardInfoTable[device]).first(kCardInfoSize))}};
    case kPageEraseCount:
      return {{"EraseCnt", Copy(pageData.first(kEraseCountTableSize))}};
    case kPageCidOption:
      return {{"CID", Copy(pageData.first(kCidFileBytes))}};
    case kPageFlashRw: {
      const size_t data = DataSectorsForItem(flashRwSectorItem) * kSectorBytes;
      const std::span<const uint8_t> flash(state.FlashPageBuffer);
      return {{"FlashData", Copy(flash.first(data))}, {"FlashDataSpare", Copy(flash.subspan(data, kSectorBytes))}};
    }
    default:
      return {};
  }
}

SaveOutcome SaveToBinFile(const AppState& state, Feedback& feedback, int page, int flashRwSectorItem,
                          const ChooseSaveFile& choose) {
  SaveOutcome out;
  // Each dialog stands on its own: cancelling the page data's dialog on
  // Flash RW still offers the spare sector.
  for (const BinFile& file : BinFilesForPage(state, page, flashRwSectorItem)) {
    const std::filesystem::path path = choose(file.DefaultName);
    if (path.empty()) continue;
    WriteChosen(feedback, out, path, file.Bytes);
  }
  return out;
}

bool TxtFileForPage(int page, const PageViewText& view, std::string& defaultName, std::string& content) {
  switch (page) {
    case kPageIdentifyTable:
      defaultName = "IdTable";
      content = IdentifyLayout(view.List);
      return true;
    case kPageSmartInfo:
      defaultName = "SmartData";
      content = SmartLayout(view.List);
      return true;
    case kPageCardInfo:
      defaultName = "CardInfo";
      content = CaptionLayout(view.List);
      return true;
    case kPageCidOption:
      defaultName = "CID";
      content = CaptionLayout(view.List);
      return true;
    case kPageChunkEcc:
    case kPageDbsDps:
      if (view.Memo.empty()) return false;
      defaultName = page == kPageChunkEcc ? "ChunkEcc" : "";
      content = MemoLayout(view.Memo);
      return true;
    default:
      return false;
  }
}

SaveOutcome SaveToTxtFile(Feedback& feedback, int page, const PageViewText& view, const ChooseSaveFile& choose) {
  SaveOutcome out;
  std::string defaultName;
  std::string content;
  if (!TxtFileForPage(page, view, defaultName, content)) return out;
  const std::filesystem::path path = choose(defaultName);
  if (path.empty()) return out;
  WriteChosen(feedback, out, path, AsBytes(content));
  return out;
}

SaveOutcome SaveEraseCount(AppState& state, Feedback& feedback, const ChooseSaveFile& choose) {
  RunScope run(feedback);
  SaveOutcome out;
  if (!HasSelectedDrive(state)) return out;
  const int s = state.SelectedDevice;
  state.CurrentController = &state.Controllers[static_cast<size_t>(s)];
  const uint32_t badBlocks = BadBlockTotal(state, s);

  std::vector<uint8_t> table(kEraseCountTableSize);
  const int32_t r = state.CurrentController->ReadEraseCount(kEraseCountReadSectors, table);
  if (r != kResultSuccess) {
    out.Status = SaveStatus::kFailed;
    out.Result = r;
    out.Message = FormatCode(kReadEraseCountFailFormat, r);
    feedback.ReportStatus(out.Message);
    return out;
  }
  const CardInfo card(std::span<const uint8_t>(state.CardInfoTable[static_cast<size_t>(s)]).first(kCardInfoSize));
  const std::string text = EraseCountExportLayout(table, card.EraseCountStartBlock(), badBlocks);

  std::filesystem::path path;
  if (state.EraseCountLogMode) {
    const auto inLog = LogFilePath({}, state.LogFolderName, kEraseCountFileName);
    if (!inLog) {
      out.Status = SaveStatus::kFailed;
      // The folder name is not one plain name: nothing is joined to it.
      out.Message = "Save file fail: " + state.LogFolderName.substr(0, 200);
      feedback.ReportStatus(out.Message);
      return out;
    }
    path = *inLog;
  } else {
    if (choose) path = choose("EraseCnt");
    if (path.empty()) return out;
  }
  WriteChosen(feedback, out, path, AsBytes(text));
  return out;
}

EraseCountAnalysis ReadEraseCountAnalysis(AppState& state, Feedback& feedback) {
  RunScope run(feedback);
  EraseCountAnalysis out;
  if (!HasSelectedDrive(state)) return out;
  const int s = state.SelectedDevice;
  state.CurrentController = &state.Controllers[static_cast<size_t>(s)];
  std::vector<uint8_t> table(kEraseCountTableSize);
  out.Result = state.CurrentController->ReadEraseCount(kEraseCountReadSectors, table);
  if (out.Result != kResultSuccess) {
    feedback.ReportStatus(FormatCode(kReadEraseCountFailFormat, out.Result));
    return out;
  }
  const CardInfo card(std::span<const uint8_t>(state.CardInfoTable[static_cast<size_t>(s)]).first(kCardInfoSize));
  const EraseCountRange range = EraseCountBlockRange(table, card.EraseCountStartBlock());
  out.Read = true;
  out.AxisMaximum = range.End;
  out.List = DecodeEraseCountTable(table, card.EraseCountStartBlock());
  out.Points.reserve(static_cast<size_t>(range.Blocks()));
  for (int i = range.First; i < range.End; ++i) {
    const uint16_t entry = EraseCountEntry(table, i);
    out.Points.emplace_back(i, entry == kBadBlockEntry ? 0 : (entry & 0x7FFF));
  }
  return out;
}

}  // namespace dozered
