// Loading a diagnostic program before a flash-level diagnostic read.
//
// A drive that runs its normal firmware answers the diagnostic reads (bad
// block tables, mark-bad list, chunk ECC, translation, read distribution)
// only after the matching DgISP_*.bin program has been sent to it with
// LoadDiagnosticCode. In the other code modes nothing is loaded. A program
// that cannot be read, or was built for another ISP version, is announced
// with its own message box, and the read goes on without it.
//
// Most reads load and send in one go:
//
//   LoadDiagnosticProgram(state, feedback, kDgIspReadChunkEcc);
//   controller.ReadChunkEcc(...);
//
// A read that opens the drive around its commands reads the file first and
// sends it once the drive is open:
//
//   DiagnosticProgram program = ReadDiagnosticProgram(state, feedback, kDgIspReadFlashDiagnosis);
//   if (!controller.Open(true)) ...;
//   SendDiagnosticProgram(controller, program);
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/code_loading.h"
#include "app/feedback.h"

namespace dozered {

// A diagnostic program read from its file for the selected drive.
struct DiagnosticProgram {
  bool Loaded = false;  // read and checked; only then is it sent
  uint32_t LoadAddress = 0;
  std::array<uint8_t, kDiagnosticCodeBufferSize> Payload{};
};

// True when the selected drive runs its normal firmware (CardMode 2), the
// one mode in which diagnostic programs are loaded.
bool SelectedDriveNeedsDiagnosticCode(const AppState& state);

// In CardMode 2: reads program `name` for the selected drive
// (LoadDiagnosticCodeFile, which announces a failure). In the other modes,
// or with no drive selected, nothing is read and nothing is loaded.
DiagnosticProgram ReadDiagnosticProgram(AppState& state, Feedback& feedback, const std::string& name);

// Sends a loaded program with LoadDiagnosticCode (6 sectors) through
// `controller`; a program that was not loaded is not sent. Returns the
// command's result, 0 when nothing was sent. The callers go on with their
// read either way: a drive without its program refuses the read, and the
// read reports that.
int32_t SendDiagnosticProgram(VE4810VO& controller, const DiagnosticProgram& program);

// Both steps for the selected drive's controller.
int32_t LoadDiagnosticProgram(AppState& state, Feedback& feedback, const std::string& name);

}  // namespace dozered
