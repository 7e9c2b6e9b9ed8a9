#include "app/code_loading.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/device_info.h"
#include "app/feedback.h"
#include "app/paths.h"
#include "protocol/code_images.h"
#include "protocol/command_block.h"
#include "protocol/result_text.h"

namespace dozered {

namespace {

// The controller needs a moment after the switch to ROM code mode.
constexpr auto kRomSwitchDelay = std::chrono::milliseconds(3);

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

// Reads the drive's three table elements again; returns the result of the
// card-information read, which carries the code mode.
int32_t RefreshTables(AppState& state, int device) {
  VE4810VO& controller = state.Controllers[device];
  const int32_t cardInfo = controller.ReadFlashId(kFlashIdSectors, state.CardInfoTable[device]);
  controller.ReadIdentify(state.IdentifyTable[device]);
  controller.ReadIspInfo(state.IspInfoTable[device]);
  return cardInfo;
}

void ErrorBox(Feedback& feedback, const std::string& text) {
  feedback.MessageBox(text, kErrorCaption, MessageIcon::Error);
}

// A failure box that also says when a sector of the user's may hold vendor
// data.
void CommandErrorBox(Feedback& feedback, const char* text, int32_t result, const VE4810VO& controller) {
  const std::string note = ResultCodeNote(result, controller.CommandAddress);
  ErrorBox(feedback, note.empty() ? std::string(text) : std::string(text) + "\n" + note);
}

std::string Formatted(const char* format, const std::string& value) {
  std::vector<char> text(value.size() + 64);
  std::snprintf(text.data(), text.size(), format, value.c_str());
  return text.data();
}

}  // namespace

MpispLoadOutcome LoadMpisp(AppState& state, Feedback& feedback, const MpispFileDialog& chooseFile) {
  RunScope run(feedback);
  feedback.ProcessPendingEvents();
  auto ended = [](MpispLoadEnd end, int32_t result = 0) { return MpispLoadOutcome{end, result}; };
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) return ended(MpispLoadEnd::kNoDrive);
  VE4810VO& controller = state.Controllers[s];
  state.CurrentController = &controller;

  uint8_t modeBefore = kCardModeRomCode;
  if (controller.IsDetected()) {
    RefreshTables(state, s);
    feedback.ProcessPendingEvents();
    modeBefore = state.CardInfoTable[s][card_info_offset::kCardMode];
    if (modeBefore == kCardModeMpisp) return ended(MpispLoadEnd::kAlreadyRunning);
  }

  const std::filesystem::path path = chooseFile ? chooseFile() : std::filesystem::path();
  std::vector<uint8_t> file;
  if (!IsFile(path) || !ReadWholeFile(path, file)) {
    ErrorBox(feedback, kMpispOpenFailText);
    return ended(MpispLoadEnd::kFileUnreadable);
  }
  // A file of no more than its header would send nothing but the switch to
  // ROM code mode and a jump into whatever the controller's memory holds.
  MpispImage image;
  if (!ParseMpispImage(file, image)) {
    ErrorBox(feedback, kMpispNoImageText);
    return ended(MpispLoadEnd::kNoImage);
  }
  file.clear();
  file.shrink_to_fit();

  if (!controller.IsDetected()) return ended(MpispLoadEnd::kNoDrive);

  if (modeBefore != kCardModeRomCode) {
    controller.EnterRomCodeMode(1);
    std::this_thread::sleep_for(kRomSwitchDelay);
  }
  const int32_t romCheck = controller.ReadFlashId(kFlashIdSectors, state.CardInfoTable[s]);
  if (state.CardInfoTable[s][card_info_offset::kCardMode] != kCardModeRomCode) {
    return ended(MpispLoadEnd::kNotInRomCodeMode, romCheck);
  }

  const std::span<const uint8_t> code(image.data);
  for (const CodePiece& piece : PlanCodePieces(image.loadAddress, image.imageSize)) {
    const int32_t result = controller.DownloadCode(
        piece.address, piece.sectors, code.subspan(piece.offset, piece.sectors * kSectorBytes));
    if (result != 0) {
      CommandErrorBox(feedback, kMpispDownloadFailText, result, controller);
      return ended(MpispLoadEnd::kDownloadFailed, result);
    }
  }
  const int32_t jump = controller.JumpToCode(image.loadAddress, 1, code.first(kSectorBytes));
  if (jump != 0) {
    CommandErrorBox(feedback, kMpispJumpFailText, jump, controller);
    return ended(MpispLoadEnd::kJumpFailed, jump);
  }
  // The code runs only if the drive now says so: a drive that answered the
  // signature without being a controller takes every command as data, and
  // each of them "succeeds".
  const int32_t refreshed = RefreshTables(state, s);
  if (refreshed != 0 || state.CardInfoTable[s][card_info_offset::kCardMode] != kCardModeMpisp) {
    CommandErrorBox(feedback, kMpispJumpFailText, refreshed, controller);
    return ended(MpispLoadEnd::kJumpFailed, refreshed);
  }
  return ended(MpispLoadEnd::kLoaded);
}

std::filesystem::path DiagnosticCodePathFor(const AppState& state, int device, const std::string& name) {
  const std::optional<std::filesystem::path> folder = DriveFolderFor(state, device);
  return folder ? *folder / name : std::filesystem::path();
}

bool LoadDiagnosticCodeFile(AppState& state, Feedback& feedback, const std::string& name,
                            std::span<uint8_t> payload, uint32_t& loadAddress) {
  const int s = state.SelectedDevice;
  if (s < 0 || s >= kMaxControllers) return false;
  state.CurrentController = &state.Controllers[s];

  const std::filesystem::path path = DiagnosticCodePathFor(state, s, name);
  std::ifstream file;
  if (IsFile(path)) file.open(path, std::ios::binary);
  if (!file.is_open()) {
    ErrorBox(feedback, Formatted(kDiagnosticOpenFailFormat, path.empty() ? name : PathText(path)));
    return false;
  }
  file.seekg(0, std::ios::end);
  const size_t size = static_cast<size_t>(file.tellg());
  file.seekg(0);
  uint8_t head[kDiagnosticHeadReadSize] = {};
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const size_t headSize = static_cast<size_t>(file.gcount());
  const DiagnosticLayout layout = DiagnosticLayoutOf(std::span<const uint8_t>(head, headSize), size);

  // The program must reach the drive whole: a cut one would run without its end.
  if (layout.payloadSize > payload.size()) {
    ErrorBox(feedback, Formatted(kDiagnosticTooLargeFormat, name));
    return false;
  }
  file.clear();
  file.seekg(static_cast<std::streamoff>(layout.payloadOffset));
  file.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(layout.payloadSize));
  const size_t length = static_cast<size_t>(file.gcount());
  std::fill(payload.begin() + static_cast<std::ptrdiff_t>(length), payload.end(), 0);

  if (length < kDiagnosticTrailerSize ||
      !TrailerMatchesIspVersion(payload.subspan(length - kDiagnosticTrailerSize).first<kDiagnosticTrailerSize>(),
                                state.IspInfoTable[s])) {
    ErrorBox(feedback, Formatted(kDiagnosticVersionFailFormat, name));
    return false;
  }
  loadAddress = layout.loadAddress;
  return true;
}

}  // namespace dozered
