// Answers that read the flash: raw page reads, distribution reads and the
// chunk-ECC answer.
#include <algorithm>
#include <cstring>

#include "sim/byte_writer.h"
#include "sim/flash_read_model.h"
#include "sim/records.h"
#include "sim/scrambler.h"

namespace dozered::sim {

namespace {

// "Enable Max ECC" in the channel/CE byte raises the correction limit.
constexpr uint8_t kChceMaxEcc = 0x40;
constexpr int kEccBitsPerChunk = 40;
constexpr int kMaxEccBitsPerChunk = 60;

// One page's share of a transfer: data bytes [from, from + n) of the page go
// to `out`.
struct PagePart {
  PhysicalPage page;
  size_t from = 0;
  size_t n = 0;
  uint8_t* out = nullptr;
};

// The pages a read of `dataBytes` data bytes from the addressed chunk on
// touches: the addressed page, and in multi-plane operation (one plane not
// forced) the same page of the following planes.
std::vector<PagePart> SplitIntoPages(const DriveModel& model, const FlashCommandAddress& address,
                                     const PhysicalPage& first, size_t dataBytes, uint8_t* out) {
  std::vector<PagePart> parts;
  const FlashGeometry& g = model.config.geometry;
  const size_t pageBytes = static_cast<size_t>(g.PageBytes());
  const int planes = (address.option & kOptionOnePlane) ? 1 : g.planes - first.block.plane;
  size_t at = 0;
  size_t from = static_cast<size_t>(address.chunk) * PageCells::kChunkBytes;
  for (int k = 0; k < planes && at < dataBytes; ++k) {
    if (from >= pageBytes) {
      from -= pageBytes;
      continue;
    }
    PagePart part;
    part.page = first;
    part.page.block.plane = first.block.plane + k;
    part.from = from;
    part.n = std::min(dataBytes - at, pageBytes - from);
    part.out = out + at;
    parts.push_back(part);
    at += part.n;
    from = 0;
  }
  return parts;
}

// The regions of a page part: the chunks it overlaps, then the spare region
// when the spare is read.
std::vector<int> RegionsOf(const PageCells& cells, const PagePart& part, bool spare) {
  std::vector<int> regions;
  if (part.n > 0) {
    for (int c = cells.ChunkOf(part.from); c <= cells.ChunkOf(part.from + part.n - 1); ++c) regions.push_back(c);
  }
  if (spare) regions.push_back(cells.SpareRegion());
  return regions;
}

// Copies the bytes of one region into the part's output (data regions) or
// into the spare sector (spare region, from byte 1 on).
void PlaceRegion(const PageCells& cells, const PagePart& part, int region, const uint8_t* bytes, uint8_t* spare) {
  const size_t offset = cells.RegionOffset(region);
  const size_t length = cells.RegionBytes(region);
  if (region == cells.SpareRegion()) {
    if (spare != nullptr) std::memcpy(spare + 1, bytes, std::min<size_t>(length, 511));
    return;
  }
  const size_t from = std::max(offset, part.from);
  const size_t to = std::min(offset + length, part.from + part.n);
  if (from < to) std::memcpy(part.out + (from - part.from), bytes + (from - offset), to - from);
}

uint8_t BadBlockMark(const DriveModel& model, const PhysicalPage& page);

// The maker's mark on a factory-bad page was never scrambled: its spare area
// reads as it was written.
void Descramble(const DriveModel& model, const PageCells& cells, int region, uint8_t* bytes) {
  if (region == cells.SpareRegion() && BadBlockMark(model, cells.page()) == 0x00) return;
  const size_t pageBytes = static_cast<size_t>(model.config.geometry.PageBytes());
  const size_t position = region == cells.SpareRegion() ? pageBytes + 1 : cells.RegionOffset(region);
  ScrambleStream(model.config.seed, cells.page().page, position, bytes, cells.RegionBytes(region));
}

uint8_t BadBlockMark(const DriveModel& model, const PhysicalPage& page) {
  std::vector<uint8_t> spare(static_cast<size_t>(std::max(model.config.geometry.spareBytes, 1)));
  model.flash.ReadSpare(page, spare.data());
  return spare[0];
}

// One page read without ECC: the cells as they answer at `references`.
void ReadPartRaw(const DriveModel& model, PageCells& cells, const PagePart& part, uint8_t* spare,
                 const ReadReferences& references, bool descramble) {
  std::vector<uint8_t> bytes;
  for (int region : RegionsOf(cells, part, spare != nullptr)) {
    bytes.resize(cells.RegionBytes(region));
    cells.Read(region, references, bytes.data());
    if (descramble) Descramble(model, cells, region, bytes.data());
    PlaceRegion(cells, part, region, bytes.data(), spare);
  }
  if (spare != nullptr) spare[0] = BadBlockMark(model, part.page);
}

// One page read through the ECC: a chunk with no more raw errors than the
// limit returns its stored bits (an erased one 0xFF); with read retry the
// read steps through the retry levels until every chunk read passes. False
// when no level passes.
bool ReadPartCorrected(const DriveModel& model, PageCells& cells, const PagePart& part, uint8_t* spare,
                       const FlashCommandAddress& address) {
  const int limit = (address.chce & kChceMaxEcc) ? kMaxEccBitsPerChunk : kEccBitsPerChunk;
  const int levels = (address.option & kOptionReadRetry) ? kRetryLevels : 1;
  const std::vector<int> regions = RegionsOf(cells, part, spare != nullptr);
  bool passed = false;
  for (int level = 0; level < levels && !passed; ++level) {
    const ReadReferences references = RetryReferences(level);
    passed = std::all_of(regions.begin(), regions.end(),
                         [&](int region) { return cells.CountErrors(region, references) <= limit; });
  }
  if (!passed) return false;
  const bool descramble = (address.option & kOptionScramble) != 0;
  std::vector<uint8_t> bytes;
  for (int region : regions) {
    const size_t length = cells.RegionBytes(region);
    if (cells.RegionProgrammed(region)) {
      bytes.assign(cells.Stored(region), cells.Stored(region) + length);
      if (descramble) Descramble(model, cells, region, bytes.data());
    } else {
      bytes.assign(length, 0xFF);
    }
    PlaceRegion(cells, part, region, bytes.data(), spare);
  }
  if (spare != nullptr) spare[0] = BadBlockMark(model, part.page);
  return true;
}

// The references of a distribution read: level slot 1 moves R1, slot 3 R3,
// and slots 0 and 2 move R2, the one reference of a strong (SLC) read and the
// reference of an LSB page.
ReadReferences ShiftedReferences(int slot, int offset) {
  ReadReferences r;
  if (slot == 1) {
    r.r1 += offset;
  } else if (slot == 0 || slot == 2) {
    r.r2 += offset;
  } else if (slot == 3) {
    r.r3 += offset;
  }
  return r;
}

}  // namespace

bool ReadFlashPage(const DriveModel& model, const FlashCommandAddress& address, uint32_t sectors,
                   std::vector<uint8_t>* reply) {
  std::vector<uint8_t>& r = *reply;
  r.assign(static_cast<size_t>(sectors) * 512, 0xFF);
  if (sectors == 0) return true;
  PhysicalPage first;
  if (!model.layout.ResolvePage(address, &first)) return true;  // no die there: the bus reads high
  const bool withSpare = (address.option & kOptionNoSpare) == 0;
  const size_t dataBytes = (withSpare ? sectors - 1 : sectors) * size_t{512};
  const bool ecc = (address.option & kOptionEccOff) == 0;
  const std::vector<PagePart> parts = SplitIntoPages(model, address, first, dataBytes, r.data());
  uint8_t* spare = withSpare ? r.data() + dataBytes : nullptr;
  bool spareDone = false;
  for (const PagePart& part : parts) {
    PageCells cells(model, part.page);
    uint8_t* partSpare = (part.page.block.plane == first.block.plane) ? spare : nullptr;
    spareDone = spareDone || partSpare != nullptr;
    if (ecc) {
      if (!ReadPartCorrected(model, cells, part, partSpare, address)) return false;
    } else {
      ReadPartRaw(model, cells, part, partSpare, RetryReferences(0), (address.option & kOptionScramble) != 0);
    }
  }
  if (spare != nullptr && !spareDone) {
    // The addressed chunk lies beyond the page: only the spare is read from it.
    PagePart none;
    none.page = first;
    PageCells cells(model, first);
    if (ecc) return ReadPartCorrected(model, cells, none, spare, address);
    ReadPartRaw(model, cells, none, spare, RetryReferences(0), (address.option & kOptionScramble) != 0);
  }
  return true;
}

std::vector<uint8_t> ReadFlashDistribution(const DriveModel& model, const FlashCommandAddress& address,
                                           uint32_t sectors, int levelSlot, int levelOffset) {
  std::vector<uint8_t> r(static_cast<size_t>(sectors) * 512, 0xFF);
  if (sectors == 0) return r;
  PhysicalPage first;
  if (!model.layout.ResolvePage(address, &first)) return r;
  const bool withSpare = (address.option & kOptionNoSpare) == 0;
  const size_t dataBytes = (withSpare ? sectors - 1 : sectors) * size_t{512};
  const ReadReferences references = ShiftedReferences(levelSlot, levelOffset);
  for (const PagePart& part : SplitIntoPages(model, address, first, dataBytes, r.data())) {
    PageCells cells(model, part.page);
    const bool firstPage = part.page.block.plane == first.block.plane;
    ReadPartRaw(model, cells, part, withSpare && firstPage ? r.data() + dataBytes : nullptr, references, false);
  }
  return r;
}

ChunkEccGeometry ChunkEccGeometryOf(const DriveModel& model) {
  const std::vector<uint8_t> cardInfo = BuildCardInfoReply(model);
  ChunkEccGeometry g;
  g.chunksPerGroup = std::clamp<int>(cardInfo[card_info::kPageSizeKiB], 1, 64);
  g.groupsPerRow = std::clamp<int>(cardInfo[card_info::kPlaneCount], 1, 4);
  g.retryRows = kChunkEccRetryRows;
  return g;
}

std::vector<uint8_t> BuildChunkEccAnswer(const DriveModel& model, uint16_t block, uint16_t page, uint8_t target,
                                         uint8_t option) {
  const ChunkEccGeometry geometry = ChunkEccGeometryOf(model);
  const int limit = (target & kChceMaxEcc) ? kMaxEccBitsPerChunk : kEccBitsPerChunk;
  std::vector<uint8_t> r(static_cast<size_t>(geometry.AnswerBytes()), 0);
  for (int plane = 0; plane < geometry.groupsPerRow; ++plane) {
    FlashCommandAddress address;
    address.block = block;
    address.page = page;
    address.chce = target;
    address.option = static_cast<uint8_t>((option & ~0xC0) | (plane << 6));
    PhysicalPage physical;
    if (!model.layout.ResolvePage(address, &physical)) continue;
    PageCells cells(model, physical);
    for (int row = 0; row < geometry.retryRows; ++row) {
      const ReadReferences references = RetryReferences(row);
      for (int chunk = 0; chunk <= geometry.chunksPerGroup; ++chunk) {
        const int region = chunk == geometry.chunksPerGroup ? cells.SpareRegion() : chunk;
        if (region > cells.SpareRegion()) continue;
        const int bits = cells.CountErrors(region, references);
        r[static_cast<size_t>(geometry.Offset(row, plane, chunk))] = bits > limit ? 0xFF : static_cast<uint8_t>(bits);
      }
    }
  }
  return r;
}

}  // namespace dozered::sim
