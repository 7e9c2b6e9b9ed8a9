#include "flash/lba_translation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/code_loading.h"
#include "flash/diagnostic_code.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

constexpr size_t kAnswerBytes = 512;

std::string Format(const char* format, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool BesideExecutable(const AppState& state, const char* name) {
  std::error_code error;
  return std::filesystem::is_regular_file(state.ExecutableDir / name, error);
}

// Reads the LBA of a field; a value beyond 32 bits is refused with an error.
std::optional<uint32_t> LbaOrRefuse(Feedback& feedback, FlashOutcome& out, const std::string& text) {
  const std::optional<uint32_t> lba = ParseLbaText(text);
  if (!lba) {
    out.Status = FlashStatus::kRefused;
    out.Message = LbaTooLargeText(text);
    feedback.MessageBox(out.Message, kErrorCaption, MessageIcon::Error);
    feedback.ReportStatus(std::string());
  }
  return lba;
}

// TranslateLba for `lba`; on a translated LBA `translation` holds the answer.
// Reports every other outcome.
bool Translate(Feedback& feedback, FlashOutcome& out, VE4810VO& controller, uint32_t lba,
               LbaTranslation& translation) {
  std::array<uint8_t, kAnswerBytes> answer{};
  const int32_t r = controller.TranslateLba(lba, 1, answer);
  if (r != kResultSuccess) {
    Report(feedback, out, FlashStatus::kFailed, FailText(kTranslateLbaFailFormat, r, controller), r);
    return false;
  }
  translation = ReadLbaTranslation(answer);
  if (translation.Status == kLbaTranslated) return true;
  if (translation.Status == kLbaDoesNotExist) {
    Report(feedback, out, FlashStatus::kDone, kLbaDoesNotExistText);
  } else {
    Report(feedback, out, FlashStatus::kFailed, Format(kTranslateLbaStatusFormat, translation.Status));
  }
  return false;
}

}  // namespace

LbaTranslation ReadLbaTranslation(std::span<const uint8_t> answer) {
  auto word = [&answer](size_t w) {
    const size_t at = 2 * w;
    if (at + 1 >= answer.size()) return uint16_t{0};
    return static_cast<uint16_t>(answer[at] | (answer[at + 1] << 8));
  };
  LbaTranslation t;
  t.Status = word(0);
  for (size_t i = 0; i < t.Values.size(); ++i) t.Values[i] = word(i + 1);
  return t;
}

std::optional<uint32_t> ParseLbaText(std::string_view text) {
  uint64_t value = 0;
  const size_t n = std::min(text.size(), kLbaFieldChars);
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<uint64_t>(c - '0');
    } else if (c == ' ' && value == 0) {
      continue;
    } else {
      break;
    }
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string LbaTooLargeText(std::string_view text) {
  const std::string shown(text.substr(0, std::min(text.size(), kLbaFieldChars)));
  char message[96];
  std::snprintf(message, sizeof message, kLbaTooLargeFormat, shown.c_str());
  return message;
}

L2pOutcome TranslateLbaForList(AppState& state, Feedback& feedback, const std::string& lbaText) {
  L2pOutcome out;
  FlashRun run(state, feedback);
  feedback.ProcessPendingEvents();  // the emptied list
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();
  if (!BesideExecutable(state, kDgIspTranLba2Pba)) {
    feedback.MessageBox(kTranslationFileMissingText, kErrorCaption, MessageIcon::Error);
    Report(feedback, out, FlashStatus::kFailed, std::string());
    return out;
  }
  const std::optional<uint32_t> lba = LbaOrRefuse(feedback, out, lbaText);
  if (!lba) return out;
  OpenDrive drive(*controller);
  if (!drive.IsOpen()) {
    Report(feedback, out, FlashStatus::kFailed, kFlashAccessDeviceFailText, kResultOpenFailed);
    return out;
  }
  LoadDiagnosticProgram(state, feedback, kDgIspTranLba2Pba);
  LbaTranslation translation;
  if (!Translate(feedback, out, *controller, *lba, translation)) return out;
  for (int i = 0; i < kL2pValueCount; ++i) {
    out.Rows.push_back({kL2pItemNames[i], Format("0x%04X", translation.Values[static_cast<size_t>(i)])});
  }
  Report(feedback, out, FlashStatus::kDone, kTranslationCompleteText);
  return out;
}

