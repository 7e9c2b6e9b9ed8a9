// The handlers shared by the information pages of the main window.
#include "app/gui/main_form.h"

namespace dozered {

// Reads the active page; run from code after a scan, a selection or a page
// change (the button itself is never shown).
void TMainForm::BTN_ReadDataClick() {}

// The user made another page active.
void TMainForm::PC_MainChange() {}

// Switches the active page between its raw and its decoded view.
void TMainForm::CHKB_RawDataClick() {}

}  // namespace dozered
