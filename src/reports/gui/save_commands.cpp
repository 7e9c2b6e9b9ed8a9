#include "reports/gui/save_commands.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include "app/gui/main_form.h"
#include "app/gui/pages/erase_count_page.h"
#include "app/gui/pages/info_page.h"
#include "app/gui/qt_text.h"
#include "app/gui/rows_model.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "flash/gui/flash_rw_page.h"
#include "reports/gui/erase_count_analyze_form.h"
#include "reports/save_info.h"
#include "reports/save_operations.h"

namespace dozered {

const char* const TSaveCommands::kBinMenuControls[] = {
    "MM_ReadFlashID", "MM_IdentifyTable", "MM_SmartInfo",     "MM_CardInfo", "MM_EraseCount",
    "MM_CidOption",   "MM_ReadErrorLog",  "MM_FlashRW",       "MM_FlashRW_Spare", "MM_L2P", nullptr};
const char* const TSaveCommands::kTxtMenuControls[] = {
    "LV_IdentifyTable", "LV_SmartInfo", "LV_CardInfo", "LV_CidOption", "LV_ReadErrorLog",
    "MM_ChunkECC",      "MM_DbsDps",    nullptr};

namespace {

constexpr char kMenuAttachedProperty[] = "dozeredSaveMenu";

QFileDialog* NewSaveDialog(QWidget* parent, const char* name, const QString& filter, const QString& suffix) {
  auto* dialog = new QFileDialog(parent);
  dialog->setObjectName(QString::fromLatin1(name));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilter(filter);
  dialog->setDefaultSuffix(suffix);
  return dialog;
}

}  // namespace

TSaveCommands::TSaveCommands(TMainForm& form, AppState& state) : QObject(&form), form_(form), state_(state) {
  setObjectName(QStringLiteral("SaveCommands"));
  PM_SaveBinTile = new QMenu(&form);
  PM_SaveBinTile->setObjectName(QStringLiteral("PM_SaveBinTile"));
  MI_SaveToBinFile = PM_SaveBinTile->addAction(QStringLiteral("Save To BIN File"));
  MI_SaveToBinFile->setObjectName(QStringLiteral("MI_SaveToBinFile"));
  connect(MI_SaveToBinFile, &QAction::triggered, this, &TSaveCommands::MI_SaveToBinFileClick);

  PM_SaveTxtFile = new QMenu(&form);
  PM_SaveTxtFile->setObjectName(QStringLiteral("PM_SaveTxtFile"));
  MI_SaveToTxtFile = PM_SaveTxtFile->addAction(QStringLiteral("&Save To TXT File"));
  MI_SaveToTxtFile->setObjectName(QStringLiteral("MI_SaveToTxtFile"));
  connect(MI_SaveToTxtFile, &QAction::triggered, this, &TSaveCommands::MI_SaveToTxtFileClick);

  SD_SaveBinFile = NewSaveDialog(&form, "SD_SaveBinFile", QStringLiteral("bin (*.bin)"), QStringLiteral("bin"));
  SD_SaveTxtFile = NewSaveDialog(&form, "SD_SaveTxtFile", QStringLiteral("txt (*.txt)"), QStringLiteral("txt"));

  if (form_.EraseCountPage != nullptr) {
    connect(form_.EraseCountPage->BTN_SaveEraseCnt, &QPushButton::clicked, this,
            &TSaveCommands::BTN_SaveEraseCntClick);
    connect(form_.EraseCountPage->BTN_ShowAnalyze, &QPushButton::clicked, this,
            &TSaveCommands::BTN_ShowAnalyzeClick);
  }
  AttachMenus();
}

void TSaveCommands::Attach(QWidget* control, QMenu* menu) {
  if (control == nullptr || control->property(kMenuAttachedProperty).toBool()) return;
  control->setProperty(kMenuAttachedProperty, true);
  control->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(control, &QWidget::customContextMenuRequested, menu, [control, menu](const QPoint& pos) {
    // A scroll area reports the position in its viewport.
    auto* area = qobject_cast<QAbstractScrollArea*>(control);
    menu->popup(area != nullptr ? area->viewport()->mapToGlobal(pos) : control->mapToGlobal(pos));
  });
}

QWidget* TSaveCommands::FindControl(const char* name) const {
  const QString objectName = QString::fromLatin1(name);
  // While the window is being built its pages are not inside it yet.
  if (auto* control = form_.findChild<QWidget*>(objectName)) return control;
  return form_.PC_Main != nullptr ? form_.PC_Main->findChild<QWidget*>(objectName) : nullptr;
}

void TSaveCommands::AttachMenus() {
  for (const char* const* name = kBinMenuControls; *name != nullptr; ++name) {
    Attach(FindControl(*name), PM_SaveBinTile);
  }
  for (const char* const* name = kTxtMenuControls; *name != nullptr; ++name) {
    Attach(FindControl(*name), PM_SaveTxtFile);
  }
}

std::filesystem::path TSaveCommands::RunSaveDialog(QFileDialog& dialog, const std::string& defaultName) {
  dialog.setDirectory(QDir::current());
  dialog.selectFile(ToQString(defaultName));
  if (dialog_handler_) return dialog_handler_(dialog);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::filesystem::path() : ToPath(chosen.first());
}

// "Save To BIN File": the bytes behind the active page, whichever control was clicked.
void TSaveCommands::MI_SaveToBinFileClick() {
  const int page = form_.ActivePage();
  const int sectorItem = form_.FlashRwPage != nullptr ? form_.FlashRwPage->CMBB_FlashRW_Sector->currentIndex() : 0;
  SaveToBinFile(state_, form_, page, sectorItem,
                [this](const std::string& name) { return RunSaveDialog(*SD_SaveBinFile, name); });
}

// "&Save To TXT File": the lines of the active page.
void TSaveCommands::MI_SaveToTxtFileClick() {
  const int page = form_.ActivePage();
  PageViewText view;
  if (InfoPage* info = form_.InformationPage(page)) view.List = info->Model()->RowsData();
  const char* memo = page == kPageChunkEcc ? "MM_ChunkECC" : page == kPageDbsDps ? "MM_DbsDps" : nullptr;
  if (memo != nullptr) {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(FindControl(memo))) {
      view.Memo = ToStdString(edit->toPlainText());
    }
  }
  SaveToTxtFile(form_, page, view, [this](const std::string& name) { return RunSaveDialog(*SD_SaveTxtFile, name); });
}

