// The "Chunk ECC" and "L2P mapping" pages and the chunk-ECC and LBA controls
// of the Flash RW page, in the main window against a simulated drive.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/code_loading.h"
#include "app/gui/main_form.h"
#include "app/page_table.h"
#include "flash/chunk_ecc.h"
#include "flash/gui/chunk_ecc_page.h"
#include "flash/gui/flash_rw_page.h"
#include "flash/gui/l2p_page.h"
#include "flash/gui/up_down.h"
#include "flash/lba_translation.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/tab_sheets.h"
#include "support/temp_dir.h"
#include "support/wire_recorder.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::WireRecorder;

std::string Text(const QLineEdit* field) { return field->text().toStdString(); }

class ChunkEccL2pPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_shared<sim::SimulatedDrive>(ControllerDrive(2));
    wire_ = std::make_shared<WireRecorder>(drive_);
    testing::InstallDisks(*state_, {wire_});
    state_->ExecutableDir = dir_.Path("exe");
    StartupFiles files;
    files.StringIni = dir_.Write("String.ini", "[VE4810VO]\r\n");
    files.TabSheetIni = dir_.Write("TabSheet.ini", testing::kAllPagesTabSheet);
    form_ = std::make_unique<TMainForm>(*state_, files);
    form_->SetMessageBoxHandler([this](const std::string& text, const std::string& caption, MessageIcon icon) {
      boxes_.push_back({text, caption, icon});
    });
    form_->FormCreate();
    form_->resize(1260, 820);
    form_->show();
    QApplication::processEvents();
    for (auto [kind, name] : {std::pair{sim::DiagnosticKind::kReadChunkEcc, kDgIspReadChunkEcc},
                              std::pair{sim::DiagnosticKind::kTranLba2Pba, kDgIspTranLba2Pba}}) {
      const auto file = sim::BuildDiagnosticFile(kind, drive_->model().identity.ispVersion, false);
      for (const auto& place : {state_->ExecutableDir / name, DiagnosticCodePathFor(*state_, 0, name)}) {
        std::filesystem::create_directories(place.parent_path());
        std::ofstream(place, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
      }
    }
    wire_->ClearLog();
  }

  std::string Status() const { return form_->LB_StatusBar->text().toStdString(); }
  void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

  std::vector<testing::VendorCommand> Sent(uint8_t opcode) const {
    std::vector<testing::VendorCommand> sent;
    for (const testing::VendorCommand& c : wire_->Commands()) {
      if (c.opcode() == opcode) sent.push_back(c);
    }
    return sent;
  }

  void HostWrite(uint32_t lba, uint32_t count) {
    std::vector<uint8_t> data(static_cast<size_t>(count) * 512, 0x6D);
    VE4810VO& controller = state_->Controllers[0];
    ASSERT_TRUE(controller.Open(true));
    ASSERT_EQ(controller.WriteSectors(lba, count, data.data()), kResultSuccess);
    controller.Close();
  }

  testing::TempDir dir_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<WireRecorder> wire_;
  std::unique_ptr<TMainForm> form_;
  std::vector<RecordedMessageBox> boxes_;
};

