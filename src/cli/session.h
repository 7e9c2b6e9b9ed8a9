// One run of dozered-cli: the process-wide state started as the window starts
// it (the platform, String.ini and TabSheet.ini from the working directory,
// the option bytes, the device scan), and the drive the command works on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "cli/cli_feedback.h"
#include "cli/output.h"

namespace dozered::cli {

// The options every command takes.
struct GlobalOptions {
  std::string drivesFile;  // a VirtualDrives.ini; empty: the system's drives
  int drive = 0;           // index in the scan list
  bool json = false;
  bool redact = false;
  bool verbose = false;
  std::optional<uint8_t> flashOption;  // --option
  std::optional<uint8_t> flashChCe;    // --chce
};

class Session {
 public:
  Session(const GlobalOptions& options, CliFeedback& feedback, std::filesystem::path executableDir);

  // Chooses the platform, reads the configuration files, sets the option
  // bytes (FlashOption 0x21 and FlashChCe 0x00 unless given) and runs the
  // device scan as "Rescan Device" does. Notes about configuration files
  // are kept and written to standard error.
  void Start();

  // Makes drive `index` of the scan list the selected drive, as picking it
  // in the drive list does (a drive in ROM code mode raises the window's
  // "ROM Code Mode Device!" warning). False when the list has no such drive.
  bool Select(int index);

  AppState& State() { return *state_; }
  const AppState& State() const { return *state_; }
  CliFeedback& Feedback() { return feedback_; }
  const GlobalOptions& Options() const { return options_; }
  const std::vector<std::string>& Notes() const { return notes_; }
  int DriveCount() const { return state_->DeviceCount; }

  // The list entry of drive `index` ("e: (1, 0)").
  std::string Entry(int index) const;
  // How messages name drive `index`: "drive 0, e: (1, 0)".
  std::string DriveText(int index) const;
  // The keys of drive `index` in the JSON document:
  //   index, entry, name, port, target, code_mode (0, 1, 2),
  //   code_mode_name ("ROM Code Mode", "MPISP Code Mode", "Normal Firmware"),
  //   serial_number, model_name, firmware_revision (without the blanks
  //   that pad them; the serial number is "" with --redact), capacity_mb,
  //   temperature, flash_vendor ("SAMSUNG", ..., "Unknown")
  Json DriveJson(int index) const;

 private:
  GlobalOptions options_;
  CliFeedback& feedback_;
  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  std::vector<std::string> notes_;
  std::vector<std::string> entries_;
};

// The code mode's name in the output: the device panel's line for modes 0
// and 1, "Normal Firmware" for the others.
std::string CodeModeName(uint8_t cardMode);

}  // namespace dozered::cli
