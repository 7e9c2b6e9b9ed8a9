#include "sim/virtual_drives_ini.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "sim/simulated_drive.h"

namespace dozered {
namespace sim {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

long long Number(const std::string& value) { return std::strtoll(value.c_str(), nullptr, 0); }

bool Flag(const std::string& value) {
  const std::string v = Lower(value);
  return v == "1" || v == "yes" || v == "true" || v == "on";
}

int Clamp(long long v, int lo, int hi) { return static_cast<int>(std::clamp<long long>(v, lo, hi)); }

std::string Resolve(const std::string& base, const std::string& name) {
  if (name.empty() || base.empty()) return name;
  if (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) return name;
  return base + "/" + name;
}

void Apply(DriveDeclaration& d, const std::string& key, const std::string& value, const std::string& base) {
  DriveConfig& c = d.config;
  FlashGeometry& g = c.geometry;
  const std::string k = Lower(key);
  const std::string v = Lower(value);
  if (k == "label") c.label = value;
  else if (k == "kind") c.kind = v == "plain" ? DriveKind::kPlainDisk : v == "optical" ? DriveKind::kOptical : DriveKind::kController;
  else if (k == "transport") c.transport = v == "scsi" ? Transport::kScsi : v == "nvme" ? Transport::kNvme : Transport::kSata;
  else if (k == "seed") c.seed = static_cast<uint64_t>(Number(value));
  else if (k == "cardmode") c.cardMode = Clamp(Number(value), 0, 2);
  else if (k == "signature") c.signature = value;
  else if (k == "commandaddress") {
    if (Number(value) == 0x0789 && c.intercept != CommandIntercept::kNone) c.intercept = CommandIntercept::kAtFallbackAddress;
  } else if (k == "intercept") {
    if (!Flag(value)) c.intercept = CommandIntercept::kNone;
  } else if (k == "vendor") c.vendor = value;
  else if (k == "product") c.product = value;
  else if (k == "revision") c.revision = value;
  else if (k == "model") c.model = value;
  else if (k == "serial") c.serial = value;
  else if (k == "firmware") c.firmware = value;
  else if (k == "ispfolder") c.ispFolder = value.substr(0, 12);
  else if (k == "isptag") c.ispTag = value.substr(0, 4);
  else if (k == "channels") g.channels = Clamp(Number(value), 1, 4);
  else if (k == "ces") g.ces = Clamp(Number(value), 1, 8);
  else if (k == "interleaveways") g.interleaveWays = Clamp(Number(value), 1, 8);
  else if (k == "planes") g.planes = Clamp(Number(value), 1, 4);
  else if (k == "blocksperce") g.blocksPerCe = Clamp(Number(value), 16, 8192);
  else if (k == "pagesperblock") g.pagesPerBlock = Clamp(Number(value), 16, 4096);
  else if (k == "pagesizekib") g.pageSizeKiB = Clamp(Number(value), 1, 32);
  else if (k == "flashmaker") c.flashMaker = static_cast<uint8_t>(Number(value));
  else if (k == "temperature") c.temperature = Clamp(Number(value), 0, 125);
  else if (k == "averageerasecount") c.averageEraseCount = Clamp(Number(value), 0, 30000);
  else if (k == "ratedcycles") c.ratedCycles = Clamp(Number(value), 1, 1000000);
  else if (k == "poweronhours") c.powerOnHours = Clamp(Number(value), 0, 1000000);
  else if (k == "dataagehours") c.dataAgeHours = Clamp(Number(value), 0, 1000000);
  else if (k == "capacitysectors") c.capacityOverride = static_cast<uint32_t>(Number(value));
  else if (k == "failaccess") c.faults.failNthAccess = static_cast<uint64_t>(Number(value));
  else if (k == "faillba") c.faults.failLba = Number(value);
  else if (k == "failwrites") c.faults.failWrites = Flag(value);
  else if (k == "failafter") c.faults.failAfterAccess = static_cast<uint64_t>(Number(value));
  else if (k == "statefile") c.stateFile = Resolve(base, value);
  else if (k == "tracefile") c.traceFile = Resolve(base, value);
  else if (k == "port") d.options.port = static_cast<int>(Number(value));
  else if (k == "target") d.options.target = static_cast<int>(Number(value));
  else if (k == "lun") d.options.lun = static_cast<int>(Number(value));
  else if (k == "volumes") {
    d.options.volumeLetters.clear();
    for (char ch : v) if (ch >= 'a' && ch <= 'z') d.options.volumeLetters.push_back(ch);
  } else if (k == "noscsiaddress") d.options.hasScsiAddress = !Flag(value);
  else if (k == "volumelockfails") d.options.volumeLockFails = Flag(value);
  else if (k == "dismountfails") d.options.dismountFails = Flag(value);
  else if (k == "passthrougherror") d.options.passThroughError = static_cast<uint32_t>(Number(value));
  else if (k == "openfails") d.options.openFails = Flag(value);
}

void Settle(DriveConfig& c) {
  FlashGeometry& g = c.geometry;
  g.interleaveWays = std::min(g.interleaveWays, g.ces);
  g.pagesPerBlock -= g.pagesPerBlock % 2;  // wordlines hold an LSB and an MSB page
  while (g.ces % g.interleaveWays != 0) --g.interleaveWays;
  while (g.TotalFBlocks() > 8192) g.blocksPerCe /= 2;  // the erase-count table holds 8,192 blocks
}

}  // namespace

std::vector<DriveDeclaration> ParseVirtualDrivesIni(const std::string& text, const std::string& baseDirectory) {
  std::vector<DriveDeclaration> drives;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      DriveDeclaration d;
      d.config.label = Trim(line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
      drives.push_back(d);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos || drives.empty()) continue;
    std::string value = Trim(line.substr(eq + 1));
    const size_t comment = value.find(" ;");
    if (comment != std::string::npos) value = Trim(value.substr(0, comment));
    Apply(drives.back(), Trim(line.substr(0, eq)), value, baseDirectory);
  }
  for (DriveDeclaration& d : drives) Settle(d.config);
  return drives;
}

}  // namespace sim

std::vector<VirtualDisk> LoadVirtualDrives(const std::string& iniPath) {
  std::vector<VirtualDisk> disks;
  std::string text;
  if (std::FILE* f = std::fopen(iniPath.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  } else {
    return disks;
  }
  const size_t slash = iniPath.find_last_of("/\\");
  const std::string base = slash == std::string::npos ? std::string() : iniPath.substr(0, slash);
  for (const sim::DriveDeclaration& d : sim::ParseVirtualDrivesIni(text, base)) {
    VirtualDisk virtualDisk;
    virtualDisk.label = d.config.label;
    virtualDisk.drive = std::make_shared<sim::SimulatedDrive>(d.config);
    virtualDisk.options = d.options;
    disks.push_back(std::move(virtualDisk));
  }
  return disks;
}

}  // namespace dozered
