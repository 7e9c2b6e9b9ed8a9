#include "sim/drive_identity.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "sim/sim_hash.h"

namespace dozered::sim {
namespace {

std::string Fit(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

}  // namespace

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

  // Raw flash, 7 % kept back, then the IDEMA sector count of the nominal size.
  const double raw = static_cast<double>(g.TotalFBlocks()) * g.channels * g.interleaveWays * g.planes *
                     g.pagesPerBlock * static_cast<double>(g.PageBytes());
  id.capacityGb = static_cast<int>(std::lround(raw * 0.93 / 1e9));
  if (config.capacityOverride != 0) {
    id.capacity = config.capacityOverride;
    id.capacityGb = static_cast<int>(static_cast<double>(config.capacityOverride) * 512.0 / 1e9);
  } else if (id.capacityGb >= 50) {
    id.capacity = static_cast<uint32_t>(97696368ull + 1953504ull * static_cast<uint64_t>(id.capacityGb - 50));
  } else {
    id.capacity = static_cast<uint32_t>(static_cast<uint64_t>(std::max(id.capacityGb, 1)) * 1953504ull);
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
