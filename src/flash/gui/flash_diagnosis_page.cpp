#include "flash/gui/flash_diagnosis_page.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

#include "app/gui/qt_text.h"
#include "app/gui/rows_model.h"

namespace dozered {
namespace {

// Hands the painting of a grid's cells to the grid's draw-cell handler.
class DrawCellDelegate : public QStyledItemDelegate {
 public:
  using Handler = std::function<void(QPainter*, int column, int row, const QRect& rect)>;
  DrawCellDelegate(Handler handler, QObject* parent) : QStyledItemDelegate(parent), handler_(std::move(handler)) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    handler_(painter, index.column(), index.row(), option.rect);
  }

 private:
  Handler handler_;
};

QWidget* Titled(const char* title, QWidget* content, bool stretch) {
  auto* box = new QWidget;
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* label = new QLabel(QString::fromLatin1(title));
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  layout->addWidget(label);
  layout->addWidget(content, stretch ? 1 : 0);
  if (!stretch) layout->addStretch(1);
  return box;
}

void ShowGrid(QTableWidget* grid, const BadBlockGrid& cells) {
  for (int row = 0; row < kBadBlockGridSize; ++row) {
    for (int column = 0; column < kBadBlockGridSize; ++column) {
      QTableWidgetItem* item = grid->item(row, column);
      const QString text = ToQString(cells.Cell(column, row));
      if (item->text() != text) item->setText(text);
    }
  }
}

}  // namespace

TFlashDiagnosisPage::TFlashDiagnosisPage(AppState& state, Feedback& feedback, QWidget* parent)
    : QWidget(parent), state_(state), feedback_(feedback) {
  setObjectName(QStringLiteral("FlashDiagnosisPage"));
  SG_OrgBadBlock = NewGrid("SG_OrgBadBlock");
  SG_RuntimeBadBlock = NewGrid("SG_RuntimeBadBlock");
  SG_TotalBadBlock = NewGrid("SG_TotalBadBlock");
  SG_OrgBadBlock->setItemDelegate(new DrawCellDelegate(
      [this](QPainter* p, int c, int r, const QRect& rect) { SG_OrgBadBlockDrawCell(p, c, r, rect); }, SG_OrgBadBlock));
  SG_RuntimeBadBlock->setItemDelegate(new DrawCellDelegate(
      [this](QPainter* p, int c, int r, const QRect& rect) { SG_RuntimeBadBlockDrawCell(p, c, r, rect); },
      SG_RuntimeBadBlock));
  SG_TotalBadBlock->setItemDelegate(new DrawCellDelegate(
      [this](QPainter* p, int c, int r, const QRect& rect) { SG_TotalBadBlockDrawCell(p, c, r, rect); },
      SG_TotalBadBlock));

  const QStringList columns = {QStringLiteral("No"), QStringLiteral("FBlock"), QStringLiteral("CH"),
                               QStringLiteral("CE"), QStringLiteral("Plane")};
  original_model_ = new RowsModel(columns, this);
  total_model_ = new RowsModel(columns, this);
  LV_OriginalBadBlock = NewList("LV_OriginalBadBlock", original_model_);
  LV_TotalBadBlock = NewList("LV_TotalBadBlock", total_model_);

  PC_Diagnosis = new QTabWidget(this);
  PC_Diagnosis->setObjectName(QStringLiteral("PC_Diagnosis"));
  PC_Diagnosis->setTabPosition(QTabWidget::South);

  TS_OrgRuntimeBadBlock = new QWidget;
  TS_OrgRuntimeBadBlock->setObjectName(QStringLiteral("TS_OrgRuntimeBadBlock"));
  auto* both = new QHBoxLayout(TS_OrgRuntimeBadBlock);
  both->addWidget(Titled("Original Bad Block Diagnosis", SG_OrgBadBlock, false));
  both->addWidget(Titled("Run Time Bad Block Diagnosis", SG_RuntimeBadBlock, false));
  both->addStretch(1);
  PC_Diagnosis->addTab(TS_OrgRuntimeBadBlock, QStringLiteral("Original/Run Time Bad Block"));

  TS_TotalBadBlock = new QWidget;
  TS_TotalBadBlock->setObjectName(QStringLiteral("TS_TotalBadBlock"));
  auto* total = new QHBoxLayout(TS_TotalBadBlock);
  total->addWidget(Titled("Total Bad Block Diagnosis(Original+New)", SG_TotalBadBlock, false));
  total->addStretch(1);
  PC_Diagnosis->addTab(TS_TotalBadBlock, QStringLiteral("Total Bad Block"));

  TS_BadBlockParsing = new QWidget;
  TS_BadBlockParsing->setObjectName(QStringLiteral("TS_BadBlockParsing"));
  auto* lists = new QHBoxLayout(TS_BadBlockParsing);
  lists->addWidget(Titled("Original Bad Block", LV_OriginalBadBlock, true), 1);
  lists->addWidget(Titled("Total Bad Block( * is Run Time Bad Block)", LV_TotalBadBlock, true), 1);
  PC_Diagnosis->addTab(TS_BadBlockParsing, QStringLiteral("Bad Block Parsing"));

  BTN_BadBlockRead = new QPushButton(QStringLiteral("Read Data"), this);
  BTN_BadBlockRead->setObjectName(QStringLiteral("BTN_BadBlockRead"));
  BTN_BadBlockRead->setVisible(false);
  connect(BTN_BadBlockRead, &QPushButton::clicked, this, &TFlashDiagnosisPage::BTN_BadBlockReadClick);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PC_Diagnosis);
  ShowViews();
}

