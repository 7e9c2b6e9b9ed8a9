// The read distribution against a simulated drive: the reads it sends, the
// points it makes of them, how it behaves when a read, the drive or the step
// field fails, and what it shows of the simulated cells of a fresh and a
// worn, aged drive.
#include "flash/distribution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "device/scsi_cdb.h"
#include "device/virtual_platform.h"
#include "flash/flash_rw.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "sim/virtual_drives_ini.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr size_t kPageBytes = 16384;  // the simulated drives' pages: 32 sectors

// Fails the data phase of chosen distribution reads with a medium error:
// `fail` sees the command block and how many distribution reads came before.
class DistributionFaultDrive : public VirtualDrive {
 public:
  explicit DistributionFaultDrive(std::shared_ptr<VirtualDrive> inner) : inner_(std::move(inner)) {}
  std::function<bool(const uint8_t* block, int ordinal)> fail;

  bool ExecuteScsi(ScsiCommand& command, ScsiOutcome& outcome) override {
    const uint8_t op = command.cdb[0];
    const uint32_t lba = scsi::ReadWrite10Lba(command.cdb);
    if (op == scsi::kOpWrite10 && lba == 0x55AA && command.data != nullptr && command.data[0] == 0xF0 &&
        command.data[1] == 0x45) {
      armed_ = fail && fail(command.data, ordinal_);
      ++ordinal_;
    } else if (op == scsi::kOpRead10 && lba == 0x55AA && armed_) {
      armed_ = false;
      outcome.status = kScsiStatusCheckCondition;
      outcome.senseLength = scsi::FillFixedSense(outcome.sense, sizeof(outcome.sense), 0x03, 0x11);
      return true;
    }
    return inner_->ExecuteScsi(command, outcome);
  }
  bool ExecuteAta(AtaCommand& command) override { return inner_->ExecuteAta(command); }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override { return inner_->ExecuteNvmeAdmin(command); }

 private:
  std::shared_ptr<VirtualDrive> inner_;
  bool armed_ = false;
  int ordinal_ = 0;
};

class ProgressFeedback : public testing::RecordingFeedback {
 public:
  void Progress(int maximum, int position) override { progress.push_back({maximum, position}); }
  std::vector<std::pair<int, int>> progress;
};

// One distribution read as the wire shows it: the page and the four level bytes.
struct SentRead {
  uint32_t page = 0;
  std::array<uint8_t, 4> levels{};
  bool operator==(const SentRead&) const = default;
};

void PrintTo(const SentRead& r, std::ostream* os) {
  *os << "{page " << r.page << ", levels " << int(r.levels[0]) << " " << int(r.levels[1]) << " "
      << int(r.levels[2]) << " " << int(r.levels[3]) << "}";
}

// The reads a measurement of `page` sends for read type `type`: the
// reference read, then each level.
void AppendSweeps(std::vector<SentRead>& reads, uint32_t page, int type, const std::vector<int>& levels) {
  reads.push_back({page, {}});
  for (int level : levels) {
    SentRead r{page, {}};
    r.levels[static_cast<size_t>(type)] = static_cast<uint8_t>(level);
    reads.push_back(r);
  }
}

// 0, 3, ... 60, then 125, 122, ... 65.
std::vector<int> StepThreeLevels() {
  std::vector<int> levels;
  for (int v = 0; v <= 60; v += 3) levels.push_back(v);
  for (int v = 125; v >= 65; v -= 3) levels.push_back(v);
  return levels;
}

std::string Hex4(uint32_t value) {
  return ByteText(static_cast<uint8_t>(value >> 8)) + ByteText(static_cast<uint8_t>(value));
}

// An F-block that arrived holding data at channel 0, CE 0, plane 0 on every
// one of `drives`, and not among their hottest blocks.
uint16_t DataBlock(const std::vector<const sim::DriveModel*>& drives) {
  for (int fblock = sim::kEraseCountStartBlock;; ++fblock) {
    bool all = true;
    for (const sim::DriveModel* model : drives) {
      const sim::PhysicalBlock b = model->layout.BlockOfFBlock(fblock, 0, 0, 0);
      all = all && model->flash.InitialContentOf(b) == sim::InitialContent::kData &&
            model->EraseCountOf(b) < 1.2 * model->config.averageEraseCount + 100;
    }
    if (all) return static_cast<uint16_t>(fblock);
  }
}