TEST_F(ChunkEccL2pPageTest, ChunkEccPageRunsTheRangeAndPrintsItsTables) {
  TChunkEccPage* page = form_->ChunkEccPage;
  ASSERT_NE(page, nullptr);
  form_->SetActivePage(kPageChunkEcc);
  QApplication::processEvents();
  EXPECT_EQ(page->parentWidget(), form_->Page(kPageChunkEcc));
  EXPECT_EQ(page->GB_EccCheck->title(), "ECC Check");
  // The controls as they start.
  // A field shows no more than it takes: the page fields start at "000".
  const std::pair<QLineEdit*, int> fields[] = {{page->EDT_ChunkECC_StartBlock, 4}, {page->EDT_ChunkECC_EndBlock, 4},
                                               {page->EDT_ChunkECC_StartPage, 3}, {page->EDT_ChunkECC_EndPage, 3}};
  for (const auto& [field, length] : fields) {
    EXPECT_EQ(Text(field), std::string(static_cast<size_t>(length), '0'));
    EXPECT_EQ(field->maxLength(), length);
    EXPECT_TRUE(page->GB_EccCheck->isAncestorOf(field));
  }
  int hexCaptions = 0;
  for (const QLabel* label : page->GB_EccCheck->findChildren<QLabel*>()) hexCaptions += label->text() == "(Hex)";
  EXPECT_EQ(hexCaptions, 2);
  EXPECT_EQ(page->CMBB_ChunkECC_CE->count(), 8);
  EXPECT_EQ(page->CMBB_ChunkECC_CH->count(), 4);
  EXPECT_EQ(page->CMBB_ChunkECC_CE->currentIndex(), -1);
  EXPECT_EQ(page->CMBB_ChunkECC_CH->currentIndex(), -1);
  EXPECT_EQ(page->CHKB_CunkECC_DisOrphan->text(), "Disable Use Orphan Table");
  EXPECT_FALSE(page->CHKB_CunkECC_DisOrphan->isChecked());
  EXPECT_EQ(page->BTN_ChunkECC->text(), "Chunk ECC");
  EXPECT_TRUE(page->MM_ChunkECC->isReadOnly());
  EXPECT_TRUE(page->MM_ChunkECC->font().fixedPitch());
  EXPECT_TRUE(page->MM_ChunkECC->toPlainText().isEmpty());

  // Without CH and CE nothing is sent.
  Click(page->BTN_ChunkECC);
  EXPECT_EQ(Status(), kSelectChAndCeText);
  EXPECT_TRUE(wire_->Log().empty());

  page->EDT_ChunkECC_StartBlock->setText("0020");
  page->EDT_ChunkECC_EndBlock->setText("0021");
  page->EDT_ChunkECC_StartPage->setText("1A5");
  page->EDT_ChunkECC_EndPage->setText("1A5");
  page->CMBB_ChunkECC_CE->setCurrentIndex(7);
  page->CMBB_ChunkECC_CH->setCurrentIndex(3);
  page->CHKB_CunkECC_DisOrphan->setChecked(true);
  Click(page->BTN_ChunkECC);
  EXPECT_EQ(Status(), kReadChunkSuccessText);
  EXPECT_TRUE(boxes_.empty());
  const auto sent = Sent(0x46);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].block[4], 0x3B);
  EXPECT_EQ(sent[1].block[5], 0xA5);
  EXPECT_EQ(sent[1].block[8], 2);
  EXPECT_EQ(sent[1].block[10], 2);
  const QStringList lines = page->MM_ChunkECC->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 20);
  EXPECT_EQ(lines[0], "Block:0020, Page:1A5");
  EXPECT_EQ(lines[10], "Block:0021, Page:1A5");
  EXPECT_TRUE(lines[1].startsWith("Chunk :   0  1  2"));
  EXPECT_TRUE(lines[9].startsWith(" RR 7 : "));
}

