#include "sim/firmware.h"

#include <algorithm>
#include <cstring>

#include "sim/records.h"
#include "sim/scrambler.h"

namespace dozered::sim {
namespace {

constexpr size_t kMaxDownloadBytes = 8u << 20;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

bool IsDataOut(uint8_t op) {
  return op == opcode::kWriteFlash || op == opcode::kDownloadCode || op == opcode::kJumpToCode ||
         op == opcode::kLoadDiagnosticCode;
}

// The direction class byte 0 carries: 0xF1 only for the three commands that
// write flash or code.
uint8_t DirectionClass(uint8_t op) {
  return (op == opcode::kWriteFlash || op == opcode::kDownloadCode || op == opcode::kJumpToCode) ? 0xF1 : 0xF0;
}

DiagnosticKind DiagnosticNeeded(uint8_t op) {
  switch (op) {
    case opcode::kReadMarkBadInfo: return DiagnosticKind::kReadBadInfo;
    case opcode::kReadBadBlockInfo: return DiagnosticKind::kReadFlashDiagnosis;
    case opcode::kReadChunkEcc: return DiagnosticKind::kReadChunkEcc;
    case opcode::kTranslateLba: return DiagnosticKind::kTranLba2Pba;
    case opcode::kReadFlashDistribution: return DiagnosticKind::kReadDistribution;
    default: return DiagnosticKind::kNone;
  }
}

}  // namespace

bool Firmware::Allowed(uint8_t op) const {
  switch (op) {
    case opcode::kReadFlashId:
    case opcode::kReadIdentify:
    case opcode::kReadIspInfo:
      return true;
    case opcode::kDownloadCode:
    case opcode::kJumpToCode:
      return model_.cardMode == 0 || model_.cardMode == 1;
    case opcode::kEnterRomCodeMode:
      return model_.cardMode != 0;
    case opcode::kReadFlash:
    case opcode::kWriteFlash:
    case opcode::kEraseFlash:
    case opcode::kSetFlashClock:
    case opcode::kReadErrorLog:
      return model_.cardMode != 0;
    case opcode::kReadMarkBadInfo:
    case opcode::kReadBadBlockInfo:
      if (model_.cardMode == 1) return true;
      return model_.cardMode == 2 && diagnostic_ == DiagnosticNeeded(op);
    case opcode::kReadChunkEcc:
    case opcode::kTranslateLba:
    case opcode::kReadFlashDistribution:
      return model_.cardMode == 2 && diagnostic_ == DiagnosticNeeded(op);
    case opcode::kReadSmart:
    case opcode::kReadCid:
    case opcode::kReadEraseCount:
    case opcode::kLoadDiagnosticCode:
      return model_.cardMode == 2;
    default:
      return false;
  }
}

bool Firmware::BeginCommand(const uint8_t* block) {
  model_.ftl.Flush();  // the flash commands see what the host wrote
  std::memcpy(block_, block, sizeof block_);
  reply_.clear();
  diagnosticPayload_.clear();
  active_ = block_[0] == DirectionClass(block_[1]) && Allowed(block_[1]);
  return active_;
}

bool Firmware::CommandTakesDataOut() const { return IsDataOut(block_[1]); }

void Firmware::EndCommand() {
  active_ = false;
  reply_.clear();
  reply_.shrink_to_fit();
  diagnosticPayload_.clear();
}

void Firmware::SetMode(int mode) {
  if (model_.cardMode == mode) return;
  model_.cardMode = mode;
  diagnostic_ = DiagnosticKind::kNone;
  download_.clear();
  if (sink_ != nullptr) sink_->OnModeChange(mode);
}

bool Firmware::Erase(const FlashCommandAddress& address) {
  PhysicalBlock block;
  if (!model_.layout.ResolveBlock(address, &block)) return false;
  bool ok = true;
  const int planes = (address.option & kOptionOnePlane) ? 1 : model_.config.geometry.planes;
  for (int i = 0; i < planes; ++i) {
    PhysicalBlock b = block;
    if (planes > 1) b.plane = i;
    if (model_.flash.Erase(b)) {
      if (sink_ != nullptr) sink_->OnFlashErase(model_.layout.BlockIndex(b));
      if (model_.EraseWearsOut(b)) ok = false;
    } else {
      ok = false;
    }
  }
  return ok;
}

// The data of a WriteFlash command, in one or more parts. The first page's
// worth goes to the addressed page; in multi-plane operation (one plane not
// forced) the next page's worth goes to the same page of the next plane, and
// so on; what lies beyond the last plane, or beyond the page when one plane is
// forced, is dropped. The controller writes the spare tags with the first
// part of every page and scrambles data and tags when the option byte says so.
bool Firmware::WriteFlashData(uint32_t offset, const uint8_t* buffer, uint32_t length) {
  const FlashCommandAddress address = DecodeFlashAddress(block_);
  PhysicalPage first;
  if (!model_.layout.ResolvePage(address, &first)) return true;  // no die there: the data go nowhere
  const FlashGeometry& g = model_.config.geometry;
  const uint32_t pageBytes = static_cast<uint32_t>(g.PageBytes());
  const int planes = (address.option & kOptionOnePlane) ? 1 : g.planes - first.block.plane;
  const bool scramble = (address.option & kOptionScramble) != 0;
  const uint64_t end = static_cast<uint64_t>(offset) + length;
  for (int k = 0; k < planes; ++k) {
    const uint64_t from = std::max<uint64_t>(offset, static_cast<uint64_t>(k) * pageBytes);
    const uint64_t to = std::min<uint64_t>(end, static_cast<uint64_t>(k + 1) * pageBytes);
    if (from >= to) continue;
    PhysicalPage page = first;
    page.block.plane = first.block.plane + k;
    if (!ProgramPage(page, scramble, static_cast<uint32_t>(from - static_cast<uint64_t>(k) * pageBytes),
                     buffer + (from - offset), static_cast<uint32_t>(to - from))) {
      return false;
    }
  }
  return true;
}

bool Firmware::ProgramPage(const PhysicalPage& page, bool scramble, uint32_t offset, const uint8_t* data,
                           uint32_t length) {
  const FlashGeometry& g = model_.config.geometry;
  const int blockIndex = model_.layout.BlockIndex(page.block);
  std::vector<uint8_t> stored(data, data + length);
  if (scramble) ScrambleData(model_.config.seed, page.page, offset, stored.data(), stored.size());
  if (offset != 0) {
    if (!model_.flash.ContinueProgram(page, offset, stored.data(), stored.size())) return false;
    if (sink_ != nullptr) sink_->OnFlashProgram(blockIndex, page.page, offset, stored.data(), length);
    return true;
  }
  std::vector<uint8_t> spare(static_cast<size_t>(g.spareBytes));
  FillSpareTags(model_.layout, page, PhysicalPageTag(model_.layout, page), model_.flash.TakeSequenceNumber(),
                spare.data(), spare.size());
  if (scramble) ScrambleSpare(model_.config.seed, page.page, static_cast<size_t>(g.PageBytes()), spare.data(), spare.size());
  // Every attempt is journaled, so that a replay wears the flash out the same way.
  if (sink_ != nullptr) {
    sink_->OnFlashProgram(blockIndex, page.page, kSpareRecordOffset, spare.data(), static_cast<uint32_t>(spare.size()));
    sink_->OnFlashProgram(blockIndex, page.page, 0, stored.data(), length);
  }
  if (model_.ProgramWearsOut(page)) return false;  // the program status reports the failure
  return model_.flash.Program(page, 0, stored.data(), stored.size(), spare.data());
}

std::vector<uint8_t> Firmware::BuildReply(uint32_t length) {
  const uint8_t op = block_[1];
  switch (op) {
    case opcode::kReadFlashId: return BuildCardInfoReply(model_);
    case opcode::kReadIdentify: return BuildIdentify(model_);
    case opcode::kReadIspInfo: return BuildIspInfo(model_);
    case opcode::kReadSmart:
      return block_[3] == 0xD0 ? BuildSmart(model_) : std::vector<uint8_t>(512, 0);
    case opcode::kReadCid: return BuildCid(model_);
    case opcode::kReadEraseCount: return BuildEraseCountTable(model_);
    case opcode::kReadMarkBadInfo: return BuildMarkBadList(model_);
    case opcode::kReadBadBlockInfo:
      return block_[2] == 1 ? BuildOriginalBadBlockTable(model_) : std::vector<uint8_t>(kOriginalBadTableBytes, 0);
    case opcode::kReadErrorLog: return BuildErrorLog(model_);
    case opcode::kTranslateLba: return BuildTranslation(model_, Le32(block_ + 2));
    case opcode::kReadFlash: {
      std::vector<uint8_t> reply;
      // An uncorrectable page fails the data phase: the controller reports its read ECC failure.
      if (!ReadFlashPage(model_, DecodeFlashAddress(block_), length / 512, &reply)) replyFailed_ = true;
      return reply;
    }
    case opcode::kReadFlashDistribution: {
      int slot = -1;
      int offset = 0;
      for (int s = 0; s < 4; ++s) {
        const uint8_t v = block_[14 + s] & 0x7F;
        if (v != 0) {
          slot = s;
          offset = v < 0x40 ? v : v - 128;
          break;
        }
      }
      return ReadFlashDistribution(model_, DecodeFlashAddress(block_), length / 512, slot, offset);
    }
    case opcode::kReadChunkEcc: {
      // The chunk-ECC diagnostic takes the CE/channel target in byte 4 and
      // the page in byte 5, and is asked for one answer's sectors. Asked for
      // more, as the Flash RW page asks for a page, it reads the flash
      // address as a page read does: page in bytes 4 and 12, channel/CE in
      // byte 10; the answer leads the reply.
      const uint16_t blockNumber = static_cast<uint16_t>((block_[2] << 8) | block_[3]);
      const uint32_t answerBytes = static_cast<uint32_t>(ChunkEccGeometryOf(model_).AnswerSectors()) * 512;
      if (length > answerBytes) {
        const FlashCommandAddress a = DecodeFlashAddress(block_);
        return BuildChunkEccAnswer(model_, a.block, a.page, a.chce, a.option);
      }
      return BuildChunkEccAnswer(model_, blockNumber, block_[5], block_[4], block_[8]);
    }
    case opcode::kEraseFlash: {
      // The erase status: a block that fails its erase (or is not there)
      // fails the data phase, as a failed program does.
      std::vector<uint8_t> r(std::max<uint32_t>(length, 512), 0xFF);
      r[0] = 0x00;
      if (!Erase(DecodeFlashAddress(block_))) replyFailed_ = true;
      return r;
    }
    case opcode::kSetFlashClock:
      model_.flashClock = static_cast<uint16_t>(block_[2] | (block_[3] << 8));
      return std::vector<uint8_t>(512, 0);
    case opcode::kEnterRomCodeMode:
      if (block_[2] == 1) SetMode(0);
      return std::vector<uint8_t>(512, 0);
    default:
      return std::vector<uint8_t>(512, 0);
  }
}

bool Firmware::DataIn(uint32_t offset, uint8_t* buffer, uint32_t length) {
  if (!active_ || CommandTakesDataOut()) return false;
  if (offset == 0 || reply_.empty()) {
    replyFailed_ = false;
    reply_ = BuildReply(offset + length);
    if (replyFailed_) {
      reply_.clear();
      return false;
    }
  }
  for (uint32_t i = 0; i < length; ++i) {
    const size_t at = static_cast<size_t>(offset) + i;
    buffer[i] = at < reply_.size() ? reply_[at] : 0;
  }
  return true;
}

bool Firmware::DataOut(uint32_t offset, const uint8_t* buffer, uint32_t length) {
  if (!active_ || !CommandTakesDataOut()) return false;
  switch (block_[1]) {
    case opcode::kWriteFlash:
      return WriteFlashData(offset, buffer, length);
    case opcode::kDownloadCode: {
      const uint32_t address = Le32(block_ + 6) + offset;
      if (download_.empty() || address < downloadBase_ || address > downloadBase_ + download_.size()) {
        download_.clear();
        downloadBase_ = address;
      }
      const size_t at = address - downloadBase_;
      if (at + length > kMaxDownloadBytes) return false;
      if (download_.size() < at + length) download_.resize(at + length, 0);
      std::memcpy(download_.data() + at, buffer, length);
      return true;
    }
    case opcode::kJumpToCode: {
      const uint32_t address = Le32(block_ + 6);
      if (offset != 0 || download_.empty() || address != downloadBase_ || length < 512 ||
          std::memcmp(download_.data(), buffer, 512) != 0 ||
          !IsCompleteMpispImage(download_.data(), download_.size())) {
        return false;
      }
      SetMode(1);
      return true;
    }
    case opcode::kLoadDiagnosticCode: {
      const uint32_t expected = ((static_cast<uint32_t>(block_[10]) << 8) | block_[11]) * 512u;
      if (offset != diagnosticPayload_.size()) return false;
      diagnosticPayload_.insert(diagnosticPayload_.end(), buffer, buffer + length);
      if (expected != 0 && diagnosticPayload_.size() < expected) return true;
      const DiagnosticKind kind = CheckDiagnosticPayload(diagnosticPayload_.data(), diagnosticPayload_.size(),
                                                         Be32(block_ + 4), model_.identity.ispVersion);
      diagnostic_ = kind;
      return kind != DiagnosticKind::kNone;
    }
    default:
      return false;
  }
}

void Firmware::RestoreProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) {
  if (blockIndex < 0 || blockIndex >= model_.layout.PhysicalBlockCount()) return;
  if (page < 0 || page >= model_.config.geometry.pagesPerBlock) return;
  PhysicalPage p;
  p.block = model_.layout.BlockAt(blockIndex);
  p.page = page;
  if (offset == kSpareRecordOffset) {
    restoredSpare_.assign(data, data + length);
    restoredSpare_.resize(static_cast<size_t>(model_.config.geometry.spareBytes), 0xFF);
    restoredSpareBlock_ = blockIndex;
    restoredSparePage_ = page;
    return;
  }
  if (offset != 0) {
    model_.flash.ContinueProgram(p, offset, data, length);
    return;
  }
  const bool withSpare = restoredSpareBlock_ == blockIndex && restoredSparePage_ == page;
  restoredSpareBlock_ = restoredSparePage_ = -1;
  if (model_.ProgramWearsOut(p)) return;
  model_.flash.Program(p, 0, data, length, withSpare ? restoredSpare_.data() : nullptr);
}

void Firmware::RestoreErase(int blockIndex) {
  if (blockIndex < 0 || blockIndex >= model_.layout.PhysicalBlockCount()) return;
  const PhysicalBlock block = model_.layout.BlockAt(blockIndex);
  if (model_.flash.Erase(block)) model_.EraseWearsOut(block);
}

}  // namespace dozered::sim
