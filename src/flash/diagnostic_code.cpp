#include "flash/diagnostic_code.h"

#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {

bool SelectedDriveNeedsDiagnosticCode(const AppState& state) {
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) return false;
  return state.CardInfoTable[static_cast<size_t>(s)][card_info_offset::kCardMode] == kCardModeNormalFirmware;
}

DiagnosticProgram ReadDiagnosticProgram(AppState& state, Feedback& feedback, const std::string& name) {
  DiagnosticProgram program;
  if (!SelectedDriveNeedsDiagnosticCode(state)) return program;
  program.Loaded = LoadDiagnosticCodeFile(state, feedback, name, program.Payload, program.LoadAddress);
  return program;
}

int32_t SendDiagnosticProgram(VE4810VO& controller, const DiagnosticProgram& program) {
  if (!program.Loaded) return kResultSuccess;
  return controller.LoadDiagnosticCode(program.LoadAddress, kDiagnosticCodeSectors, program.Payload);
}

int32_t LoadDiagnosticProgram(AppState& state, Feedback& feedback, const std::string& name) {
  const DiagnosticProgram program = ReadDiagnosticProgram(state, feedback, name);
  if (!program.Loaded || state.CurrentController == nullptr) return kResultSuccess;
  return SendDiagnosticProgram(*state.CurrentController, program);
}

}  // namespace dozered
