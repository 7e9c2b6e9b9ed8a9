#include "flash/code_dump.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>
#include <vector>

#include "app/paths.h"
#include "flash/flash_fields.h"
#include "protocol/card_info.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

// The plane select has two bits: a drive that states more planes is read
// on planes 0-3 only, rather than reading them again under higher numbers.
constexpr int kPlaneLimit = 4;
constexpr int kCopies = 2;

struct DumpValues {
  uint16_t Blocks[kCopies] = {};
  int Planes = 0;             // W
  int PagesPerBlock = 0;      // P
  uint32_t DataSectors = 0;   // S
};

DumpValues ValuesOf(const CardInfo& card, DumpKind kind) {
  DumpValues v;
  for (int i = 0; i < kCopies; ++i) v.Blocks[i] = kind == DumpKind::kIsp ? card.IspBlock(i) : card.InfoBlock(i);
  v.Planes = std::min<int>(card.PlaneCount(), kPlaneLimit);
  v.PagesPerBlock = card.PagesPerBlock();
  v.DataSectors = card.SectorsPerPage();
  return v;
}

const char* DumpFailText(DumpKind kind) { return kind == DumpKind::kIsp ? kDumpIspFailText : kDumpInfoFailText; }
const char* FinishText(DumpKind kind) { return kind == DumpKind::kIsp ? kDumpIspFinishText : kDumpInfoFinishText; }
const char* SuccessText(DumpKind kind) { return kind == DumpKind::kIsp ? kDumpIspSuccessText : kDumpInfoSuccessText; }

bool IsFolder(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

enum class BlockDumpEnd { kDone, kFailed, kCancelled };

// Dumps one copy at one position into `file`. `written` tells whether the
// file was created.
BlockDumpEnd DumpBlock(VE4810VO& controller, Feedback& feedback, DumpKind kind, const DumpValues& v, uint16_t block,
                       int channel, int ce, const std::filesystem::path& file, bool& written, int32_t& code) {
  std::vector<uint8_t> buffer((v.DataSectors + 1) * kSectorBytes);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    feedback.MessageBox(kDumpCannotOpenText + PathText(file), kDumpFileErrorCaption, MessageIcon::Warning);
    code = kDumpFileFailure;
    return BlockDumpEnd::kFailed;
  }
  written = true;
  const size_t dataBytes = static_cast<size_t>(v.DataSectors) * kSectorBytes;
  for (int p = 0; p < v.PagesPerBlock; ++p) {
    const auto page = static_cast<uint16_t>(p);
    for (int q = 0; q < v.Planes; ++q) {
      feedback.ProcessPendingEvents();
      if (feedback.CancelRequested()) return BlockDumpEnd::kCancelled;
      FlashAddress address;
      address.block = block;
      address.page = page;
      address.chunk = 0;
      address.option = DumpOptionByte(kind, q);
      address.chCe = DumpTargetByte(kind, channel, ce, page);
      code = controller.ReadFlash(address, v.DataSectors + 1, buffer);
      if (code != kResultSuccess) return BlockDumpEnd::kFailed;
      if (!DumpReadKept(kind, page, std::span<const uint8_t>(buffer).subspan(dataBytes))) return BlockDumpEnd::kDone;
      out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(dataBytes));
      if (!out) {
        feedback.MessageBox(kDumpCannotWriteText + PathText(file), kDumpFileErrorCaption, MessageIcon::Warning);
        code = kDumpFileFailure;
        return BlockDumpEnd::kFailed;
      }
    }
  }
  out.close();
  if (out.fail()) {
    feedback.MessageBox(kDumpCannotWriteText + PathText(file), kDumpFileErrorCaption, MessageIcon::Warning);
    code = kDumpFileFailure;
    return BlockDumpEnd::kFailed;
  }
  return BlockDumpEnd::kDone;
}

}  // namespace

LocalDate LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return LocalDate{local.tm_mon + 1, local.tm_mday};
}

const char* DumpFolderFormat(DumpKind kind) {
  return kind == DumpKind::kIsp ? "DumpISP_%02d%02d_%04d" : "DumpInfo_%02d%02d_%04d";
}

uint8_t DumpOptionByte(DumpKind kind, int plane) {
  const uint8_t base = kind == DumpKind::kIsp ? kIspDumpOption : kInfoDumpOption;
  return static_cast<uint8_t>(base + 64 * plane);
}

uint8_t DumpTargetByte(DumpKind kind, int channel, int ce, uint16_t page) {
  uint8_t target = static_cast<uint8_t>(channel + 8 * ce);
  if (kind == DumpKind::kInfo && page < kInfoPagesWithoutMarker) target = static_cast<uint8_t>(target + flash_chce::kMaxEcc);
  return target;
}

