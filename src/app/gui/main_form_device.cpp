// The device area of the main window: scan, selection, device information.
#include "app/gui/main_form.h"

namespace dozered {

// "Rescan Device"; also run once at start-up.
void TMainForm::BTN_ScanDeviceClick() {}

// The drive list's change event.
void TMainForm::CMBB_DeviceListChange() {}

// "MP ISP": loads the MPISP code into a drive in ROM code mode.
void TMainForm::BTN_DLMPISPClick() {}

// "Save Info": saves the active page or the whole log folder.
void TMainForm::BTN_SaveInfoClick() {}

}  // namespace dozered
