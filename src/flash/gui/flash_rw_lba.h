// The chunk-ECC button and the LBA mode of the Flash RW page, bound to their
// operations (flash/chunk_ecc.h, flash/lba_translation.h).
//
//   BindChunkEccAndLbaControls(*flashRwPage, *l2pPage, state, feedback);
//   flashRwPage->SetSettingsAccess(&setupFormAccess);   // the real dialog
#pragma once

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/lba_translation.h"

namespace dozered {

class TFlashRwPage;
class TL2pPage;
class TSetupForm;

// The settings dialog's widgets as the LBA translation uses them: the three
// selection boxes take item indexes, "OK" runs without showing the dialog.
class TSetupFormAccess : public SettingsDialogAccess {
 public:
  explicit TSetupFormAccess(TSetupForm& form) : form_(form) {}
  void SelectItems(int plane, int interleave, int channel) override;
  void ApplySettings() override;

 private:
  TSetupForm& form_;
};

// BTN_Chunk_ECC reads the chunk-ECC answer of the page's address; the LBA
// box switches LBA mode (EDT_LBAIn and BTN_LtoP on, the address fields and
// steppers off); BTN_LtoP empties LV_L2P of `l2p` and translates EDT_LBAIn
// through the page's settings access (the dialog's logic alone when the
// page has none).
void BindChunkEccAndLbaControls(TFlashRwPage& page, TL2pPage& l2p, AppState& state, Feedback& feedback);

}  // namespace dozered
