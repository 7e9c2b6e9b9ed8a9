#include "app/gui/setup_form.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/gui/radio_group.h"

namespace dozered {
namespace {

class RecordingSetupForm : public TSetupForm {
 public:
  using TSetupForm::TSetupForm;
  QStringList errors;

 protected:
  void ShowConversionError(const QString& text) override { errors << text; }
};

class SetupFormTest : public ::testing::Test {
 protected:
  AppState state;
  RecordingSetupForm form{state};

  void Show() {
    state.SettingsAccepted = false;
    form.open();
    QApplication::processEvents();
  }
  void Ok() { QTest::mouseClick(form.BTN_Ok, Qt::LeftButton); }
};

TEST_F(SetupFormTest, CaptionItemsAndSize) {
  EXPECT_EQ(form.windowTitle(), "Setting");
  EXPECT_EQ(form.size(), QSize(718, 368));
  EXPECT_EQ(form.CMBB_IntlvOddA->count(), 8);
  EXPECT_EQ(form.CMBB_ChannelSelectin->count(), 4);
  EXPECT_EQ(form.CMBB_PlaneSwitch->count(), 4);
  EXPECT_EQ(form.CMBB_PlaneSwitch->itemText(3), "3");
  EXPECT_EQ(form.CMBB_IntlvOddA->lineEdit()->maxLength(), 1);
  EXPECT_EQ(form.RG_PlaneMode->title(), "Plane Mode");
  EXPECT_EQ(form.RG_PlaneMode->Item(0)->text(), "Force one plane");
  EXPECT_EQ(form.RG_PlaneMode->Item(1)->text(), "M plane operation");
  EXPECT_EQ(form.RG_EccModeSwitch->title(), "ECC mode Switch");
  EXPECT_EQ(form.RG_TlcReadRetry->title(), "Read Retry");
  EXPECT_EQ(form.RG_EnMaxECC->title(), "Enable Max ECC");
  EXPECT_EQ(form.RG_ReadSpr->title(), "Read Spare");
  EXPECT_EQ(form.BTN_Canel->text(), "Cancel");
  EXPECT_NE(form.findChild<QComboBox*>("CMBB_ChannelSelectin"), nullptr);
}

TEST_F(SetupFormTest, LayoutKeepsEveryControlInsideAndUncut) {
  Show();
  const QRect client = form.rect();
  for (QWidget* w : form.findChildren<QWidget*>()) {
    if (!w->isVisible() || w->parentWidget() != &form) continue;
    EXPECT_TRUE(client.contains(w->geometry())) << w->objectName().toStdString();
    EXPECT_GE(w->height(), w->minimumSizeHint().height()) << w->objectName().toStdString();
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
  }
  // Items side by side, except "Plane Mode" whose items are one under the other.
  for (RadioGroup* g : {form.RG_StrongPage, form.RG_ReadSpr, form.RG_EccModeSwitch, form.RG_Scramble,
                        form.RG_TlcReadRetry, form.RG_EnMaxECC}) {
    EXPECT_EQ(g->Item(0)->y(), g->Item(1)->y()) << g->title().toStdString();
    EXPECT_LT(g->Item(0)->x(), g->Item(1)->x());
  }
  EXPECT_LT(form.RG_PlaneMode->Item(0)->y(), form.RG_PlaneMode->Item(1)->y());
  // Three columns: the selection boxes left of the radio groups, "Enable Max
  // ECC" right of them, OK above Cancel at the top right.
  EXPECT_LT(form.CMBB_PlaneSwitch->mapTo(&form, QPoint()).x(), form.RG_Scramble->x());
  EXPECT_LT(form.RG_Scramble->geometry().right(), form.RG_EnMaxECC->x());
  EXPECT_LT(form.RG_EnMaxECC->geometry().right(), form.BTN_Ok->x());
  EXPECT_LT(form.BTN_Ok->y(), form.BTN_Canel->y());
  form.reject();
}

TEST(SetupFormPlacementTest, CentredOverTheWindowItIsOpenedFrom) {
  AppState state;
  QWidget main;
  main.setGeometry(100, 80, 1200, 800);
  main.show();
  RecordingSetupForm form(state, &main);
  form.open();
  QApplication::processEvents();
  EXPECT_LE((form.frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2);
  form.reject();
}

TEST_F(SetupFormTest, StartupValuesShowAndOkGivesThemBack) {
  Show();
  EXPECT_EQ(form.CMBB_IntlvOddA->currentText(), "0");
  EXPECT_EQ(form.CMBB_ChannelSelectin->currentText(), "0");
  EXPECT_EQ(form.CMBB_PlaneSwitch->currentText(), "0");
  EXPECT_TRUE(form.RG_Scramble->Item(kItemEnable)->isChecked());
  EXPECT_TRUE(form.RG_EccModeSwitch->Item(kItemEnable)->isChecked());
  EXPECT_TRUE(form.RG_PlaneMode->Item(kItemMultiPlane)->isChecked());
  EXPECT_TRUE(form.RG_ReadSpr->Item(kItemEnable)->isChecked());
  EXPECT_TRUE(form.RG_StrongPage->Item(kItemDisable)->isChecked());
  EXPECT_TRUE(form.RG_TlcReadRetry->Item(kItemEnable)->isChecked());
  EXPECT_TRUE(form.RG_EnMaxECC->Item(kItemDisable)->isChecked());
  Ok();
  EXPECT_EQ(state.FlashOption, 0x21);
  EXPECT_EQ(state.FlashChCe, 0x00);
  EXPECT_TRUE(state.SettingsAccepted);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(SetupFormTest, ClickedControlsBuild0x6AAnd0xFF) {
  Show();
  form.CMBB_ChannelSelectin->setCurrentIndex(2);
  form.CMBB_IntlvOddA->setCurrentIndex(5);
  form.CMBB_PlaneSwitch->setCurrentIndex(3);
  QTest::mouseClick(form.RG_EnMaxECC->Item(kItemEnable), Qt::LeftButton);
  QTest::mouseClick(form.RG_StrongPage->Item(kItemEnable), Qt::LeftButton);
  QTest::mouseClick(form.RG_EccModeSwitch->Item(kItemDisable), Qt::LeftButton);
  QTest::mouseClick(form.RG_ReadSpr->Item(kItemDisable), Qt::LeftButton);
  QTest::mouseClick(form.RG_PlaneMode->Item(kItemForceOnePlane), Qt::LeftButton);
  Ok();
  EXPECT_EQ(state.FlashChCe, 0x6A);
  EXPECT_EQ(state.FlashOption, 0xFF);
  // The next showing reads the stored bytes back into every control.
  Show();
  EXPECT_EQ(form.CMBB_ChannelSelectin->currentText(), "2");
  EXPECT_EQ(form.CMBB_IntlvOddA->currentText(), "5");
  EXPECT_EQ(form.CMBB_PlaneSwitch->currentText(), "3");
  EXPECT_TRUE(form.RG_PlaneMode->Item(kItemForceOnePlane)->isChecked());
  form.reject();
}

TEST_F(SetupFormTest, TypedChannel9CarriesIntoTheInterleave) {
  Show();
  QLineEdit* edit = form.CMBB_ChannelSelectin->lineEdit();
  edit->selectAll();
  QTest::keyClicks(edit, "9");
  EXPECT_EQ(form.CMBB_ChannelSelectin->currentText(), "9");
  Ok();
  EXPECT_EQ(state.FlashChCe, 0x09);
  Show();
  EXPECT_EQ(form.CMBB_ChannelSelectin->currentText(), "1");
  EXPECT_EQ(form.CMBB_IntlvOddA->currentText(), "1");
  form.reject();
}

TEST_F(SetupFormTest, SelectionBoxesRefuseLettersAndPlanesAboveTheList) {
  Show();
  struct Case {
    QComboBox* box;
    const char* typed;
    const char* expected;
  };
  // A refused key leaves the shown text as it was.
  for (const Case& c : {Case{form.CMBB_ChannelSelectin, "a", "0"}, Case{form.CMBB_IntlvOddA, "8", "8"},
                        Case{form.CMBB_PlaneSwitch, "5", "0"}, Case{form.CMBB_PlaneSwitch, "3", "3"}}) {
    c.box->lineEdit()->selectAll();
    QTest::keyClicks(c.box->lineEdit(), c.typed);
    EXPECT_EQ(c.box->currentText(), c.expected) << c.typed;
  }
  form.reject();
}

TEST_F(SetupFormTest, CancelAndClosingByTheFrameKeepTheBytes) {
  for (bool byFrame : {false, true}) {
    Show();
    form.CMBB_ChannelSelectin->setCurrentIndex(3);
    form.CMBB_PlaneSwitch->setCurrentIndex(2);
    QTest::mouseClick(form.RG_Scramble->Item(kItemDisable), Qt::LeftButton);
    state.SettingsAccepted = true;
    if (byFrame) {
      form.close();
    } else {
      QTest::mouseClick(form.BTN_Canel, Qt::LeftButton);
    }
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(state.SettingsAccepted);
    EXPECT_EQ(state.FlashOption, 0x21);
    EXPECT_EQ(state.FlashChCe, 0x00);
    Show();
    EXPECT_EQ(form.CMBB_ChannelSelectin->currentText(), "0");
    EXPECT_EQ(form.CMBB_PlaneSwitch->currentText(), "0");
    EXPECT_TRUE(form.RG_Scramble->Item(kItemEnable)->isChecked());
    form.reject();
  }
}

TEST_F(SetupFormTest, ConversionFailureKeepsTheDialogOpen) {
  Show();
  form.CMBB_IntlvOddA->setEditText("");
  Ok();
  ASSERT_EQ(form.errors.size(), 1);
  EXPECT_EQ(form.errors[0], "'' is not a valid integer value");
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(state.SettingsAccepted);
  EXPECT_EQ(state.FlashChCe, 0x00);

  // A plane failure comes after FlashChCe is stored.
  form.CMBB_IntlvOddA->setCurrentIndex(2);
  form.CMBB_IntlvOddA->setEditText("2");
  form.CMBB_PlaneSwitch->setEditText("");
  Ok();
  EXPECT_EQ(form.errors.size(), 2);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(state.SettingsAccepted);
  EXPECT_EQ(state.FlashChCe, 0x10);
  EXPECT_EQ(state.FlashOption, 0x21);
  form.reject();
}

TEST_F(SetupFormTest, ApplyWithoutShowingUsesItemIndexesSetFromCode) {
  form.LoadSettings();
  form.CMBB_PlaneSwitch->setCurrentIndex(1);
  form.CMBB_IntlvOddA->setCurrentIndex(7);
  form.CMBB_ChannelSelectin->setCurrentIndex(3);
  state.SettingsAccepted = false;
  EXPECT_TRUE(form.ApplySettings());
  EXPECT_TRUE(state.SettingsAccepted);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(state.FlashChCe, 0x3B);
  EXPECT_EQ(state.FlashOption, 0x61);
}

}  // namespace
}  // namespace dozered
