#include "flash/gui/code_dump_buttons.h"

#include <QPushButton>

#include "flash/gui/flash_rw_page.h"

namespace dozered {

void BindCodeDumpButtons(TFlashRwPage& page, AppState& state, Feedback& feedback, DumpPlace place) {
  const struct {
    QPushButton* button;
    DumpKind kind;
  } buttons[] = {{page.BTN_Dump_ISP, DumpKind::kIsp}, {page.BTN_Dump_Info, DumpKind::kInfo}};
  for (const auto& b : buttons) {
    page.BindControl(b.button);
    // BTN_Dump_ISPClick, BTN_Dump_InfoClick
    QObject::connect(b.button, &QPushButton::clicked, &page, [&page, &state, &feedback, place, kind = b.kind] {
      page.Run([&](FlashRwFields&) -> FlashOutcome { return DumpControllerArea(state, feedback, kind, place); });
    });
  }
}

}  // namespace dozered
