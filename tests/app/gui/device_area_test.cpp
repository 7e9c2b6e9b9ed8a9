// The device area of the main window against simulated drives: scan, list,
// device information, page rule per code mode and "MP ISP".
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "app/gui/main_form.h"
#include "sim/code_images.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::PlainDisk;
using testing::RecordedMessageBox;

constexpr const char* kAllPages = testing::kAllPagesTabSheet;

class DeviceAreaTest : public ::testing::Test {
 protected:
  void Start(const std::vector<sim::DriveConfig>& drives, const std::string& tabsheet = kAllPages) {
    form_.reset();
    state_ = std::make_unique<AppState>();
    recorders_ = testing::InstallDrives(*state_, drives);
    CreateForm(tabsheet);
  }

  // Starts the window on the disks of `platform`.
  void StartOn(std::unique_ptr<VirtualPlatform> platform) {
    form_.reset();
    state_ = std::make_unique<AppState>();
    state_->Platform = std::move(platform);
    state_->Enumerator = std::make_unique<AspiLib>(*state_->Platform);
    CreateForm(kAllPages);
  }

  void CreateForm(const std::string& tabsheet) {
    boxes_.clear();
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", tabsheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string& caption, MessageIcon icon) {
      boxes_.push_back({text, caption, icon});
    });
    form_->SetMpispFileHandler([this] {
      ++dialogs_;
      return mpisp_path_;
    });
    form_->FormCreate();
  }

  QComboBox* List() { return form_->CMBB_DeviceList; }
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (int i = 0; i < List()->count(); ++i) out.push_back(List()->itemText(i).toStdString());
    return out;
  }
  std::vector<std::string> InfoLines() {
    std::vector<std::string> out;
    for (const QString& line : form_->MM_DeviceInfo->toPlainText().split('\n')) {
      if (!line.isEmpty()) out.push_back(line.toStdString());
    }
    return out;
  }
  // Whether a line reads `line`, ignoring the blanks IDENTIFY texts are padded with.
  bool HasLine(const std::string& line) {
    for (std::string l : InfoLines()) {
      while (!l.empty() && l.back() == ' ') l.pop_back();
      if (l == line) return true;
    }
    return false;
  }
  std::vector<int> VisibleTabs() {
    std::vector<int> out;
    for (int i = 0; i < form_->PC_Main->count(); ++i) {
      if (form_->PC_Main->isTabVisible(i)) out.push_back(i);
    }
    return out;
  }
  bool ChunkEccShown() { return !form_->findChild<QPushButton*>("BTN_Chunk_ECC")->isHidden(); }
  bool MpIspOffered() { return !form_->BTN_DLMPISP->isHidden() && form_->BTN_DLMPISP->isEnabled(); }
  std::array<uint8_t, 16> IspVersion(int device) {
    std::array<uint8_t, 16> version{};
    std::copy_n(state_->IspInfoTable[device].begin() + 404, 16, version.begin());
    return version;
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<TMainForm> form_;
  std::vector<std::shared_ptr<testing::WireRecorder>> recorders_;
  std::vector<RecordedMessageBox> boxes_;
  std::string mpisp_path_;
  int dialogs_ = 0;
};

TEST_F(DeviceAreaTest, ListHoldsTheKeptDrives) {
  std::vector<sim::DriveConfig> nine;
  for (int i = 0; i < 9; ++i) nine.push_back(ControllerDrive(2, 50 + i));
  sim::DriveConfig variant = ControllerDrive(2, 60);
  variant.signature = "VE4810VI";
  struct Case {
    const char* name;
    std::vector<sim::DriveConfig> drives;
    std::vector<std::string> entries;
  } cases[] = {
      {"nine drives", nine,
       {"PHYSICALDRIVE0 (2, 0)", "PHYSICALDRIVE1 (2, 1)", "PHYSICALDRIVE2 (2, 2)",
        "PHYSICALDRIVE3 (2, 3)", "PHYSICALDRIVE4 (2, 4)", "PHYSICALDRIVE5 (2, 5)",
        "PHYSICALDRIVE6 (2, 6)", "PHYSICALDRIVE7 (2, 7)"}},
      {"variant in normal firmware", {ControllerDrive(2, 1), variant, ControllerDrive(2, 3)},
       {"PHYSICALDRIVE0 (2, 0)", "PHYSICALDRIVE2 (2, 2)"}},
      {"plain disk", {PlainDisk(), ControllerDrive(2, 4)}, {"PHYSICALDRIVE1 (2, 1)"}},
  };
  for (const Case& c : cases) {
    Start(c.drives);
    EXPECT_EQ(Entries(), c.entries) << c.name;
    EXPECT_EQ(List()->currentIndex(), 0) << c.name;
    EXPECT_EQ(state_->SelectedDevice, 0) << c.name;
    EXPECT_TRUE(form_->PC_Main->isEnabled()) << c.name;
    EXPECT_EQ(InfoLines().front() + " (2, ", c.entries[0].substr(0, InfoLines().front().size() + 5))
        << c.name;
    // Start-up reads the active page after the scan.
    EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), "Read Flash ID successful") << c.name;
    EXPECT_TRUE(form_->TM_StatusBarClear->isActive()) << c.name;
  }
  // The probe (three flash ID reads, IDENTIFY, ISP information), then the
  // flash ID page read by the scan and again by start-up.
  EXPECT_EQ(recorders_[1]->Commands().size(), 7u);
}

