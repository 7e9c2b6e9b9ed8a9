#include "app/device_scan.h"

#include <cstdio>
#include <span>

#include "app/redaction.h"
#include "device/aspi_lib.h"
#include "protocol/command_block.h"

namespace dozered {

namespace {

// The signature text without leading or trailing blanks and control characters.
std::string TrimmedSignature(const VE4810VO& controller) {
  std::string text = controller.LastSignatureText();
  auto isJunk = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; };
  while (!text.empty() && isJunk(text.back())) text.pop_back();
  size_t first = 0;
  while (first < text.size() && isJunk(text[first])) ++first;
  return text.substr(first);
}

}  // namespace

void ResetEnumerator(AppState& state) {
  if (state.Enumerator) state.Enumerator->ResetAll();
}

void ScanForControllers(AppState& state) {
  state.DeviceCount = 0;
  if (!state.Enumerator) return;
  AspiLib& enumerator = *state.Enumerator;
  enumerator.ScanDevices();
  const int32_t found = enumerator.DeviceCountFound();
  for (int32_t i = 0; i < found && state.DeviceCount < kMaxControllers; ++i) {
    const int slot = state.DeviceCount;
    VE4810VO& controller = state.Controllers[slot];
    state.CurrentController = &controller;
    StorageDevice& record = enumerator.Record(i);
    record.Open(true);
    controller.SetVariantSignature(true);
    if (controller.AttachDevice(record)) {
      // As the scan always did, the three reads are not checked: a failed
      // read leaves what the slot held.
      controller.ReadFlashId(kFlashIdSectors, state.CardInfoTable[slot]);
      controller.ReadIdentify(state.IdentifyTable[slot]);
      controller.ReadIspInfo(state.IspInfoTable[slot]);
      const uint8_t mode = state.CardInfoTable[slot][card_info_offset::kCardMode];
      const bool kept = TrimmedSignature(controller) != "VE4810VI" || mode == kCardModeRomCode ||
                        mode == kCardModeMpisp;
      if (kept) ++state.DeviceCount;
    }
    record.Close();
  }
}

std::vector<std::string> FinishScan(AppState& state) {
  std::vector<std::string> entries;
  state.RawViewFlags.fill(0);
  if (state.DeviceCount == 0) {
    state.SelectedDevice = -1;
    return entries;
  }
  for (int i = 0; i < state.DeviceCount; ++i) {
    VE4810VO& controller = state.Controllers[i];
    state.CurrentController = &controller;
    if (controller.IsDetected()) {
      entries.push_back(DeviceListEntry(controller.DeviceName, controller.Port, controller.Target));
    }
    if (i == 0) state.SelectedDevice = 0;
    controller.Close();
  }
  return entries;
}

std::string NoDriveText(const AppState& state) {
  const AspiLib::ScanSummary scan = state.Enumerator ? state.Enumerator->LastScan() : AspiLib::ScanSummary{};
  char text[160];
  if (scan.denied > 0) {
    std::snprintf(text, sizeof text, "No drive found on %d disk%s; %d need%s administrator or root rights",
                  static_cast<int>(scan.tried), scan.tried == 1 ? "" : "s", static_cast<int>(scan.denied),
                  scan.denied == 1 ? "s" : "");
  } else {
    std::snprintf(text, sizeof text, "No drive found on %d disk%s", static_cast<int>(scan.tried),
                  scan.tried == 1 ? "" : "s");
  }
  return text;
}

DeviceInfo SelectedDeviceInfo(const AppState& state) {
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) return {};
  return BuildDeviceInfo(state.Controllers[s].DeviceName, state.CardInfoTable[s], IdentifyAsShown(state, s));
}

PageRule PageRuleFor(const AppState& state, int device) {
  if (device < 0 || device >= kMaxControllers) {
    PageRule rule;
    for (int p = 0; p < kPageCount; ++p) rule.visible[p] = state.PageEnabled[p] == 1;
    return rule;
  }
  return PagesForCardMode(state.CardInfoTable[device][card_info_offset::kCardMode],
                          state.PageEnabled);
}

}  // namespace dozered