const DistributionPoint* PointAt(const std::vector<DistributionPoint>& series, int x) {
  for (const DistributionPoint& p : series) {
    if (p.X == x) return &p;
  }
  return nullptr;
}

class DistributionTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(ControllerDrive(2)); }

  void Install(const sim::DriveConfig& config) {
    state_ = std::make_unique<AppState>();
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    fault_ = std::make_shared<DistributionFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    testing::InstallDisks(*state_, {wire_});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    state_->ExecutableDir = dir_.Path("exe");
    PutProgram();
    block_ = DataBlock({&drive_->model()});
    fields_.Block = Hex4(block_);
    fields_.Option = ByteText(state_->FlashOption);
    fields_.ChCe = ByteText(state_->FlashChCe);
    Clear();
  }

  // DgISP_ReadDistribution.bin for the drive, where the tool looks for it.
  void PutProgram() {
    std::array<uint8_t, 16> isp{};
    std::copy_n(state_->IspInfoTable[0].begin() + 404, 16, isp.begin());
    const std::vector<uint8_t> file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadDistribution, isp, true);
    program_ = DiagnosticCodePathFor(*state_, 0, kDgIspReadDistribution);
    std::filesystem::create_directories(program_.parent_path());
    std::ofstream(program_, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }

  void Clear() {
    wire_->ClearLog();
    feedback_ = ProgressFeedback();
  }

  // As the page's button does: the step is the text of its field.
  DistributionOutcome Measure(const std::string& step = "3", const DistributionViews& views = {}) {
    fields_.DistributionStep = step;
    return MeasureDistribution(*state_, feedback_, fields_, views);
  }

  std::vector<VendorCommand> Commands(uint8_t opcode) const {
    std::vector<VendorCommand> found;
    for (const VendorCommand& c : wire_->Commands()) {
      if (c.opcode() == opcode) found.push_back(c);
    }
    return found;
  }

  std::vector<SentRead> SentReads() const {
    std::vector<SentRead> reads;
    for (const VendorCommand& c : Commands(0x45)) {
      SentRead r;
      r.page = static_cast<uint32_t>(c.block[4] | c.block[12] << 8);
      std::copy_n(c.block.begin() + 14, 4, r.levels.begin());
      reads.push_back(r);
    }
    return reads;
  }

  // The data of one distribution read of the measured block, straight from the drive.
  std::vector<uint8_t> ReadAt(uint32_t page, int type, uint8_t level) {
    FlashAddress address;
    address.block = block_;
    address.page = static_cast<uint16_t>(page);
    address.option = 0x2E;
    std::vector<uint8_t> data(33 * 512);
    EXPECT_EQ(state_->Controllers[0].ReadFlashDistribution(address, type, level, 33, data), kResultSuccess);
    return data;
  }

  static uint32_t RisingBits(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    uint32_t n = 0;
    for (size_t i = 0; i < kPageBytes; ++i) n += std::popcount(static_cast<uint8_t>((before[i] ^ after[i]) & after[i]));
    return n;
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<DistributionFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  ProgressFeedback feedback_;
  FlashRwFields fields_;
  std::filesystem::path program_;
  uint16_t block_ = 0;
};

// Page 4 is an MSB page: pass 1 sweeps R1 (type 1) and R3 (type 3) on it,
// pass 2 sweeps R2 (type 2) on page 1, the LSB page of its wordline. Every
// read is raw: the field's option 0x21 goes out as 0x2E.
TEST_F(DistributionTest, StepThreeSweepsEachReferenceOfTheWordlineUpThenDown) {
  fields_.Page = "0004";
  fields_.ChCe = "09";
  fields_.Chunk = "05";
  fields_.SectorIndex = 3;  // the "Sectors:" list plays no part
  const DistributionOutcome out = Measure("3");
  EXPECT_EQ(out.Status, FlashStatus::kDone) << out.Message;

  std::vector<SentRead> want;
  AppendSweeps(want, 4, 1, StepThreeLevels());
  AppendSweeps(want, 4, 3, StepThreeLevels());
  AppendSweeps(want, 1, 2, StepThreeLevels());
  EXPECT_EQ(SentReads(), want);
  // The program is loaded once, before the first read.
  const std::vector<VendorCommand> all = wire_->Commands();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front().opcode(), 0x2B);
  EXPECT_EQ(Commands(0x2B).size(), 1u);
  for (const VendorCommand& c : Commands(0x45)) {
    EXPECT_EQ(c.block[2] << 8 | c.block[3], block_);
    EXPECT_EQ(c.block[5], 0) << "chunk";
    EXPECT_EQ(c.block[8], 0x2E) << "option";
    EXPECT_EQ(c.block[10], 0x09) << "channel/CE";
    EXPECT_EQ(c.dataSectors, 33u) << "the page's 32 sectors and its spare sector";
  }
  EXPECT_TRUE(out.ChartCleared);
  EXPECT_TRUE(out.ShowChart);
}