std::string SelectionItemText(int index, int items) {
  if (index < 0 || index >= items) return std::string();
  return std::to_string(index);
}

HeadlessSettingsDialog::HeadlessSettingsDialog(AppState& state, Feedback& feedback)
    : state_(state), feedback_(feedback), controls_(SettingsFromBytes(state.FlashOption, state.FlashChCe).Controls) {}

void HeadlessSettingsDialog::SelectItems(int plane, int interleave, int channel) {
  controls_.PlaneSwitch = SelectionItemText(plane, kPlaneSwitchItemCount);
  controls_.IntlvOddA = SelectionItemText(interleave, kIntlvOddAItemCount);
  controls_.ChannelSelectin = SelectionItemText(channel, kChannelSelectinItemCount);
}

void HeadlessSettingsDialog::ApplySettings() {
  const SettingsApplyOutcome r = ApplySettingsToBytes(controls_, state_.FlashOption, state_.FlashChCe);
  if (r.Result != SettingsApplyResult::Ok) {
    feedback_.MessageBox("'" + r.BadText + "' is not a valid integer value", kErrorCaption, MessageIcon::Error);
    return;
  }
  state_.SettingsAccepted = true;
}

LbaModeControls SetLbaMode(FlashRwFields& fields, bool checked) {
  fields.LbaMode = checked;
  fields.LbaIn = checked ? "0" : kLbaNotAvailableText;
  LbaModeControls controls;
  controls.LbaFieldEnabled = checked;
  controls.ButtonEnabled = checked;
  controls.AddressEnabled = !checked;
  return controls;
}

FlashOutcome TranslateLbaForFlashRw(AppState& state, Feedback& feedback, FlashRwFields& fields,
                                    SettingsDialogAccess& dialog) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  feedback.ProcessPendingEvents();  // the emptied list
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();
  const std::optional<uint32_t> lba = LbaOrRefuse(feedback, out, fields.LbaIn);
  if (!lba) return out;
  const DiagnosticProgram program = ReadDiagnosticProgram(state, feedback, kDgIspTranLba2Pba);
  OpenDrive drive(*controller);
  if (!drive.IsOpen()) {
    Report(feedback, out, FlashStatus::kFailed, kFlashAccessDeviceFailText, kResultOpenFailed);
    feedback.ProcessPendingEvents();
    return out;
  }
  SendDiagnosticProgram(*controller, program);

  LbaTranslation t;
  if (Translate(feedback, out, *controller, *lba, t)) {
    fields.Block = Format("%X", t.Value(L2pWord::kFBlock));
    fields.Page = Format("%X", t.Value(L2pWord::kFPage));
    fields.Chunk = Format("%X", static_cast<unsigned>(t.Value(L2pWord::kSectorH) >> 1));
    dialog.SelectItems(t.Value(L2pWord::kPlaneAddr), t.Value(L2pWord::kInterleaveAddr), t.Value(L2pWord::kChannel));
    Report(feedback, out, FlashStatus::kDone, kTranslationCompleteText);
  }
  // The option bytes follow the dialog's controls whatever the answer was.
  feedback.ProcessPendingEvents();
  state.SettingsAccepted = false;
  dialog.ApplySettings();
  if (state.SettingsAccepted) {
    const FlashOutcome read = ShowOptionBytes(state, feedback, fields);
    out.RawView = read.RawView;
    out.SpareView = read.SpareView;
  }
  feedback.ProcessPendingEvents();
  return out;
}

}  // namespace dozered
