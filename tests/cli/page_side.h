// The window's side of a comparison with dozered-cli: the drives of a working
// folder of their own, scanned as the window scans them, one drive selected.
// The page operations run on it with a recording Feedback.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/device_scan.h"
#include "app/startup/platform_setup.h"
#include "cli/work_folder.h"
#include "support/recording_feedback.h"

namespace dozered::testing {

class PageSide {
 public:
  explicit PageSide(int drive, const std::string& drivesIni = DemoDrivesIni()) : folder_(drivesIni) {
    state_->ExecutableDir = DOZERED_BESIDE_EXE_DIR;
    SetUpStoragePlatform(*state_, folder_.Dir() / "VirtualDrives.ini");
    ScanForControllers(*state_);
    FinishScan(*state_);
    state_->SelectedDevice = drive;
    state_->CurrentController = &state_->Controllers[drive];
  }
  AppState& State() { return *state_; }
  RecordingFeedback& Feedback() { return feedback_; }
  const std::filesystem::path& Dir() const { return folder_.Dir(); }

 private:
  WorkFolder folder_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
};

}  // namespace dozered::testing