// Each series holds a point per level read; level 0 is read twice (reference
// and first level) and its point, at x = 64, counts nothing. Levels sit at
// v + 64 below 64 and at v - 64 above.
TEST_F(DistributionTest, PointsSitAtTheirLevelsAroundTheDefaultAtSixtyFour) {
  fields_.Page = "0068";  // MSB page 104 of a block holding data
  const DistributionOutcome out = Measure("3");
  for (size_t s = 0; s < out.Series.size(); ++s) {
    const std::vector<DistributionPoint>& series = out.Series[s];
    ASSERT_EQ(series.size(), 42u) << "series " << s;
    EXPECT_EQ(series.front(), (DistributionPoint{64, 0, "00"})) << "series " << s;
    EXPECT_EQ(series[1].X, 67);
    EXPECT_EQ(series[1].Label, "03");
    EXPECT_EQ(series[21].X, 61);
    EXPECT_EQ(series[21].Label, "7D");
    EXPECT_EQ(series.back().X, 1);
    EXPECT_EQ(series.back().Label, "41");
    uint64_t total = 0;
    for (const DistributionPoint& p : series) total += p.Count;
    EXPECT_GT(total, 1000u) << "the page holds data: cells move across every reference";
  }
}

TEST_F(DistributionTest, StrongModeSweepsTheOneReferenceOfThePage) {
  state_->FlashOption |= flash_option::kStrongPage;
  fields_.Option = ByteText(state_->FlashOption);
  fields_.Page = "0005";
  const DistributionOutcome out = Measure("3");
  std::vector<SentRead> want;
  AppendSweeps(want, 5, 0, StepThreeLevels());
  EXPECT_EQ(SentReads(), want);
  for (const VendorCommand& c : Commands(0x45)) EXPECT_EQ(c.block[8], 0x3E);
  EXPECT_EQ(out.Series[0].size(), 42u);
  EXPECT_TRUE(out.Series[1].empty());
  EXPECT_TRUE(out.Series[2].empty());
}

// Strong mode is FlashOption's: the option field only travels with the reads.
TEST_F(DistributionTest, ProgressCountsTheLevelsOfTheMeasurement) {
  struct Case {
    bool strong;
    const char* step;
    int maximum;
    size_t levels;
  } cases[] = {{false, "3", 126, 126}, {true, "3", 42, 42}, {false, "62", 6, 9}, {true, "62", 2, 3}};
  for (const Case& c : cases) {
    state_->FlashOption = static_cast<uint8_t>(c.strong ? 0x31 : 0x21);
    fields_.Page = "0004";
    Clear();
    Measure(c.step);
    SCOPED_TRACE(std::string(c.strong ? "strong, step " : "step ") + c.step);
    ASSERT_FALSE(feedback_.progress.empty());
    EXPECT_EQ(feedback_.progress.front().second, 0);
    EXPECT_EQ(feedback_.progress[1], std::make_pair(c.maximum, 0));
    EXPECT_EQ(feedback_.progress.size(), 2 + c.levels) << "one step per level";
    EXPECT_EQ(feedback_.progress.back(), std::make_pair(c.maximum, c.maximum)) << "held at the maximum";
    // Pending events: once when the charts are emptied, then after every level.
    EXPECT_EQ(feedback_.pendingEventRuns, static_cast<int>(1 + c.levels));
  }
}

