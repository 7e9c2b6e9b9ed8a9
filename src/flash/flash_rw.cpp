#include "flash/flash_rw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "decode/text_helpers.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

constexpr uint32_t kBlockPageLimit = 0xFFFF;
constexpr uint32_t kChunkLimit = 0xFF;
constexpr uint32_t kChannelLimit = 3;
constexpr uint32_t kInterleaveLimit = 7;
constexpr uint32_t kPlaneLimit = 3;

std::string PageText(const char* format, uint32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
  return text;
}

// A field that does not convert: an error naming it, and nothing is sent.
void Refuse(Feedback& feedback, FlashOutcome& out, const std::string& text) {
  out.Status = FlashStatus::kRefused;
  feedback.MessageBox(text, kErrorCaption, MessageIcon::Error);
}

// The transfer rate step of Read and Write: with the box checked the rate is
// sent first. False when the operation ends here.
bool SendTransferRate(Feedback& feedback, const FlashRwFields& fields, VE4810VO& controller, FlashOutcome& out) {
  if (!fields.TransferRate) return true;
  const std::optional<uint16_t> rate = ParseTransferRate(fields.TransferRateText);
  if (!rate) {
    Refuse(feedback, out, NotATransferRateText(fields.TransferRateText));
    return false;
  }
  const int32_t r = controller.SetFlashClock(*rate);
  if (r != kResultSuccess) {
    Report(feedback, out, FlashStatus::kFailed, FailText(kSetFlashClockFailFormat, r, controller), r);
    return false;
  }
  return true;
}

// Reads up to into.size() bytes of `file` from `offset` into `into`; what the
// file does not hold stays as it is. False when the file cannot be opened or
// read.
bool ReadImage(const std::filesystem::path& file, uint64_t offset, std::span<uint8_t> into) {
  std::error_code error;
  if (std::filesystem::is_directory(file, error)) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::vector<char> bytes(into.size());
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  if (offset >= static_cast<uint64_t>(size)) return true;
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return false;
  const auto got = static_cast<size_t>(in.gcount());
  std::memcpy(into.data(), bytes.data(), got);
  return true;
}

uint32_t StepValue(uint32_t value, StepDirection direction, uint32_t limit) {
  if (direction == StepDirection::kUp) {
    if (value < limit) ++value;
  } else if (value > 0) {
    --value;
  }
  return std::min(value, limit);
}

}  // namespace

FlashOutcome FlashRwRead(AppState& state, Feedback& feedback, const FlashRwFields& fields) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  if (!SendTransferRate(feedback, fields, *controller, out)) return out;

  const FlashTarget target = ParseFlashTarget(fields);
  // Read beside the buffer, so that a failed read leaves it as the views show it.
  std::vector<uint8_t> page(static_cast<size_t>(target.ReadSectors) * kSectorBytes);
  const int32_t r = controller->ReadFlash(target.Address, target.ReadSectors, page);
  if (r != kResultSuccess) {
    Report(feedback, out, FlashStatus::kFailed, FailText(kReadFlashFailFormat, r, *controller), r);
    return out;
  }
  std::copy(page.begin(), page.end(), state.FlashPageBuffer.begin());
  const size_t dataBytes = page.size() - kSectorBytes;
  const std::span<const uint8_t> buffer(state.FlashPageBuffer);
  out.RawView = DumpLines(state, buffer.first(dataBytes));
  out.SpareView = DumpLines(state, buffer.subspan(dataBytes, kSectorBytes));
  Report(feedback, out, FlashStatus::kDone, kReadFlashSuccessText);
  return out;
}

