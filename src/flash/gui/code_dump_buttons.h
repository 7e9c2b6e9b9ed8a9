// "DumpISP" and "DumpInfo" on the Flash RW page: each click dumps the
// controller's code or information blocks into a new date-named folder in
// the working directory (flash/code_dump.h).
#pragma once

#include "app/app_state.h"
#include "app/feedback.h"
#include "flash/code_dump.h"

namespace dozered {

class TFlashRwPage;

// Binds BTN_Dump_ISP and BTN_Dump_Info of `page`. `place` says where the
// folders go and which clock names them (the working directory and the local
// date unless a test says otherwise).
void BindCodeDumpButtons(TFlashRwPage& page, AppState& state, Feedback& feedback, DumpPlace place = {});

}  // namespace dozered