// The second pass measures the page that shares the first page's wordline;
// page 2 shares it with page 0, page 255 with page 253.
TEST_F(DistributionTest, SecondPassMeasuresThePartnerPage) {
  const struct {
    uint32_t page;
    uint32_t partner;
  } cases[] = {{0, 2}, {253, 255}, {1, 4}, {254, 251}, {2, 0}, {255, 253}, {99, 102}, {104, 101}};
  for (const auto& c : cases) {
    fields_.Page = Hex4(c.page);
    Clear();
    Measure("62");
    std::vector<uint32_t> pages;
    for (const SentRead& r : SentReads()) {
      if (pages.empty() || pages.back() != r.page) pages.push_back(r.page);
    }
    EXPECT_EQ(pages, (std::vector<uint32_t>{c.page, c.partner})) << "page " << c.page;
    EXPECT_EQ(DistributionPartnerPage(c.partner), c.page) << "pairs go both ways";
  }
}

// A failed level leaves its bar out, and the next level is compared with the
// last read that succeeded.
TEST_F(DistributionTest, FailedLevelLeavesItsBarOutAndTheNextComparesWithTheLastGoodRead) {
  fields_.Page = "0065";  // LSB page 101: one pass of type 2, then page 104
  fault_->fail = [](const uint8_t* block, int) { return block[16] == 6; };
  const DistributionOutcome out = Measure("3");
  const std::vector<DistributionPoint>& r2 = out.Series[1];
  EXPECT_EQ(r2.size(), 41u);
  EXPECT_EQ(PointAt(r2, 70), nullptr) << "level 6";
  const DistributionPoint* next = PointAt(r2, 73);
  ASSERT_NE(next, nullptr);
  fault_->fail = nullptr;
  const std::vector<uint8_t> level3 = ReadAt(101, 2, 3), level6 = ReadAt(101, 2, 6), level9 = ReadAt(101, 2, 9);
  ASSERT_NE(RisingBits(level3, level9), RisingBits(level6, level9)) << "the block must tell them apart";
  EXPECT_EQ(next->Count, RisingBits(level3, level9));
  EXPECT_EQ(PointAt(r2, 67)->Count, RisingBits(ReadAt(101, 2, 0), level3));
  // The failure is shown, the measurement goes on and ends with its last level's text.
  EXPECT_NE(std::find(feedback_.shown.begin(), feedback_.shown.end(), "Read flash fail(-7)"), feedback_.shown.end());
  EXPECT_EQ(out.Series[0].size(), 42u);
  EXPECT_EQ(out.Series[2].size(), 42u);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kReadFlashSuccessText});
}

// Without the reference read a sweep has nothing to compare its first level
// with: that level starts the comparisons instead of becoming a bar against
// whatever the buffers held.
TEST_F(DistributionTest, FailedReferenceReadMakesTheFirstLevelTheStart) {
  fields_.Page = "0065";
  fault_->fail = [](const uint8_t*, int ordinal) { return ordinal == 0; };
  const DistributionOutcome out = Measure("3");
  const std::vector<DistributionPoint>& r2 = out.Series[1];
  EXPECT_EQ(r2.size(), 40u) << "no bar for level 0 nor for the first level below it";
  EXPECT_EQ(PointAt(r2, 64), nullptr);
  EXPECT_EQ(PointAt(r2, 61), nullptr);
  fault_->fail = nullptr;
  EXPECT_EQ(PointAt(r2, 67)->Count, RisingBits(ReadAt(101, 2, 0), ReadAt(101, 2, 3)));
}

TEST_F(DistributionTest, StepOutsideOneToSixtyTwoIsRefusedBeforeAnythingIsSent) {
  for (const char* step : {"0", "63", "100", "", "x3", "-1"}) {
    Clear();
    const DistributionOutcome out = Measure(step);
    EXPECT_EQ(out.Status, FlashStatus::kRefused) << step;
    EXPECT_EQ(feedback_.boxes,
              std::vector<RecordedMessageBox>({{kDistributionStepRangeText, "Error", MessageIcon::Error}}))
        << step;
    EXPECT_TRUE(wire_->Log().empty()) << step;
    EXPECT_FALSE(out.ChartCleared);
    EXPECT_FALSE(out.ShowChart);
    EXPECT_FALSE(feedback_.RunOpen());
  }
  for (const char* step : {"1", "62", " 5"}) EXPECT_EQ(ParseDistributionStep(step).value_or(0), std::atoi(step));
}