FlashOutcome FlashRwWrite(AppState& state, Feedback& feedback, const FlashRwFields& fields) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  if (!SendTransferRate(feedback, fields, *controller, out)) return out;

  const FlashTarget target = ParseFlashTarget(fields);
  const uint32_t first = target.Address.page;
  uint64_t end = static_cast<uint64_t>(first) + 1;
  const bool strong = (target.Address.option & flash_option::kStrongPage) != 0;
  const CardInfo card(SelectedCardInfo(state));
  const uint32_t pagesPerBlock = card.PagesPerBlock();
  const uint64_t pageBytes = static_cast<uint64_t>(card.PageSizeKiB()) * 1024;

  if (fields.FileMapping && fields.MappingFile.empty()) {
    Report(feedback, out, FlashStatus::kRefused, kOpenFileFirstText);
    return out;
  }
  if (fields.MultiPage) {
    end = static_cast<uint64_t>(first) + ParseDecimal(fields.PageCount, kPageCountFieldChars);
    const uint32_t limit = strong ? pagesPerBlock / 2 : pagesPerBlock;
    if (end > limit) {
      Report(feedback, out, FlashStatus::kRefused, kMultiPageFailText);
      return out;
    }
  }

  OpenDrive drive(*controller);
  if (!drive.IsOpen()) {
    Report(feedback, out, FlashStatus::kFailed, kFlashAccessDeviceFailText, kResultOpenFailed);
    return out;
  }
  const size_t dataBytes = static_cast<size_t>(target.DataSectors) * kSectorBytes;
  const std::span<const uint8_t> data = std::span<const uint8_t>(state.FlashPageBuffer).first(dataBytes);
  FlashAddress address = target.Address;
  for (uint64_t p = first; p < end; ++p) {
    const auto page = static_cast<uint32_t>(p);
    if (fields.FileMapping) {
      // The file is an image of the whole block: page p sits at p page sizes.
      std::vector<uint8_t> image(dataBytes, 0);
      if (!ReadImage(fields.MappingFile, p * pageBytes, image)) {
        Report(feedback, out, FlashStatus::kFailed, PageText(kMappingFileFailFormat, page));
        return out;
      }
      state.FlashPageBuffer.fill(0);
      std::copy(image.begin(), image.end(), state.FlashPageBuffer.begin());
      out.RawView = DumpLines(state, data);
      out.SpareView = std::string();
    }
    address.page = page;
    const int32_t r = controller->WriteFlash(address, target.DataSectors, data);
    if (r != kResultSuccess) {
      char text[64];
      std::snprintf(text, sizeof text, kWriteFlashFailFormat, static_cast<int>(r), static_cast<unsigned>(page));
      Report(feedback, out, FlashStatus::kFailed, WithResultNote(text, r, *controller), r);
      return out;
    }
  }
  Report(feedback, out, FlashStatus::kDone, kWriteFlashSuccessText);
  return out;
}

FlashOutcome FlashRwErase(AppState& state, Feedback& feedback, const FlashRwFields& fields) {
  FlashOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  const FlashTarget target = ParseFlashTarget(fields);
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();
  // The reply carries nothing the tool uses; the page buffer keeps what the
  // user filled or read, so that it can be written into the erased block.
  std::vector<uint8_t> reply(static_cast<size_t>(target.ReadSectors) * kSectorBytes);
  const int32_t r = controller->EraseFlash(target.Address, target.ReadSectors, reply);
  if (r == kResultSuccess) {
    Report(feedback, out, FlashStatus::kDone, kEraseFlashSuccessText);
  } else {
    Report(feedback, out, FlashStatus::kFailed, FailText(kEraseFlashFailFormat, r, *controller), r);
  }
  return out;
}

FlashOutcome FlashRwFillData(AppState& state, const FlashRwFields& fields) {
  FlashOutcome out;
  const size_t bytes = static_cast<size_t>(ReadSectorsForItem(fields.SectorIndex)) * kSectorBytes;
  const auto fill = static_cast<uint8_t>(ParseHex(fields.FillData, kFillDataFieldChars));
  std::fill_n(state.FlashPageBuffer.begin(), bytes, fill);
  out.Status = FlashStatus::kDone;
  out.RawView = DumpLines(state, std::span<const uint8_t>(state.FlashPageBuffer).first(bytes));
  out.SpareView = std::string();
  return out;
}

FlashOutcome FlashRwOpenFile(AppState& state, FlashRwFields& fields, const std::filesystem::path& file) {
  FlashOutcome out;
  if (file.empty()) return out;
  const size_t bytes = static_cast<size_t>(ReadSectorsForItem(fields.SectorIndex)) * kSectorBytes;
  std::vector<uint8_t> image(bytes, 0);
  if (!ReadImage(file, 0, image)) return out;
  state.FlashPageBuffer.fill(0);
  std::copy(image.begin(), image.end(), state.FlashPageBuffer.begin());
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(file, error);
  fields.MappingFile = error ? file : full;
  out.Status = FlashStatus::kDone;
  out.RawView = DumpLines(state, std::span<const uint8_t>(state.FlashPageBuffer).first(bytes));
  out.SpareView = std::string();
  return out;
}

FlashOutcome FlashRwSet(AppState& state, Feedback& feedback, FlashRwFields& fields,
                        const std::function<void()>& showSettingsDialog) {
  state.SettingsAccepted = false;
  if (showSettingsDialog) showSettingsDialog();
  if (!state.SettingsAccepted) return FlashOutcome{};
  return ShowOptionBytes(state, feedback, fields);
}