TEST_F(DeviceAreaTest, RescanWithoutDrives) {
  Start({ControllerDrive(0)});
  ASSERT_EQ(List()->count(), 1);
  state_->RawViewFlags[2] = 1;
  boxes_.clear();

  testing::InstallDrives(*state_, {PlainDisk()});
  form_->BTN_ScanDevice->click();
  EXPECT_EQ(List()->count(), 0);
  EXPECT_EQ(List()->currentIndex(), -1);
  EXPECT_FALSE(form_->PC_Main->isEnabled());
  EXPECT_TRUE(form_->MM_DeviceInfo->toPlainText().isEmpty());
  EXPECT_EQ(state_->SelectedDevice, -1);
  EXPECT_EQ(state_->RawViewFlags[2], 0);
  EXPECT_FALSE(MpIspOffered());
  EXPECT_TRUE(boxes_.empty()) << "no message box when nothing is found";
  // The status line says what was looked at, and the text stays.
  EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), "No drive found on 1 disk");
  EXPECT_FALSE(form_->TM_StatusBarClear->isActive());
}

// Started where no drive carries the controller, the window says so, with
// the disks it looked at and those it could not open for lack of rights.
TEST_F(DeviceAreaTest, AScanThatFindsNothingSaysWhatItLookedAt) {
  struct Case {
    std::vector<bool> denied;  // one disk each; true: opening it is refused
    const char* status;
  } cases[] = {
      {{}, "No drive found on 0 disks"},
      {{false, false}, "No drive found on 2 disks"},
      {{false, true}, "No drive found on 2 disks; 1 needs administrator or root rights"},
      {{true, true, true}, "No drive found on 3 disks; 3 need administrator or root rights"},
  };
  for (const Case& c : cases) {
    std::vector<VirtualDisk> disks;
    for (bool denied : c.denied) {
      VirtualDisk disk;
      disk.drive = std::make_shared<sim::SimulatedDrive>(PlainDisk());
      disk.options.openDenied = denied;
      disks.push_back(std::move(disk));
    }
    StartOn(std::make_unique<VirtualPlatform>(std::move(disks)));
    EXPECT_TRUE(boxes_.empty()) << c.status;
    EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), c.status);
    EXPECT_FALSE(form_->TM_StatusBarClear->isActive()) << c.status;
    form_->BTN_ScanDevice->click();
    EXPECT_EQ(form_->LB_StatusBar->text().toStdString(), c.status);
  }
}

TEST_F(DeviceAreaTest, PagesFollowTheCodeMode) {
  const std::string tabsheet = "\"Read Flash ID\"\r\n\"Smart Data\"\r\n\"Flash RW\"\r\n";
  struct Case {
    int mode;
    std::vector<int> tabs;
    bool chunkEcc;
    bool romWarning;
  } cases[] = {
      {0, {0}, false, true},
      {1, {0, 7}, false, false},
      {2, {0, 2, 7}, true, false},
  };
  for (const Case& c : cases) {
    Start({ControllerDrive(c.mode)}, tabsheet);
    EXPECT_EQ(VisibleTabs(), c.tabs) << c.mode;
    EXPECT_EQ(ChunkEccShown(), c.chunkEcc) << c.mode;
    EXPECT_EQ(form_->ActivePage(), 0) << c.mode;
    EXPECT_EQ(MpIspOffered(), c.romWarning) << c.mode;
    if (c.romWarning) {
      EXPECT_EQ(boxes_, (std::vector<RecordedMessageBox>{
                            {"ROM Code Mode Device!", "Warning", MessageIcon::Warning}}));
      EXPECT_TRUE(HasLine("ROM Code Mode"));
    } else {
      EXPECT_TRUE(boxes_.empty()) << c.mode;
    }
  }
}

