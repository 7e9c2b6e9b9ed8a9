#include "sim/drive_identity.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "sim/sim_hash.h"
#include "sim/wear_model.h"

namespace dozered::sim {
namespace {

std::string Fit(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

}  // namespace

uint64_t RawFlashBytes(const FlashGeometry& g) {
  if (g.TotalFBlocks() <= 0 || g.pagesPerBlock <= 0 || g.PageBytes() <= 0) return 0;
  return static_cast<uint64_t>(g.TotalFBlocks()) * static_cast<uint64_t>(g.channels * g.interleaveWays * g.planes) *
         static_cast<uint64_t>(g.pagesPerBlock) * static_cast<uint64_t>(g.PageBytes());
}

uint32_t FlashCapacitySectors(const FlashGeometry& g) {
  const uint64_t raw = RawFlashBytes(g);
  // The most the translation layer can hold: the user-data F-blocks less 3 %
  // of all F-blocks for the bad ones and three for garbage collection.
  const int fblocks = g.TotalFBlocks();
  const int systemBlocks = g.blocksPerCe > 0 ? fblocks / g.blocksPerCe * std::min(kEraseCountStartBlock, g.blocksPerCe) : fblocks;
  const int room = fblocks - systemBlocks - (fblocks * 3 + 99) / 100 - 3;
  const uint64_t sectorsPerFBlock = raw == 0 ? 0
                                    : static_cast<uint64_t>(g.PageBytes() / 4096) * 8 *
                                          static_cast<uint64_t>(g.channels * g.interleaveWays * g.planes) *
                                          static_cast<uint64_t>(g.pagesPerBlock);
  const uint64_t limit = room > 0 ? static_cast<uint64_t>(room) * sectorsPerFBlock : 0;
  // 7 % of the raw flash kept back; the IDEMA sector count of the nominal size.
  const long long gb = std::llround(static_cast<double>(raw) * 0.93 / 1e9);
  const long long idema = 97696368ll + 1953504ll * (gb - 50);
  const uint64_t sectors = gb >= 1 && idema > 0 ? static_cast<uint64_t>(idema) : limit;
  return static_cast<uint32_t>(std::min<uint64_t>({sectors, limit, 0xFFFFFFF8ull}));
}

std::array<uint8_t, 16> MakeIspVersion(const std::string& folder, const std::string& tag) {
  std::array<uint8_t, 16> v{};
  for (size_t i = 0; i < folder.size() && i < 12; ++i) v[i] = static_cast<uint8_t>(folder[i]);
  for (size_t i = 0; i < tag.size() && i < 4; ++i) v[12 + i] = static_cast<uint8_t>(tag[i]);
  return v;
}

DriveIdentity MakeDriveIdentity(const DriveConfig& config) {
  DriveIdentity id;
  const uint64_t seed = config.seed;
  const FlashGeometry& g = config.geometry;

  id.capacityGb = static_cast<int>(std::lround(static_cast<double>(RawFlashBytes(g)) * 0.93 / 1e9));
  if (config.capacityOverride != 0) {
    id.capacity = config.capacityOverride;
    id.capacityGb = static_cast<int>(static_cast<double>(config.capacityOverride) * 512.0 / 1e9);
  } else {
    id.capacity = FlashCapacitySectors(g);
  }

  char buffer[64];
  if (config.model.empty()) {
    std::snprintf(buffer, sizeof buffer, "VE4810VO SSD %dGB", id.capacityGb);
    id.model = buffer;
  } else {
    id.model = config.model;
  }
  if (config.serial.empty()) {
    std::snprintf(buffer, sizeof buffer, "VO%012llX",
                  static_cast<unsigned long long>(Hash(seed, HashDomain::kRecords, 0x5E) & 0xFFFFFFFFFFFFull));
    id.serial = buffer;
  } else {
    id.serial = config.serial;
  }
  id.firmware = Fit(config.firmware.empty() ? std::string("VO1.26A0") : config.firmware, 8);

  switch (config.transport) {
    case Transport::kSata:
      id.vendor = "ATA";
      id.product = id.model;
      id.revision = id.firmware.substr(4, 4);
      break;
    case Transport::kNvme:
      id.vendor = "NVMe";
      id.product = id.model;
      id.revision = id.firmware.substr(0, 4);
      break;
    case Transport::kScsi:
      id.vendor = "Generic";
      id.product = "VE4810VO Disk";
      id.revision = id.firmware.substr(0, 4);
      break;
  }
  if (!config.vendor.empty()) id.vendor = config.vendor;
  if (!config.product.empty()) id.product = config.product;
  if (!config.revision.empty()) id.revision = config.revision;
  id.vendor = Fit(id.vendor, 8);
  id.product = Fit(id.product, 16);
  id.revision = Fit(id.revision, 4);

  id.ispVersion = MakeIspVersion(config.ispFolder, config.ispTag);

  // Flash chips: maker code, device code, and the bytes a multi-plane MLC part reports.
  static constexpr uint8_t kMakers[] = {0x98, 0x2C, 0xAD, 0xEC, 0x45};
  const uint64_t h = Hash(seed, HashDomain::kRecords, 0xF1A5);
  const uint8_t maker = config.flashMaker != 0 ? config.flashMaker : kMakers[h % std::size(kMakers)];
  const uint8_t idBytes[8] = {maker, 0x3A, 0x94, 0x93, 0x76, static_cast<uint8_t>(0x50 | ((h >> 8) & 0x0F)), 0x08, 0x04};
  std::memcpy(id.flashId.data(), idBytes, 8);
  return id;
}

}  // namespace dozered::sim
