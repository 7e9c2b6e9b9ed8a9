#include "cli/session.h"

#include "app/device_info.h"
#include "app/device_scan.h"
#include "app/redaction.h"
#include "app/startup/platform_setup.h"
#include "app/startup_files.h"
#include "protocol/card_info.h"

namespace dozered::cli {
namespace {

// ATA strings are padded with blanks, on either side.
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string CodeModeName(uint8_t cardMode) {
  const std::string line = CodeModeLine(cardMode);
  return line.empty() ? "Normal Firmware" : line;
}

Session::Session(const GlobalOptions& options, CliFeedback& feedback, std::filesystem::path executableDir)
    : options_(options), feedback_(feedback) {
  state_->ExecutableDir = std::move(executableDir);
  state_->RedactSerialNumbers = options_.redact;
}

void Session::Start() {
  AppState& state = *state_;
  RunScope run(feedback_);
  StartupFiles files;
  if (options_.drivesFile.empty()) {
    SetUpSystemStoragePlatform(state);
  } else {
    files.Notes = SetUpStoragePlatform(state, options_.drivesFile);
  }
  const StartupConfiguration config = LoadStartupConfiguration(state, files, &feedback_);
  notes_ = config.Notes;
  for (const std::string& note : notes_) feedback_.Warn(note);
  if (options_.flashOption) state.FlashOption = *options_.flashOption;
  if (options_.flashChCe) state.FlashChCe = *options_.flashChCe;

  // The scan of "Rescan Device".
  feedback_.ShowStatus(kScanningText);
  ResetEnumerator(state);
  feedback_.ProcessPendingEvents();
  ScanForControllers(state);
  entries_ = FinishScan(state);
  if (state.DeviceCount == 0) {
    feedback_.ShowStatus(NoDriveText(state));
  } else {
    feedback_.ReportStatus(kScanCompleteText);
  }
}

bool Session::Select(int index) {
  AppState& state = *state_;
  if (index < 0 || index >= state.DeviceCount) return false;
  state.SelectedDevice = index;
  state.CurrentController = &state.Controllers[index];
  if (SelectedDeviceInfo(state).romCodeMode) {
    feedback_.MessageBox(kRomCodeModeWarning, kWarningCaption, MessageIcon::Warning);
  }
  return true;
}

std::string Session::Entry(int index) const {
  if (index >= 0 && static_cast<size_t>(index) < entries_.size()) return entries_[static_cast<size_t>(index)];
  if (index < 0 || index >= kMaxControllers) return std::string();
  const VE4810VO& controller = state_->Controllers[index];
  return DeviceListEntry(controller.DeviceName, controller.Port, controller.Target);
}

std::string Session::DriveText(int index) const { return "drive " + std::to_string(index) + ", " + Entry(index); }

Json Session::DriveJson(int index) const {
  const AppState& state = *state_;
  if (index < 0 || index >= state.DeviceCount) return nullptr;
  const VE4810VO& controller = state.Controllers[index];
  const DriveIdentity id = IdentityOf(state.CardInfoTable[index], IdentifyAsShown(state, index));
  Json drive = Json::object();
  drive["index"] = index;
  drive["entry"] = Entry(index);
  drive["name"] = controller.DeviceName;
  drive["port"] = controller.Port;
  drive["target"] = controller.Target;
  drive["code_mode"] = id.cardMode;
  drive["code_mode_name"] = CodeModeName(id.cardMode);
  drive["serial_number"] = Trimmed(id.serialNumber);
  drive["model_name"] = Trimmed(id.modelName);
  drive["firmware_revision"] = Trimmed(id.firmwareRevision);
  drive["capacity_mb"] = id.capacityMegabytes;
  drive["temperature"] = id.temperature;
  drive["flash_vendor"] = FlashVendorName(id.flashMakerId);
  return drive;
}

}  // namespace dozered::cli