// "Save Info": the log folder; the pages it reads show what was read.
void TSaveCommands::BTN_SaveInfoClick() {
  SaveInfoHooks hooks = DefaultSaveInfoHooks();
  hooks.ReadPage = [this](AppState& state, Feedback& feedback, int page) {
    PageReadOutput out = ReadPageData(state, feedback, page);
    form_.ShowPageRead(page, out);
    return out;
  };
  SaveInfo(state_, form_, TodayLocalDate(), hooks);
}

void TSaveCommands::BTN_SaveEraseCntClick() {
  SaveEraseCount(state_, form_, [this](const std::string& name) { return RunSaveDialog(*SD_SaveTxtFile, name); });
}

// "Show Analyze": reads the table again into the list and the chart, then
// shows the analysis window; a failed read leaves both as they were.
void TSaveCommands::BTN_ShowAnalyzeClick() {
  {
    RunScope run(form_);
    const EraseCountAnalysis analysis = ReadEraseCountAnalysis(state_, form_);
    if (analysis.Read) {
      if (analyze_ != nullptr) analyze_->PrepareChart(analysis.AxisMaximum);
      form_.ProcessPendingEvents();
      form_.EraseCountPage->SetRows(analysis.List);
      if (analyze_ != nullptr) {
        for (const auto& [block, count] : analysis.Points) analyze_->AddBlockPoint(block, count);
      }
    }
  }
  form_.TM_StatusBarClear->start();
  if (analyze_ != nullptr) analyze_->ShowModal(&form_);
}

}  // namespace dozered