TEST_F(ChunkEccL2pPageTest, L2pPageListsTheTranslation) {
  TL2pPage* page = form_->L2pPage;
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->parentWidget(), form_->Page(kPageL2P));
  EXPECT_EQ(Text(page->EDT_L2P_LBA), "0");
  EXPECT_EQ(page->EDT_L2P_LBA->maxLength(), 10);
  EXPECT_EQ(page->BTN_L2P->text(), "L2P Mapping");
  EXPECT_EQ(page->LV_L2P->horizontalHeaderItem(0)->text(), "Item");
  EXPECT_EQ(page->LV_L2P->horizontalHeaderItem(1)->text(), "Data");
  EXPECT_TRUE(page->LV_L2P->showGrid());
  HostWrite(64, 8);
  form_->SetActivePage(kPageL2P);
  page->EDT_L2P_LBA->setText("66");
  Click(page->BTN_L2P);
  EXPECT_EQ(Status(), kTranslationCompleteText);
  ASSERT_EQ(page->LV_L2P->rowCount(), 10);
  EXPECT_EQ(page->LV_L2P->item(0, 0)->text(), "FBlock");
  EXPECT_EQ(page->LV_L2P->item(3, 0)->text(), "SectorH");
  EXPECT_EQ(page->LV_L2P->item(9, 0)->text(), "CE");
  EXPECT_TRUE(page->LV_L2P->item(1, 1)->text().startsWith("0x"));
  // An LBA the host never wrote leaves the list empty.
  page->EDT_L2P_LBA->setText("123456");
  Click(page->BTN_L2P);
  EXPECT_EQ(Status(), kLbaDoesNotExistText);
  EXPECT_EQ(page->LV_L2P->rowCount(), 0);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ChunkEccL2pPageTest, FlashRwLbaModeFillsTheAddressFromTheTranslation) {
  TFlashRwPage* page = form_->FlashRwPage;
  HostWrite(800, 16);
  form_->PC_Main->setCurrentIndex(kPageFlashRw);
  QApplication::processEvents();
  ASSERT_TRUE(page->L2PChkBox->isEnabled());  // normal firmware
  EXPECT_FALSE(page->EDT_LBAIn->isEnabled());
  EXPECT_FALSE(page->BTN_LtoP->isEnabled());
  EXPECT_EQ(Text(page->EDT_LBAIn), "N/A");
  page->EDT_FlashRWBlock->setText("0042");
  page->EDT_FlashRWPage->setText("0007");
  page->EDT_FlashRWChunk->setText("01");

  Click(page->L2PChkBox);
  EXPECT_TRUE(page->L2PChkBox->isChecked());
  EXPECT_EQ(Text(page->EDT_LBAIn), "0");
  EXPECT_TRUE(page->EDT_LBAIn->isEnabled());
  EXPECT_TRUE(page->BTN_LtoP->isEnabled());
  const QWidget* address[] = {page->EDT_FlashRWBlock,  page->EDT_FlashRWPage, page->EDT_FlashRWChunk,
                              page->UDwn_FlashRWBlock, page->UDwn_FlashRWPage, page->UDwn_FlashRWChunk,
                              page->UDwn_FlashRWCE,    page->UDwn_FlashRWIntlv, page->UDwn_FlashRWPlane};
  for (const QWidget* control : address) EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();

  // The translation fills the address, and the list of the L2P page is emptied.
  form_->L2pPage->ShowRows({{"FBlock", "0x0001"}});
  page->EDT_LBAIn->setText("805");
  wire_->ClearLog();
  Click(page->BTN_LtoP);
  EXPECT_EQ(form_->L2pPage->LV_L2P->rowCount(), 0);
  EXPECT_TRUE(boxes_.empty());
  testing::RecordingFeedback quiet;
  const L2pOutcome listed = TranslateLbaForList(*state_, quiet, "805");
  ASSERT_EQ(listed.Rows.size(), 10u);
  auto hex = [](const std::string& data) { return std::stoul(data, nullptr, 16); };
  EXPECT_EQ(hex(Text(page->EDT_FlashRWBlock)), hex(listed.Rows[0].Data));
  EXPECT_EQ(hex(Text(page->EDT_FlashRWPage)), hex(listed.Rows[2].Data));
  EXPECT_EQ(hex(Text(page->EDT_FlashRWChunk)), hex(listed.Rows[3].Data) / 2);
  EXPECT_EQ(hex(Text(page->EDT_FlashRWchce)), hex(listed.Rows[8].Data) | hex(listed.Rows[5].Data) << 3);
  EXPECT_EQ(hex(Text(page->EDT_FlashRWOption0)) >> 6, hex(listed.Rows[4].Data));
  EXPECT_EQ(Text(page->EDT_FlashRWOption0), ByteText(state_->FlashOption));

  // Leaving LBA mode gives the fields back as they are.
  const std::string block = Text(page->EDT_FlashRWBlock);
  Click(page->L2PChkBox);
  EXPECT_EQ(Text(page->EDT_LBAIn), "N/A");
  EXPECT_FALSE(page->EDT_LBAIn->isEnabled());
  EXPECT_FALSE(page->BTN_LtoP->isEnabled());
  EXPECT_EQ(Text(page->EDT_FlashRWBlock), block);
  for (const QWidget* control : address) EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
}

TEST_F(ChunkEccL2pPageTest, ChunkEccButtonShowsTheAnswerRaw) {
  TFlashRwPage* page = form_->FlashRwPage;
  form_->PC_Main->setCurrentIndex(kPageFlashRw);
  QApplication::processEvents();
  ASSERT_TRUE(page->BTN_Chunk_ECC->isEnabled());
  page->EDT_FlashRWBlock->setText("0030");
  wire_->ClearLog();
  page->BTN_Chunk_ECC->click();
  EXPECT_EQ(Status(), kReadFlashSuccessText);
  ASSERT_EQ(Sent(0x46).size(), 1u);
  EXPECT_EQ(page->MM_FlashRW->document()->blockCount(), 3 * 512 / 16);
  EXPECT_TRUE(page->MM_FlashRW_Spare->toPlainText().isEmpty());
}

}  // namespace
}  // namespace dozered