TEST_F(DistributionTest, DriveThatCannotBeOpenedIsReportedAndTheChartKeepsItsPoints) {
  state_->Controllers[0].Close();
  dynamic_cast<VirtualPlatform&>(*state_->Platform).Disk(0).options.openFails = true;
  const DistributionOutcome out = Measure("3");
  EXPECT_EQ(out.Status, FlashStatus::kFailed);
  EXPECT_EQ(out.Result, kResultOpenFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kFlashAccessDeviceFailText});
  EXPECT_TRUE(feedback_.boxes.empty()) << "the program was found all the same";
  EXPECT_TRUE(wire_->Commands().empty());
  EXPECT_FALSE(out.ChartCleared);
  EXPECT_TRUE(out.ShowChart);
}

TEST_F(DistributionTest, WithoutADriveOnlyTheChartIsShown) {
  state_->SelectedDevice = -1;
  const DistributionOutcome out = Measure("3");
  EXPECT_EQ(out.Status, FlashStatus::kNothing);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_TRUE(feedback_.reported.empty());
  EXPECT_FALSE(out.ChartCleared);
  EXPECT_TRUE(out.ShowChart);
}

// A missing program is announced; the measurement goes on (and the drive,
// without the program, does not understand its reads).
TEST_F(DistributionTest, MissingProgramIsAnnouncedAndTheMeasurementGoesOn) {
  std::filesystem::remove(program_);
  fields_.Page = "0004";
  const DistributionOutcome out = Measure("62");
  ASSERT_EQ(feedback_.boxes.size(), 1u);
  EXPECT_EQ(feedback_.boxes[0].text, "It can't open " + program_.string());
  EXPECT_TRUE(Commands(0x2B).empty());
  EXPECT_EQ(SentReads().size(), 12u);
  EXPECT_TRUE(out.ChartCleared);
}

// The Flash RW views follow the measurement: after every level they show
// that read, and at the end the last one, as FlashPageBuffer holds it.
TEST_F(DistributionTest, ViewsFollowEveryLevelRead) {
  fields_.Page = "0068";
  std::vector<FlashOutcome> shown;
  const DistributionOutcome out = Measure("3", [&](const FlashOutcome& views) { shown.push_back(views); });
  ASSERT_EQ(shown.size(), 126u);
  ASSERT_TRUE(out.RawView && out.SpareView);
  EXPECT_EQ(*out.RawView, *shown.back().RawView);
  EXPECT_EQ(*out.SpareView, *shown.back().SpareView);
  EXPECT_EQ(std::count(out.RawView->begin(), out.RawView->end(), '\n'), 1024);
  EXPECT_EQ(std::count(out.SpareView->begin(), out.SpareView->end(), '\n'), 32);
  const std::vector<uint8_t> last = ReadAt(101, 2, 65);  // pass 2 ends on page 101 at level 0x41
  EXPECT_TRUE(std::equal(last.begin(), last.end(), state_->FlashPageBuffer.begin()));
  EXPECT_EQ(std::count(feedback_.shown.begin(), feedback_.shown.end(), kReadFlashSuccessText), 126);
}

// The demo's fresh drive and its worn, aged one, measured on the same MSB
// page and its LSB partner.
class DemoDistributionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream ini(std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    std::vector<std::shared_ptr<VirtualDrive>> disks;
    std::array<std::optional<sim::DriveConfig>, 2> configs;
    for (sim::DriveDeclaration& d : sim::ParseVirtualDrivesIni(text, dir_.Dir().string())) {
      const bool fresh = d.config.label.find("fresh flash") != std::string::npos;
      const bool worn = d.config.label.find("worn and aged") != std::string::npos;
      if (!fresh && !worn) continue;
      d.config.stateFile.clear();
      d.config.transport = sim::Transport::kScsi;
      configs[worn ? 1 : 0] = d.config;
    }
    ASSERT_TRUE(configs[0] && configs[1]);
    // The worn drive as it was new: the same dies and blocks with the fresh
    // drive's wear and age, so that only wear and age tell the two apart.
    sim::DriveConfig asNew = *configs[1];
    asNew.averageEraseCount = configs[0]->averageEraseCount;
    asNew.dataAgeHours = configs[0]->dataAgeHours;
    for (const sim::DriveConfig& c : {*configs[0], *configs[1], asNew}) {
      drives_.push_back(std::make_shared<sim::SimulatedDrive>(c));
    }
    testing::InstallDisks(*state_, {drives_[0], drives_[1], drives_[2]});
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->DeviceCount, 3);
    state_->ExecutableDir = dir_.Path("exe");
    for (int device = 0; device < 3; ++device) {
      std::array<uint8_t, 16> isp{};
      std::copy_n(state_->IspInfoTable[static_cast<size_t>(device)].begin() + 404, 16, isp.begin());
      const auto file = sim::BuildDiagnosticFile(sim::DiagnosticKind::kReadDistribution, isp, true);
      const auto path = DiagnosticCodePathFor(*state_, device, kDgIspReadDistribution);
      std::filesystem::create_directories(path.parent_path());
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    fields_.Block = Hex4(DataBlock({&drives_[0]->model(), &drives_[1]->model(), &drives_[2]->model()}));
    fields_.Page = "0068";  // MSB page 104; its partner is LSB page 101
    fields_.Option = "21";
  }

  DistributionSeries Measure(int device) {
    state_->SelectedDevice = device;
    testing::RecordingFeedback feedback;
    const DistributionOutcome out = MeasureDistribution(*state_, feedback, fields_, "3");
    EXPECT_EQ(out.Status, FlashStatus::kDone) << out.Message;
    return out.Series;
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::vector<std::shared_ptr<sim::SimulatedDrive>> drives_;  // fresh, worn and aged, worn as new
  FlashAddressFields fields_;
};

