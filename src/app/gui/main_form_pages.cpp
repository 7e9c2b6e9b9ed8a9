// The handlers shared by the information pages of the main window: reading the
// active page, preparing a page when it becomes active, the raw/decoded switch
// and the IDENTIFY description in the status bar.
#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeView>

#include "app/gui/main_form.h"
#include "app/gui/pages/card_info_page.h"
#include "app/gui/pages/cid_option_page.h"
#include "app/gui/pages/erase_count_page.h"
#include "app/gui/pages/error_log_page.h"
#include "app/gui/pages/identify_table_page.h"
#include "app/gui/pages/mark_bad_info_page.h"
#include "app/gui/pages/microcode_page.h"
#include "app/gui/pages/read_flash_id_page.h"
#include "app/gui/pages/smart_info_page.h"
#include "app/gui/qt_text.h"
#include "app/gui/rows_model.h"
#include "app/page_read.h"
#include "app/page_table.h"

namespace dozered {

void TMainForm::CreateInformationPages() {
  auto add = [this](int page, auto* content) {
    SetPageContent(page, content);
    info_pages_[static_cast<size_t>(page)] = content;
    return content;
  };
  ReadFlashIdPage = add(kPageReadFlashId, new TReadFlashIdPage);
  IdentifyTablePage = add(kPageIdentifyTable, new TIdentifyTablePage);
  SmartInfoPage = add(kPageSmartInfo, new TSmartInfoPage);
  CardInfoPage = add(kPageCardInfo, new TCardInfoPage);
  EraseCountPage = add(kPageEraseCount, new TEraseCountPage);
  CidOptionPage = add(kPageCidOption, new TCidOptionPage);
  MarkBadInfoPage = add(kPageMarkBadInfo, new TMarkBadInfoPage);
  ErrorLogPage = add(kPageErrorLog, new TErrorLogPage);
  MicrocodePage = new TMicrocodePage;
  SetPageContent(kPageMicrocode, MicrocodePage);
  // The description follows the current row, whether a click or a key moved it.
  connect(IdentifyTablePage->LV_IdentifyTable, &QTreeView::clicked, this, &TMainForm::LV_IdentifyTableClick);
  connect(IdentifyTablePage->LV_IdentifyTable->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TMainForm::LV_IdentifyTableClick);
}

InfoPage* TMainForm::InformationPage(int page) const {
  return page >= 0 && page < kPageCount ? info_pages_[static_cast<size_t>(page)] : nullptr;
}

// Reads the active page; run from code after a scan, a selection, a code
// load or a page change (the button itself is never shown).
void TMainForm::BTN_ReadDataClick() {
  RunScope run(*this);
  ShowStatus(kWaitingText);
  ProcessPendingEvents();
  ReadInformationPage(ActivePage());
}

void TMainForm::ReadInformationPage(int page) { ShowPageRead(page, ReadPageData(state_, *this, page)); }

void TMainForm::ShowPageRead(int page, const PageReadOutput& out) {
  if (InfoPage* view = InformationPage(page)) {
    if (out.Dump) view->SetDump(*out.Dump);
    if (out.List) view->SetRows(*out.List);
  }
  if (out.MarkBadCount) MarkBadInfoPage->EDT_TtlMarkBadCount->setText(ToQString(*out.MarkBadCount));
  if (out.Temperature) {
    std::vector<std::string> lines;
    const QStringList shown = MM_DeviceInfo->toPlainText().split(QLatin1Char('\n'));
    for (const QString& line : shown) lines.push_back(ToStdString(line));
    QStringList refreshed;
    for (const std::string& line : RefreshTemperatureLines(lines, *out.Temperature)) refreshed << ToQString(line);
    if (refreshed != shown) MM_DeviceInfo->setPlainText(refreshed.join(QLatin1Char('\n')));
  }
}

// The user made another page active.
void TMainForm::PC_MainChange() {
  RunScope run(*this);
  ProcessBar->setValue(0);
  ProcessBar->setVisible(false);
  StatusBarPanel(1)->clear();
  const int page = ActivePage();
  const PageInfo* row = PageRow(page);
  if (row == nullptr) return;
  switch (row->RawBox) {
    case RawBoxOnEntry::kFollowsPage: {
      CHKB_RawData->setEnabled(true);
      const bool raw = state_.RawViewFlags[static_cast<size_t>(page)] != 0;
      if (CHKB_RawData->isChecked() != raw) {
        CHKB_RawData->setChecked(raw);  // runs CHKB_RawDataClick, which sets the views
      } else {
        InformationPage(page)->ShowRawView(raw);
      }
      break;
    }
    case RawBoxOnEntry::kShowsList:
      CHKB_RawData->setEnabled(true);
      InformationPage(page)->ShowRawView(false);
      break;
    case RawBoxOnEntry::kOff:
      CHKB_RawData->setChecked(false);
      CHKB_RawData->setEnabled(false);
      break;
    case RawBoxOnEntry::kUnchanged:
      break;
  }
  if (row->Entry == PageEntry::kFlashPage) {
    emit FlashPageActivated(page);
  } else {
    BTN_ReadDataClick();
  }
}

// Switches the active page between its raw and its decoded view and
// remembers the choice for the page.
void TMainForm::CHKB_RawDataClick() {
  const int page = ActivePage();
  if (!PageHasRawViewSwitch(page)) return;
  const bool raw = CHKB_RawData->isChecked();
  state_.RawViewFlags[static_cast<size_t>(page)] = raw ? 1 : 0;
  InformationPage(page)->ShowRawView(raw);
}

// A click in the IDENTIFY list shows the row's description in panel 1.
void TMainForm::LV_IdentifyTableClick() {
  const QModelIndex current = IdentifyTablePage->LV_IdentifyTable->currentIndex();
  if (!current.isValid()) return;
  const Rows& rows = IdentifyTablePage->Model()->RowsData();
  const auto row = static_cast<size_t>(current.row());
  if (row >= rows.size()) return;
  // The panel is one line high: the line break after the last sub-item is not
  // drawn, so that the text sits in the middle of the panel like the others.
  QString text = ToQString(IdentifyRowStatusText(rows[row]));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  StatusBarPanel(1)->setText(text);
}

}  // namespace dozered