bool DumpReadKept(DumpKind kind, uint16_t page, std::span<const uint8_t> spare) {
  if (kind == DumpKind::kIsp) return spare.size() > kIspMarkerOffset && spare[kIspMarkerOffset] == kIspMarker;
  if (page < kInfoPagesWithoutMarker) return true;
  return spare.size() > kInfoMarkerOffset && spare[kInfoMarkerOffset] == kInfoMarker;
}

std::string DumpFolderName(DumpKind kind, const LocalDate& date, int n) {
  char name[64];
  std::snprintf(name, sizeof name, DumpFolderFormat(kind), date.Month, date.Day, n);
  return name;
}

std::string DumpFileName(DumpKind kind, uint16_t block, int channel, int ce, bool wholeBlockNumber) {
  const char* prefix = kind == DumpKind::kIsp ? "DumpISP" : "DumpInfo";
  char name[80];
  if (wholeBlockNumber) {
    std::snprintf(name, sizeof name, "%s_Block%04X_CH%02X_CE%02X.bin", prefix, static_cast<unsigned>(block),
                  static_cast<unsigned>(channel), static_cast<unsigned>(ce));
  } else {
    std::snprintf(name, sizeof name, "%s_Block%02X_CH%02X_CE%02X.bin", prefix, static_cast<unsigned>(block & 0xFF),
                  static_cast<unsigned>(channel), static_cast<unsigned>(ce));
  }
  return name;
}

DumpOutcome DumpControllerArea(AppState& state, Feedback& feedback, DumpKind kind, const DumpPlace& place) {
  DumpOutcome out;
  FlashRun run(state, feedback);
  VE4810VO* controller = run.Controller();
  if (controller == nullptr) return out;
  const CardInfo card(SelectedCardInfo(state));
  const DumpValues v = ValuesOf(card, kind);

  // The first folder of the day's sequence that is not there yet.
  const LocalDate today = place.Today ? place.Today() : LocalToday();
  std::filesystem::path folder;
  for (int n = 0; n < kDumpFolderLimit; ++n) {
    folder = place.Base / DumpFolderName(kind, today, n);
    if (!IsFolder(folder)) break;
  }
  std::error_code error;
  std::filesystem::create_directory(folder, error);
  if (!IsFolder(folder)) {
    feedback.MessageBox(kDumpCannotCreateFolderText + PathText(folder), kErrorCaption, MessageIcon::Error);
    out.Status = FlashStatus::kFailed;
    out.Result = kDumpFileFailure;
    feedback.ShowStatus("");
    return out;
  }
  out.Folder = folder;

  feedback.Progress(kDumpProgressSteps, 0);
  feedback.ShowStatus(kFlashWaitingText);
  feedback.ProcessPendingEvents();

  // Copies whose numbers share their low byte would share a file name.
  const bool wholeBlockNumbers = v.Blocks[0] != v.Blocks[1] && (v.Blocks[0] & 0xFF) == (v.Blocks[1] & 0xFF);
  int step = 0;
  for (int copy = 0; copy < kCopies; ++copy) {
    for (int ce = 0; ce < kFlashIdCeCount; ++ce) {
      for (int channel = 0; channel < kFlashIdChannelCount; ++channel) {
        feedback.Progress(kDumpProgressSteps, ++step);
        if (!card.HasChip(ce, channel)) continue;
        const uint16_t block = v.Blocks[copy];
        const std::filesystem::path file = folder / DumpFileName(kind, block, channel, ce, wholeBlockNumbers);
        bool written = false;
        int32_t code = kResultSuccess;
        const BlockDumpEnd end = DumpBlock(*controller, feedback, kind, v, block, channel, ce, file, written, code);
        if (written) ++out.FilesWritten;
        if (end == BlockDumpEnd::kCancelled) {
          out.Status = FlashStatus::kNothing;
          feedback.ShowStatus("");
          return out;
        }
        if (end == BlockDumpEnd::kFailed) {
          feedback.MessageBox(DumpFailText(kind), kErrorCaption, MessageIcon::Error);
          out.Status = FlashStatus::kFailed;
          out.Result = code;
          feedback.ShowStatus("");
          return out;
        }
      }
    }
  }
  feedback.MessageBox(FinishText(kind), kDumpMessageCaption, MessageIcon::Information);
  out.Status = FlashStatus::kDone;
  out.Message = SuccessText(kind);
  feedback.ShowStatus(out.Message);
  return out;
}

}  // namespace dozered
