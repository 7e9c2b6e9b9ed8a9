#include "app/gui/rows_model.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeView>
#include <gtest/gtest.h>

#include "app/gui/pages/erase_count_page.h"
#include "app/gui/pages/mark_bad_info_page.h"
#include "app/gui/pages/read_flash_id_page.h"

namespace dozered {
namespace {

Rows EraseCountRows(int count) {
  Rows rows;
  rows.reserve(static_cast<size_t>(count));
  char block[16];
  for (int b = 0; b < count; ++b) {
    std::snprintf(block, sizeof block, "0x%04X", b);
    rows.push_back({block, b % 7 == 0 ? "Bad Block" : "0x0010"});
  }
  return rows;
}

TEST(RowsModelTest, PassesTheModelTesterWhileRowsChange) {
  RowsModel model({"Block", "Count"});
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  model.SetRows(EraseCountRows(8192));
  EXPECT_EQ(model.rowCount(), 8192);
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(model.data(model.index(8191, 0)).toString(), "0x1FFF");
  EXPECT_EQ(model.data(model.index(7, 1)).toString(), "Bad Block");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Count");
  model.SetRows({{"short row"}});
  EXPECT_EQ(model.data(model.index(0, 1)).toString(), "");
  model.Clear();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(RowsModelTest, KeepsSingleByteTextsAsTheyAre) {
  RowsModel model({"Item"});
  model.SetRows({{std::string("Temp \xB0" "C")}});
  EXPECT_EQ(model.data(model.index(0, 0)).toString(), QString::fromLatin1("Temp \xB0" "C"));
}

TEST(InfoPageTest, RawViewShowsEitherTheMemoOrTheList) {
  TEraseCountPage page;
  page.resize(600, 400);
  page.show();
  page.ShowRawView(true);
  EXPECT_TRUE(page.MM_EraseCount->isVisible());
  EXPECT_FALSE(page.LV_EraseCount->isVisible());
  page.ShowRawView(false);
  EXPECT_FALSE(page.MM_EraseCount->isVisible());
  EXPECT_TRUE(page.LV_EraseCount->isVisible());
  EXPECT_TRUE(page.MM_EraseCount->isReadOnly());
  EXPECT_TRUE(page.MM_EraseCount->font().fixedPitch());
  EXPECT_EQ(page.LV_EraseCount->model()->headerData(0, Qt::Horizontal).toString(), "Block");
}

TEST(InfoPageTest, DumpLinesKeepTheirLayout) {
  TReadFlashIdPage page;
  page.SetDump("line one\r\nline two\r\n");
  EXPECT_EQ(page.MM_ReadFlashID->toPlainText(), "line one\nline two\n");
  EXPECT_TRUE(page.MM_ReadFlashID->isVisibleTo(&page));
  EXPECT_FALSE(page.LV_ReadFlashID->isVisibleTo(&page));
}

TEST(InfoPageTest, MarkBadPageHasOnlyItsList) {
  TMarkBadInfoPage page;
  EXPECT_EQ(page.Memo(), nullptr);
  page.ShowRawView(true);
  EXPECT_TRUE(page.LV_MarkBadInfo->isVisibleTo(&page));
  EXPECT_EQ(page.LV_MarkBadInfo->model()->columnCount(), 7);
  EXPECT_EQ(page.LV_MarkBadInfo->model()->headerData(6, Qt::Horizontal).toString(), "Erase Counts");
}

}  // namespace
}  // namespace dozered