FlashOutcome FlashRwStep(AppState& state, Feedback& feedback, FlashRwFields& fields, FlashRwStepper stepper,
                         StepDirection direction) {
  switch (stepper) {
    case FlashRwStepper::kBlock:
    case FlashRwStepper::kPage:
    case FlashRwStepper::kChunk: {
      const bool chunk = stepper == FlashRwStepper::kChunk;
      std::string& text = stepper == FlashRwStepper::kBlock ? fields.Block
                          : stepper == FlashRwStepper::kPage ? fields.Page
                                                             : fields.Chunk;
      const std::optional<uint32_t> value = ParseStepperText(text);
      if (!value) {
        FlashOutcome out;
        const char* name = stepper == FlashRwStepper::kBlock ? "Block" : chunk ? "Chunk" : "Page";
        Refuse(feedback, out, NotAHexNumberText(name, text));
        return out;
      }
      const uint32_t stepped = StepValue(*value, direction, chunk ? kChunkLimit : kBlockPageLimit);
      text = PageText(chunk ? "%02X" : "%04X", stepped);
      return FlashRwRead(state, feedback, fields);
    }
    case FlashRwStepper::kChannel: {
      const uint32_t value = StepValue(ParseHex(fields.ChannelText, 2), direction, kChannelLimit);
      state.FlashChCe = static_cast<uint8_t>((state.FlashChCe & 0xF8) | value);
      SetChCeFieldText(state, fields, ByteText(state.FlashChCe));
      return FlashRwRead(state, feedback, fields);
    }
    case FlashRwStepper::kInterleave: {
      // Builds the byte from channel and interleave alone: "Enable Max ECC"
      // is cleared as well.
      const uint32_t value = StepValue(ParseHex(fields.InterleaveText, 2), direction, kInterleaveLimit);
      state.FlashChCe = static_cast<uint8_t>((state.FlashChCe & flash_chce::kChannelMask) |
                                             (value << flash_chce::kInterleaveShift));
      SetChCeFieldText(state, fields, ByteText(state.FlashChCe));
      return FlashRwRead(state, feedback, fields);
    }
    case FlashRwStepper::kPlane: {
      const uint32_t value = StepValue(ParseHex(fields.PlaneText, 2), direction, kPlaneLimit);
      state.FlashOption = static_cast<uint8_t>((state.FlashOption & ~flash_option::kPlaneMask) |
                                               (value << flash_option::kPlaneShift));
      return SetOptionFieldText(state, feedback, fields, ByteText(state.FlashOption));
    }
  }
  return FlashOutcome{};
}

FlashOutcome SetOptionFieldText(AppState& state, Feedback& feedback, FlashRwFields& fields,
                                const std::string& text) {
  if (text == fields.Option) return FlashOutcome{};
  fields.Option = text;
  fields.PlaneText = PlaneDisplay(state.FlashOption);
  return FlashRwRead(state, feedback, fields);
}

void SetChCeFieldText(const AppState& state, FlashRwFields& fields, const std::string& text) {
  if (text == fields.ChCe) return;
  fields.ChCe = text;
  fields.InterleaveText = InterleaveDisplay(state.FlashChCe);
  fields.ChannelText = ChannelDisplay(state.FlashChCe);
}

FlashOutcome ShowOptionBytes(AppState& state, Feedback& feedback, FlashRwFields& fields) {
  SetChCeFieldText(state, fields, ByteText(state.FlashChCe));
  fields.InterleaveText = InterleaveDisplay(state.FlashChCe);
  fields.ChannelText = ChannelDisplay(state.FlashChCe);
  return SetOptionFieldText(state, feedback, fields, ByteText(state.FlashOption));
}

FlashRwEntry EnterFlashRwPage(AppState& state, Feedback& feedback, FlashRwFields& fields) {
  FlashRwEntry entry;
  const std::span<const uint8_t> record = SelectedCardInfo(state);
  entry.NormalFirmware = !record.empty() && CardInfo(record).CardMode() == kCardModeNormalFirmware;
  entry.LbaAndDistributionEnabled = entry.NormalFirmware;
  entry.TransferRateShown = !entry.NormalFirmware;
  fields.TransferRate = false;
  if (!entry.NormalFirmware) fields.LbaMode = false;
  entry.Read = ShowOptionBytes(state, feedback, fields);
  return entry;
}

}  // namespace dozered