TEST_F(DeviceAreaTest, SelectingAnotherDriveShowsItsInformation) {
  sim::DriveConfig first = ControllerDrive(2, 1);
  first.serial = "FIRST";
  sim::DriveConfig second = ControllerDrive(0, 2);
  second.serial = "SECOND";
  second.flashMaker = 0x01;
  Start({first, second});
  EXPECT_TRUE(HasLine("Serial Number: FIRST"));
  EXPECT_TRUE(boxes_.empty());

  List()->setCurrentIndex(1);
  form_->CMBB_DeviceListChange();
  EXPECT_EQ(state_->SelectedDevice, 1);
  EXPECT_TRUE(HasLine("Serial Number: SECOND"));
  EXPECT_TRUE(HasLine("Flash Vendor: Unknown"));
  EXPECT_EQ(VisibleTabs(), std::vector<int>{0});
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(MpIspOffered());

  // Re-selecting the same drive only recomputes the pages.
  form_->CMBB_DeviceListChange();
  EXPECT_EQ(boxes_.size(), 1u);

  List()->setCurrentIndex(0);
  form_->CMBB_DeviceListChange();
  EXPECT_TRUE(HasLine("Serial Number: FIRST"));
  EXPECT_FALSE(MpIspOffered());
  EXPECT_EQ(VisibleTabs().size(), 12u);
}

TEST_F(DeviceAreaTest, CapacityOfA48BitDrive) {
  Start({ControllerDrive(2)});
  auto& identify = state_->IdentifyTable[0];
  identify[167] |= 0x04;
  const uint64_t sectors = uint64_t{1} << 32;
  std::memcpy(identify.data() + 200, &sectors, 8);
  form_->ShowDeviceInfo();
  EXPECT_TRUE(HasLine("Capacity: 2097152 MB"));
}

TEST_F(DeviceAreaTest, MpIspBringsARomCodeDriveToMpispMode) {
  Start({ControllerDrive(0)}, kAllPages);
  ASSERT_TRUE(MpIspOffered());
  mpisp_path_ = dir_.Path("MPISP.bin");
  const auto file = sim::BuildMpispFile(IspVersion(0), 65537);
  dir_.Write("MPISP.bin", std::string(file.begin(), file.end()));
  boxes_.clear();

  form_->BTN_DLMPISP->click();
  EXPECT_EQ(dialogs_, 1);
  EXPECT_EQ(boxes_, (std::vector<RecordedMessageBox>{
                        {"Load MPISP finish!", "Message", MessageIcon::Information}}));
  EXPECT_EQ(state_->CardInfoTable[0][10], 1);
  EXPECT_TRUE(HasLine("MPISP Code Mode"));
  EXPECT_FALSE(MpIspOffered());
  EXPECT_EQ(VisibleTabs(), (std::vector<int>{0, 1, 3, 7, 8, 10, 13}));
  EXPECT_EQ(form_->ActivePage(), 0);
}

TEST_F(DeviceAreaTest, MpIspOnAnMpispDriveAsksForNoFile) {
  Start({ControllerDrive(1)});
  form_->BTN_DLMPISPClick();
  EXPECT_EQ(dialogs_, 0);
  EXPECT_EQ(boxes_, (std::vector<RecordedMessageBox>{
                        {"Load MPISP finish!", "Message", MessageIcon::Information}}));
}

TEST_F(DeviceAreaTest, AFailingPieceLeavesTheDriveInRomCodeMode) {
  Start({ControllerDrive(0)});
  mpisp_path_ = dir_.Path("MPISP.bin");
  const auto file = sim::BuildMpispFile(IspVersion(0), 2 * 65536);
  dir_.Write("MPISP.bin", std::string(file.begin(), file.end()));
  recorders_[0]->failDataOut = [](const std::vector<uint8_t>& block, const testing::WireAccess&) {
    return block[1] == 0x27;
  };
  boxes_.clear();
  form_->BTN_DLMPISP->click();
  EXPECT_EQ(boxes_, (std::vector<RecordedMessageBox>{{"Load MPISP Fail!", "Error", MessageIcon::Error}}));
  EXPECT_TRUE(HasLine("ROM Code Mode"));
  EXPECT_TRUE(MpIspOffered());
}

}  // namespace
}  // namespace dozered
