// Writes the synthetic controller code files the demo drives need:
// MPISP.bin and the DgISP_*.bin diagnostic programs for the ISP folder of
// every controller drive that VirtualDrives.ini declares, beside the
// executable (and in the revision subfolder on drives that keep their files
// there), plus MPISP.bin in the working directory.
//
//   dozered_sim_samples <VirtualDrives.ini> <working directory> <beside-executable directory>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "sim/code_images.h"
#include "sim/drive_identity.h"
#include "sim/virtual_drives_ini.h"

namespace {

namespace fs = std::filesystem;
using dozered::sim::DiagnosticKind;

bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadText(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// Some programs carry the "DGISPHEADER" header, the others are bare.
bool WithHeader(DiagnosticKind kind) {
  return kind == DiagnosticKind::kReadBadInfo || kind == DiagnosticKind::kTranLba2Pba;
}

bool WriteCodeFolder(const fs::path& folder, const std::array<uint8_t, 16>& version) {
  bool ok = WriteFile(folder / "MPISP.bin", dozered::sim::BuildMpispFile(version, 96 * 1024 + 640));
  for (DiagnosticKind kind : dozered::sim::kAllDiagnosticKinds) {
    ok = WriteFile(folder / dozered::sim::DiagnosticFileName(kind),
                   dozered::sim::BuildDiagnosticFile(kind, version, WithHeader(kind))) && ok;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <VirtualDrives.ini> <working directory> <beside-executable directory>\n", argv[0]);
    return 2;
  }
  const auto drives = dozered::sim::ParseVirtualDrivesIni(ReadText(argv[1]), "");
  const fs::path work = argv[2];
  const fs::path beside = argv[3];
  bool ok = true;
  bool rootWritten = false;
  std::set<std::string> done;
  for (const auto& d : drives) {
    if (d.config.kind == dozered::sim::DriveKind::kPlainDisk) continue;
    const dozered::sim::DriveIdentity id = dozered::sim::MakeDriveIdentity(d.config);
    fs::path folder = beside / d.config.ispFolder;
    if (d.config.ispTag == "SNDK" && !id.firmware.empty() && id.firmware[0] == 'P') {
      folder /= id.firmware.substr(0, 3);
    }
    if (!done.insert(folder.string()).second) continue;
    ok = WriteCodeFolder(folder, id.ispVersion) && ok;
    if (!rootWritten) {
      // The range runs look for their program beside the executable before loading it.
      ok = WriteCodeFolder(beside, id.ispVersion) && ok;
      ok = WriteFile(work / "MPISP.bin", dozered::sim::BuildMpispFile(id.ispVersion, 96 * 1024 + 640)) && ok;
      rootWritten = true;
    }
  }
  if (!ok) std::fprintf(stderr, "could not write every sample file\n");
  return ok ? 0 : 1;
}
