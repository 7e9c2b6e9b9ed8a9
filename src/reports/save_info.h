// "Save Info": the log folder of one drive. Every information page is read
// once more and saved as binary and text files, the erase counts are
// exported, the bad-block maps are read and saved, all into a new folder
// "LogInfoRB_MMDD_NNNN" in the working directory (LogFolderName).
//
// The page reads and the bad-block read are hooks, so that the window can
// show what they read while the log runs, and the headless front end runs
// the same log:
//
//   SaveInfoHooks hooks = DefaultSaveInfoHooks();   // ReadPageData, the bad-block read of the build
//   SaveInfoOutcome out = SaveInfo(state, feedback, TodayLocalDate(), hooks);
//
// A page whose read failed writes no file at all (its buffers may hold
// another page's data), and the log then ends naming the pages not saved
// and the files not written instead of "Save Log successful".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/app_state.h"
#include "app/feedback.h"
#include "app/page_read.h"
#include "decode/rows.h"
#include "flash/flash_operation.h"
#include "reports/report_files.h"
#include "reports/report_layouts.h"

namespace dozered {

inline constexpr char kSaveLogSuccessText[] = "Save Log successful";
inline constexpr char kSaveLogFinishText[] = "Save Log finish!";
inline constexpr char kSaveLogFailText[] = "Save Log fail";

// The grids and lists of the Flash Diagnosis page that the log saves.
struct BadBlockLogViews {
  BadBlockMapCells Original;  // SG_OrgBadBlock
  BadBlockMapCells RunTime;   // SG_RuntimeBadBlock
  BadBlockMapCells Total;     // SG_TotalBadBlock
  Rows OriginalList;          // LV_OriginalBadBlock
  Rows TotalList;             // LV_TotalBadBlock
};

// How the bad-block read of the log ended. With SaveLogMode set the read
// itself writes "BadBlk_Org.bin" into the log folder when the original
// table was read.
struct BadBlockLogRead {
  bool Read = false;                 // both of its commands succeeded: the views are saved
  bool OriginalTableRead = false;    // so "BadBlk_Org.bin" was due
  bool OriginalFileWritten = false;
};
using LogBadBlockRead = std::function<BadBlockLogRead(AppState&, Feedback&, BadBlockLogViews&)>;

// Binds a bad-block read of the form
//   Outcome Read(AppState&, Feedback&, Views&)
// whose views hold grids Original, RunTime, Total (each with Cells[row][column])
// and lists OriginalList, TotalList, and whose outcome has Status (kDone when
// both commands succeeded), BadBlockInfoResult and OriginalFileWritten.
// `prepare` readies fresh views (the grid headers) before the read.
template <class Views, class Outcome>
LogBadBlockRead BadBlockReadForLog(Outcome (*read)(AppState&, Feedback&, Views&), void (*prepare)(Views&)) {
  return [read, prepare](AppState& state, Feedback& feedback, BadBlockLogViews& out) {
    Views views{};
    prepare(views);
    const Outcome outcome = read(state, feedback, views);
    out.Original = views.Original.Cells;
    out.RunTime = views.RunTime.Cells;
    out.Total = views.Total.Cells;
    out.OriginalList = views.OriginalList;
    out.TotalList = views.TotalList;
    BadBlockLogRead result;
    result.Read = outcome.Status == FlashStatus::kDone;
    result.OriginalTableRead = outcome.BadBlockInfoResult == 0;
    result.OriginalFileWritten = outcome.OriginalFileWritten;
    return result;
  };
}

struct SaveInfoHooks {
  // Reads information page `page` (0-5, 10) for the log: ReadPageData, and
  // in the window also shows what was read.
  std::function<PageReadOutput(AppState&, Feedback&, int)> ReadPage;
  // The bad-block read of the Flash Diagnosis page (page 8). Empty where the
  // build has none; page 8 is then reported as not saved.
  LogBadBlockRead ReadBadBlocks;
};

// ReadPageData, and the bad-block read of this build.
SaveInfoHooks DefaultSaveInfoHooks();

// The log's files so far.
struct SaveLogFiles {
  std::vector<std::string> Written;     // file names inside the folder
  std::vector<std::string> NotWritten;
};

// Writes page `page`'s binary file into the folder LogFolderName (created
// first when missing): 0 FlashId.bin, 1 IdentifyTable.bin, 2 SmartData.bin,
// 4 EraseCnt.bin, 5 CID.bin, 10 MarkBadInfo.bin. Other pages write none.
void SaveLogBinary(AppState& state, int page, SaveLogFiles& files);

// What page `page` showed after its read: its list, or on page 8 the grids
// and lists of the bad-block read.
struct LogPageViews {
  Rows List;
  BadBlockLogViews BadBlocks;
};

// Writes page `page`'s text files into the folder LogFolderName: 1
// IdentifyTable.txt, 2 SmartData.txt, 3 CardInfo.txt, 4 EraseCnt.txt (the
// erase-count export, run with EraseCountLogMode set), 5 CID.txt, 8 the three
// maps and the two lists (a list only when it has rows), 10 MarkBadInfo.txt.
void SaveLogText(AppState& state, Feedback& feedback, int page, const LogPageViews& views, SaveLogFiles& files);

// kNothing: no drive selected, no folder written ("No device!"); kSaved:
// every page read and every file written; kFailed: otherwise.
enum class SaveInfoStatus { kNothing, kSaved, kFailed };

struct SaveInfoOutcome {
  SaveInfoStatus Status = SaveInfoStatus::kNothing;
  std::string Folder;                 // LogFolderName
  std::vector<int> PagesNotSaved;     // pages whose read failed
  SaveLogFiles Files;
  std::string Message;                // the final status line
};

// The whole log of the selected drive, as one run of `feedback`, dated
// `today`. SaveLogMode is set for its length and EraseCountLogMode for the
// export; both are cleared on every way out. Ends with "Save Log successful"
// shown and the box "Save Log finish!", or with "Save Log fail: ..." and a
// box that names the pages not saved and the files not written.
SaveInfoOutcome SaveInfo(AppState& state, Feedback& feedback, LocalDate today, const SaveInfoHooks& hooks);

}  // namespace dozered
