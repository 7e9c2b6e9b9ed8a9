#include "reports/save_info.h"

#include <filesystem>
#include <system_error>

#include "app/device_scan.h"
#include "app/page_table.h"
#include "decode/record_decoders.h"
#include "flash/bad_block.h"
#include "reports/save_operations.h"

namespace dozered {
namespace {

// Sets a flag for the length of a scope and clears it on every way out.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

constexpr size_t kSmartLogBytes = 512;
constexpr size_t kCidLogBytes = 128;
constexpr size_t kMarkBadLogBytes = 8192;

// Writes `name` into the log folder and notes how that went.
void WriteLogFile(const AppState& state, const char* name, std::span<const uint8_t> bytes, SaveLogFiles& files) {
  const std::optional<std::filesystem::path> path = LogFilePath({}, state.LogFolderName, name);
  if (path && WriteReportFile(*path, bytes)) {
    files.Written.emplace_back(name);
  } else {
    files.NotWritten.emplace_back(name);
  }
}

void WriteLogText(const AppState& state, const char* name, const std::string& text, SaveLogFiles& files) {
  WriteLogFile(state, name, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
               files);
}

// The pages whose read the log saves; the others (6, 7, 9) write nothing.
bool PageWritesFiles(int page) {
  switch (page) {
    case kPageReadFlashId:
    case kPageIdentifyTable:
    case kPageSmartInfo:
    case kPageCardInfo:
    case kPageEraseCount:
    case kPageCidOption:
    case kPageMarkBadInfo:
      return true;
    default:
      return false;
  }
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

SaveInfoHooks DefaultSaveInfoHooks() {
  SaveInfoHooks hooks;
  hooks.ReadPage = ReadPageData;
  hooks.ReadBadBlocks = BadBlockReadForLog(&ReadBadBlocks, &WriteBadBlockGridHeaders);
  return hooks;
}

void SaveLogBinary(AppState& state, int page, SaveLogFiles& files) {
  if (std::optional<std::filesystem::path> folder = LogFilePath({}, state.LogFolderName, "x")) {
    std::error_code ec;
    std::filesystem::create_directory(folder->parent_path(), ec);  // a failure shows in the files
  }
  const int s = state.SelectedDevice;
  const bool drive = s >= 0 && s < kMaxControllers;
  const auto device = static_cast<size_t>(drive ? s : 0);
  const std::span<const uint8_t> pageData(state.PageDataBuffer);
  switch (page) {
    case kPageReadFlashId:
      if (drive) WriteLogFile(state, "FlashId.bin", state.CardInfoTable[device], files);
      break;
    case kPageIdentifyTable:
      if (drive) WriteLogFile(state, "IdentifyTable.bin", state.IdentifyTable[device], files);
      break;
    case kPageSmartInfo:
      WriteLogFile(state, "SmartData.bin", pageData.first(kSmartLogBytes), files);
      break;
    case kPageEraseCount:
      WriteLogFile(state, "EraseCnt.bin", pageData.first(kEraseCountTableSize), files);
      break;
    case kPageCidOption:
      WriteLogFile(state, "CID.bin", pageData.first(kCidLogBytes), files);
      break;
    case kPageMarkBadInfo:
      WriteLogFile(state, "MarkBadInfo.bin", pageData.first(kMarkBadLogBytes), files);
      break;
    default:
      break;
  }
}

void SaveLogText(AppState& state, Feedback& feedback, int page, const LogPageViews& views, SaveLogFiles& files) {
  switch (page) {
    case kPageIdentifyTable:
      WriteLogText(state, "IdentifyTable.txt", IdentifyLayout(views.List), files);
      break;
    case kPageSmartInfo:
      WriteLogText(state, "SmartData.txt", SmartLayout(views.List), files);
      break;
    case kPageCardInfo:
      WriteLogText(state, "CardInfo.txt", CaptionLayout(views.List), files);
      break;
    case kPageEraseCount: {
      SaveOutcome exported;
      {
        FlagScope logMode(state.EraseCountLogMode);
        exported = SaveEraseCount(state, feedback, nullptr);
      }
      if (exported.Status == SaveStatus::kSaved) {
        files.Written.emplace_back("EraseCnt.txt");
      } else {
        files.NotWritten.emplace_back("EraseCnt.txt");
      }
      break;
    }
    case kPageCidOption:
      WriteLogText(state, "CID.txt", CaptionLayout(views.List), files);
      break;
    case kPageFlashDiagnosis: {
      const BadBlockLogViews& b = views.BadBlocks;
      WriteLogText(state, "BadBlk_Orig.txt", BadBlockMapLayout(b.Original), files);
      WriteLogText(state, "BadBlk_Runtime.txt", BadBlockMapLayout(b.RunTime), files);
      WriteLogText(state, "BadBlk_Total.txt", BadBlockMapLayout(b.Total), files);
      if (!b.OriginalList.empty()) {
        WriteLogText(state, "BadBlk_OrgParsing.txt", BadBlockListLayout(b.OriginalList), files);
      }
      if (!b.TotalList.empty()) {
        WriteLogText(state, "BadBlk_TotalParsing.txt", BadBlockListLayout(b.TotalList), files);
      }
      break;
    }
    case kPageMarkBadInfo:
      WriteLogText(state, "MarkBadInfo.txt", MarkBadLayout(views.List), files);
      break;
    default:
      break;
  }
}

SaveInfoOutcome SaveInfo(AppState& state, Feedback& feedback, LocalDate today, const SaveInfoHooks& hooks) {
  RunScope run(feedback);
  SaveInfoOutcome out;
  if (state.SelectedDevice < 0 || state.SelectedDevice >= kMaxControllers) {
    out.Message = kNoDeviceText;
    feedback.ReportStatus(out.Message);
    return out;
  }
  {
    FlagScope logMode(state.SaveLogMode);
    state.LogFolderName = NextLogFolderName({}, today);
    out.Folder = state.LogFolderName;

    for (int page = kPageReadFlashId; page <= kPageMarkBadInfo; ++page) {
      if (page == kPageFlashDiagnosis) continue;
      PageReadOutput read = hooks.ReadPage ? hooks.ReadPage(state, feedback, page) : ReadPageData(state, feedback, page);
      if (!PageWritesFiles(page)) continue;
      if (read.Status != PageReadStatus::kRead && read.Status != PageReadStatus::kReadWithNote) {
        out.PagesNotSaved.push_back(page);
        continue;
      }
      LogPageViews views;
      if (read.List) views.List = std::move(*read.List);
      SaveLogBinary(state, page, out.Files);
      SaveLogText(state, feedback, page, views, out.Files);
    }

    LogPageViews diagnosis;
    BadBlockLogRead badBlocks;
    if (hooks.ReadBadBlocks) badBlocks = hooks.ReadBadBlocks(state, feedback, diagnosis.BadBlocks);
    if (badBlocks.OriginalTableRead) {
      (badBlocks.OriginalFileWritten ? out.Files.Written : out.Files.NotWritten).emplace_back("BadBlk_Org.bin");
    }
    if (badBlocks.Read) {
      SaveLogText(state, feedback, kPageFlashDiagnosis, diagnosis, out.Files);
    } else {
      out.PagesNotSaved.push_back(kPageFlashDiagnosis);
    }
  }

  if (out.PagesNotSaved.empty() && out.Files.NotWritten.empty()) {
    out.Status = SaveInfoStatus::kSaved;
    out.Message = kSaveLogSuccessText;
    feedback.ShowStatus(out.Message);
    feedback.MessageBox(kSaveLogFinishText, kMessageCaption, MessageIcon::Information);
    return out;
  }
  out.Status = SaveInfoStatus::kFailed;
  std::vector<std::string> pages;
  for (int page : out.PagesNotSaved) pages.emplace_back(kPages[static_cast<size_t>(page)].Caption);
  std::string details;
  if (!pages.empty()) details += "pages not saved: " + JoinNames(pages);
  if (!out.Files.NotWritten.empty()) {
    details += (details.empty() ? "" : "; ") + std::string("files not written: ") + JoinNames(out.Files.NotWritten);
  }
  out.Message = std::string(kSaveLogFailText) + " (" + out.Folder + "): " + details;
  feedback.ShowStatus(out.Message);
  feedback.MessageBox(std::string(kSaveLogFinishText) + "\n" + kSaveLogFailText + ": " + details, kWarningCaption,
                      MessageIcon::Warning);
  return out;
}

}  // namespace dozered