QTableWidget* TFlashDiagnosisPage::NewGrid(const char* name) {
  auto* grid = new QTableWidget(kBadBlockGridSize, kBadBlockGridSize, this);
  grid->setObjectName(QString::fromLatin1(name));
  grid->horizontalHeader()->setVisible(false);
  grid->verticalHeader()->setVisible(false);
  grid->horizontalHeader()->setDefaultSectionSize(kGridColumnWidth);
  grid->horizontalHeader()->setMinimumSectionSize(kGridColumnWidth);
  grid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  grid->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::NoSelection);
  grid->setFocusPolicy(Qt::NoFocus);
  for (int row = 0; row < kBadBlockGridSize; ++row) {
    for (int column = 0; column < kBadBlockGridSize; ++column) grid->setItem(row, column, new QTableWidgetItem);
  }
  const int frame = 2 * grid->frameWidth();
  grid->setFixedSize(kBadBlockGridSize * kGridColumnWidth + frame, kBadBlockGridSize * kGridRowHeight + frame);
  return grid;
}

QTableView* TFlashDiagnosisPage::NewList(const char* name, RowsModel* model) {
  auto* list = new QTableView(this);
  list->setObjectName(QString::fromLatin1(name));
  list->setModel(model);
  list->setShowGrid(true);
  list->verticalHeader()->setVisible(false);
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setWordWrap(false);
  list->horizontalHeader()->setHighlightSections(false);
  list->horizontalHeader()->setStretchLastSection(true);
  list->setColumnWidth(1, kFBlockColumnWidth);
  return list;
}

void TFlashDiagnosisPage::ShowViews() {
  ShowGrid(SG_OrgBadBlock, views_.Original);
  ShowGrid(SG_RuntimeBadBlock, views_.RunTime);
  ShowGrid(SG_TotalBadBlock, views_.Total);
  if (original_model_->RowsData() != views_.OriginalList) original_model_->SetRows(views_.OriginalList);
  if (total_model_->RowsData() != views_.TotalList) total_model_->SetRows(views_.TotalList);
}

void TFlashDiagnosisPage::BTN_BadBlockReadClick() {
  last_read_ = ReadBadBlocks(state_, feedback_, views_);
  ShowViews();
}

void TFlashDiagnosisPage::EnterPage() {
  WriteBadBlockGridHeaders(views_);
  ShowViews();
  BTN_BadBlockReadClick();
}

void TFlashDiagnosisPage::DrawBadBlockCell(QPainter* painter, const QRect& rect, int column, int row,
                                           const QString& text) const {
  const QColor fill = BadBlockCellPopulated(state_, column, row)
                          ? QColor::fromRgb(static_cast<QRgb>(kPopulatedCellColour))
                          : palette().color(QPalette::Window);
  painter->fillRect(rect, fill);
  painter->setPen(palette().color(QPalette::WindowText));
  painter->drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TFlashDiagnosisPage::SG_OrgBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  DrawBadBlockCell(painter, rect, column, row, SG_OrgBadBlock->item(row, column)->text());
}

void TFlashDiagnosisPage::SG_RuntimeBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  DrawBadBlockCell(painter, rect, column, row, SG_RuntimeBadBlock->item(row, column)->text());
}

void TFlashDiagnosisPage::SG_TotalBadBlockDrawCell(QPainter* painter, int column, int row, const QRect& rect) {
  DrawBadBlockCell(painter, rect, column, row, SG_TotalBadBlock->item(row, column)->text());
}

}  // namespace dozered