// The valley between the two humps of a histogram: where its lowest points
// lie between the highest point left of x = 64 and the highest right of it
// (the point at x = 64 compares the reference read with itself and is left
// out), and how low they are.
struct Valley {
  double x = 64;
  uint32_t floor = 0;
  uint32_t leftHump = 0;
  uint32_t rightHump = 0;
};

Valley ValleyOf(const std::vector<DistributionPoint>& points) {
  Valley v;
  int leftX = 0, rightX = 127;
  for (const DistributionPoint& p : points) {
    if (p.X < 64 && p.Count > v.leftHump) v.leftHump = p.Count, leftX = p.X;
    if (p.X > 64 && p.Count > v.rightHump) v.rightHump = p.Count, rightX = p.X;
  }
  v.floor = UINT32_MAX;
  for (const DistributionPoint& p : points) {
    if (p.X > leftX && p.X < rightX && p.X != 64) v.floor = std::min(v.floor, p.Count);
  }
  double sum = 0;
  int n = 0;
  for (const DistributionPoint& p : points) {
    if (p.X > leftX && p.X < rightX && p.X != 64 && p.Count <= v.floor + std::max(2u, v.floor / 10)) sum += p.X, ++n;
  }
  if (n > 0) v.x = sum / n;
  return v;
}

TEST_F(DemoDistributionTest, FreshPageShowsAHumpEachSideOfAValleyAtTheDefaultLevel) {
  const DistributionSeries fresh = Measure(0);
  for (size_t s = 0; s < fresh.size(); ++s) {
    const Valley v = ValleyOf(fresh[s]);
    SCOPED_TRACE(kDistributionChartTitles[s]);
    EXPECT_NEAR(v.x, 64, 6);
    EXPECT_LE(v.floor, 2u);
    EXPECT_GT(v.leftHump, 500u);
    EXPECT_GT(v.rightHump, 500u);
  }
}

// Compared with the same drive as it was new: dies and blocks differ by a
// few steps from drive to drive, which would hide the shift.
TEST_F(DemoDistributionTest, WornAgedPageHasItsValleysMovedLeftAndFilledIn) {
  const DistributionSeries fresh = Measure(2);
  const DistributionSeries worn = Measure(1);
  for (size_t s = 0; s < fresh.size(); ++s) {
    const Valley before = ValleyOf(fresh[s]);
    const Valley after = ValleyOf(worn[s]);
    SCOPED_TRACE(kDistributionChartTitles[s]);
    std::printf("%s fresh x %.1f floor %u humps %u %u; worn x %.1f floor %u humps %u %u\n",
                kDistributionChartTitles[s], before.x, before.floor, before.leftHump, before.rightHump, after.x,
                after.floor, after.leftHump, after.rightHump);
    EXPECT_GT(after.floor, before.floor + 10);
    if (s > 0) {
      EXPECT_LT(after.x, before.x - 4);
    }
  }
  EXPECT_EQ(Measure(1), worn) << "the same reads give the same counts";
}

}  // namespace
}  // namespace dozered
