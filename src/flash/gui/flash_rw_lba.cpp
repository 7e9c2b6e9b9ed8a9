#include "flash/gui/flash_rw_lba.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/gui/setup_form.h"
#include "flash/chunk_ecc.h"
#include "flash/gui/flash_rw_page.h"
#include "flash/gui/l2p_page.h"
#include "flash/gui/up_down.h"

namespace dozered {
namespace {

// The controls that address a page by hand, off while LBA mode is on.
void ShowLbaMode(TFlashRwPage& page, const LbaModeControls& controls) {
  page.SetControlEnabled(page.EDT_LBAIn, controls.LbaFieldEnabled);
  page.SetControlEnabled(page.BTN_LtoP, controls.ButtonEnabled);
  for (QWidget* control : std::initializer_list<QWidget*>{
           page.EDT_FlashRWBlock, page.EDT_FlashRWPage, page.EDT_FlashRWChunk, page.UDwn_FlashRWBlock,
           page.UDwn_FlashRWChunk, page.UDwn_FlashRWPage, page.UDwn_FlashRWCE, page.UDwn_FlashRWIntlv,
           page.UDwn_FlashRWPlane}) {
    control->setEnabled(controls.AddressEnabled);
  }
}

}  // namespace

void TSetupFormAccess::SelectItems(int plane, int interleave, int channel) {
  form_.CMBB_PlaneSwitch->setCurrentIndex(plane < form_.CMBB_PlaneSwitch->count() ? plane : -1);
  form_.CMBB_IntlvOddA->setCurrentIndex(interleave < form_.CMBB_IntlvOddA->count() ? interleave : -1);
  form_.CMBB_ChannelSelectin->setCurrentIndex(channel < form_.CMBB_ChannelSelectin->count() ? channel : -1);
}

void TSetupFormAccess::ApplySettings() { form_.ApplySettings(); }

void BindChunkEccAndLbaControls(TFlashRwPage& page, TL2pPage& l2p, AppState& state, Feedback& feedback) {
  page.BindControl(page.BTN_Chunk_ECC);
  QObject::connect(page.BTN_Chunk_ECC, &QPushButton::clicked, &page, [&page, &state, &feedback] {
    page.Run([&](FlashRwFields& fields) { return ReadChunkEccPage(state, feedback, fields); });
  });

  page.BindControl(page.L2PChkBox);
  page.BindControl(page.EDT_LBAIn);
  page.BindControl(page.BTN_LtoP);
  // A click switches the mode and its field's text; the enabling follows the
  // box however it changes (entering the page unchecks it on other drives).
  QObject::connect(page.L2PChkBox, &QCheckBox::clicked, &page, [&page](bool checked) {
    page.Run([checked](FlashRwFields& fields) {
      SetLbaMode(fields, checked);
      return FlashOutcome{};
    });
  });
  QObject::connect(page.L2PChkBox, &QCheckBox::toggled, &page, [&page](bool checked) {
    FlashRwFields unused;
    ShowLbaMode(page, SetLbaMode(unused, checked));
  });
  QObject::connect(page.BTN_LtoP, &QPushButton::clicked, &page, [&page, &l2p, &state, &feedback] {
    l2p.ClearList();
    page.Run([&](FlashRwFields& fields) {
      if (SettingsDialogAccess* dialog = page.SettingsAccess()) {
        return TranslateLbaForFlashRw(state, feedback, fields, *dialog);
      }
      HeadlessSettingsDialog dialog(state, feedback);
      return TranslateLbaForFlashRw(state, feedback, fields, dialog);
    });
  });
}

}  // namespace dozered
