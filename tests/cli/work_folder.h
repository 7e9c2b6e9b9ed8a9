// A working folder for dozered-cli like the demo's, and reading its output.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/temp_dir.h"

namespace dozered::testing {

inline std::string DemoDrivesIni() {
  return ReadWholeFile(std::filesystem::path(DOZERED_DEMO_DIR) / "VirtualDrives.ini");
}

// String.ini, TabSheet.ini and a VirtualDrives.ini whose drives keep their
// state files in this folder, so that every folder starts with fresh drives.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string& drivesIni = DemoDrivesIni()) {
    const std::filesystem::path demo = DOZERED_DEMO_DIR;
    std::filesystem::copy_file(demo / "String.ini", dir_.Dir() / "String.ini");
    std::filesystem::copy_file(demo / "TabSheet.ini", dir_.Dir() / "TabSheet.ini");
    dir_.Write("VirtualDrives.ini", drivesIni);
  }
  const std::filesystem::path& Dir() const { return dir_.Dir(); }

  // dozered-cli with --drives VirtualDrives.ini and `args`.
  CliRun Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--drives", "VirtualDrives.ini"});
    return RunProgram(DOZERED_CLI_PROGRAM, args, dir_.Dir());
  }
  // dozered-cli with `args` alone.
  CliRun CliWithout(const std::vector<std::string>& args) const {
    return RunProgram(DOZERED_CLI_PROGRAM, args, dir_.Dir());
  }

 private:
  TempDir dir_;
};

// The lines of a program's output, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace dozered::testing
