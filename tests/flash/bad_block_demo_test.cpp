// The demo drives, read through the tool: the bad-block views, the erase-count
// page, the mark-bad page, SMART attribute 5 and the bad marks in the flash
// all name the same bad blocks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "app/startup/platform_setup.h"
#include "flash/bad_block.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "support/recording_feedback.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using Position = std::tuple<int, int, int>;  // block, channel, CE

int Number(const std::string& text, int base = 10) { return static_cast<int>(std::stol(text, nullptr, base)); }

// The SMART raw value of attribute `id`: "Raw data" shows six bytes, most
// significant first.
int64_t SmartRaw(const Rows& rows, int id) {
  char caption[8];
  std::snprintf(caption, sizeof caption, "%02X ", id);
  for (const Row& row : rows) {
    if (row[0].rfind(caption, 0) != 0) continue;
    std::string hex;
    for (char ch : row[3]) {
      if (ch != ' ') hex += ch;
    }
    return std::stoll(hex, nullptr, 16);
  }
  return -1;
}

class BadBlockDemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path demo = DOZERED_DEMO_DIR;
    std::filesystem::copy_file(demo / "VirtualDrives.ini", dir_.Path("VirtualDrives.ini"));
    SetUpStoragePlatform(*state_, dir_.Path("VirtualDrives.ini"));
    ScanForControllers(*state_);
    FinishScan(*state_);
    state_->ExecutableDir = dir_.Path("exe");
  }

  // The diagnostic programs the reads load, for drive `device`.
  void PutPrograms(int device) {
    std::array<uint8_t, 16> isp{};
    std::copy_n(state_->IspInfoTable[device].begin() + 404, 16, isp.begin());
    for (sim::DiagnosticKind kind : {sim::DiagnosticKind::kReadBadInfo, sim::DiagnosticKind::kReadFlashDiagnosis}) {
      const std::filesystem::path path = DiagnosticCodePathFor(*state_, device, sim::DiagnosticFileName(kind));
      ASSERT_FALSE(path.empty());
      std::filesystem::create_directories(path.parent_path());
      const std::vector<uint8_t> file = sim::BuildDiagnosticFile(kind, isp, false);
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                  static_cast<std::streamsize>(file.size()));
    }
  }

  PageReadOutput ReadPage(int page) {
    testing::RecordingFeedback feedback;
    PageReadOutput out = ReadPageData(*state_, feedback, page);
    EXPECT_TRUE(feedback.boxes.empty()) << "page " << page;
    return out;
  }

  // Spare byte 0 of page 0 of a block at one position, read raw (ECC off,
  // one plane).
  int BadMark(int block, int channel, int ce, int plane) {
    const CardInfo card(std::span<const uint8_t>(state_->CardInfoTable[state_->SelectedDevice]).first(kCardInfoSize));
    const int group = block / card.BlocksPerCe();
    FlashAddress address;
    address.block = static_cast<uint32_t>(block);
    address.option = static_cast<uint8_t>(0x02 | 0x04 | plane << 6);
    address.chCe = static_cast<uint8_t>(channel | (ce - group * card.InterleaveWays()) << 3);
    std::vector<uint8_t> read(33 * 512);
    if (state_->Controllers[state_->SelectedDevice].ReadFlash(address, 33, read) != kResultSuccess) return -1;
    return read[32 * 512];
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
};

TEST_F(BadBlockDemoTest, EveryViewNamesTheSameBadBlocks) {
  int checked = 0;
  for (int device = 0; device < state_->DeviceCount; ++device) {
    // The erase counts and SMART data come from the normal firmware.
    if (state_->CardInfoTable[device][card_info_offset::kCardMode] != kCardModeNormalFirmware) continue;
    SCOPED_TRACE("device " + std::to_string(device));
    state_->SelectedDevice = device;
    PutPrograms(device);
    ++checked;

    testing::RecordingFeedback feedback;
    BadBlockViews views;
    WriteBadBlockGridHeaders(views);
    const BadBlockReadOutcome read = ReadBadBlocks(*state_, feedback, views);
    ASSERT_EQ(read.Status, FlashStatus::kDone) << read.Message;
    EXPECT_TRUE(feedback.boxes.empty());

    // The bad-block views: original and run-time blocks and positions.
    std::set<int> viewBlocks;
    std::multiset<Position> runTimeRows;
    std::vector<std::tuple<int, int, int, std::string>> runTimeWithPlane;
    for (const Row& row : views.TotalList) {
      const bool runTime = row[1][0] == '*';
      const int block = Number(row[1].substr(runTime ? 3 : 2), 16);
      viewBlocks.insert(block);
      if (runTime) {
        runTimeRows.insert({block, Number(row[2]), Number(row[3])});
        runTimeWithPlane.emplace_back(block, Number(row[2]), Number(row[3]), row[4]);
      }
    }
    EXPECT_FALSE(views.OriginalList.empty());
    EXPECT_FALSE(runTimeRows.empty());
    EXPECT_EQ(read.Counts.OutsideRunTimeGrid, 0);
    EXPECT_EQ(read.Counts.OutsideTotalGrid, 0);

    // The erase-count page marks exactly these blocks bad.
    const PageReadOutput eraseCounts = ReadPage(kPageEraseCount);
    ASSERT_TRUE(eraseCounts.List) << eraseCounts.Message;
    std::set<int> erasePageBad;
    for (const Row& row : *eraseCounts.List) {
      if (row[1] == "Bad Block") erasePageBad.insert(Number(row[0].substr(2), 16));
    }
    EXPECT_EQ(erasePageBad, viewBlocks);

    // The mark-bad page lists the run-time rows' blocks and positions.
    const PageReadOutput markBad = ReadPage(kPageMarkBadInfo);
    ASSERT_TRUE(markBad.List && markBad.MarkBadCount);
    std::multiset<Position> markBadRows;
    int block = -1;
    for (const Row& row : *markBad.List) {
      if (!row[0].empty()) block = Number(row[0].substr(2), 16);
      markBadRows.insert({block, Number(row[4]), Number(row[3])});
    }
    EXPECT_EQ(markBadRows, runTimeRows);

    // SMART attribute 5 counts the mark-bad entries.
    const PageReadOutput smart = ReadPage(kPageSmartInfo);
    ASSERT_TRUE(smart.List);
    EXPECT_EQ(SmartRaw(*smart.List, 5), Number(*markBad.MarkBadCount));

    // The flash itself carries the bad mark at every listed position.
    for (const Row& row : views.OriginalList) {
      EXPECT_EQ(BadMark(Number(row[1].substr(2), 16), Number(row[2]), Number(row[3]), Number(row[4])), 0x00)
          << "original " << row[1] << " CH" << row[2] << " CE" << row[3] << " plane " << row[4];
    }
    const int planes = state_->CardInfoTable[device][card_info_offset::kPlaneCount];
    for (const auto& [b, channel, ce, plane] : runTimeWithPlane) {
      for (int p = 0; p < planes; ++p) {
        if (plane != "N/A" && Number(plane) != p) continue;
        EXPECT_EQ(BadMark(b, channel, ce, p), 0x00) << "run-time " << b << " CH" << channel << " CE" << ce << " plane " << p;
      }
    }
  }
  EXPECT_GE(checked, 4);
}

}  // namespace
}  // namespace dozered
