#include "reports/report_files.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

#include "app/paths.h"

namespace dozered {

bool WriteReportFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  if (path.empty() || !path.has_filename()) return false;
  std::filesystem::path scratch = path;
  scratch += ".partial";
  bool written = false;
  {
    std::ofstream file(scratch, std::ios::binary | std::ios::trunc);
    if (file) {
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      file.close();
      written = !file.fail();
    }
  }
  std::error_code ec;
  if (written) {
    std::filesystem::rename(scratch, path, ec);
    if (ec && std::filesystem::is_regular_file(path)) {
      // Where a rename does not replace (some Windows runtimes), the old
      // file gives way to the complete new one.
      std::error_code removed;
      std::filesystem::remove(path, removed);
      ec.clear();
      std::filesystem::rename(scratch, path, ec);
    }
    if (!ec) return true;
  }
  std::filesystem::remove(scratch, ec);
  return false;
}

bool WriteReportFile(const std::filesystem::path& path, std::string_view text) {
  return WriteReportFile(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

LocalDate TodayLocalDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return LocalDate{local.tm_mon + 1, local.tm_mday};
}

std::string LogFolderNameFor(LocalDate date, int number) {
  char name[64];
  std::snprintf(name, sizeof name, "LogInfoRB_%02d%02d_%04d", date.Month, date.Day, number);
  return name;
}

std::string NextLogFolderName(const std::filesystem::path& workDir, LocalDate date) {
  for (int n = 0; n < kLastLogFolderNumber; ++n) {
    std::string name = LogFolderNameFor(date, n);
    std::error_code ec;
    // Anything of that name, a file too, takes the number.
    if (!std::filesystem::exists(std::filesystem::symlink_status(workDir / name, ec))) return name;
  }
  return LogFolderNameFor(date, kLastLogFolderNumber);
}

std::optional<std::filesystem::path> LogFilePath(const std::filesystem::path& workDir, std::string_view folderName,
                                                 std::string_view fileName) {
  if (folderName.empty() || fileName.empty()) return std::nullopt;
  if (!IsPlainFolderName(folderName) || !IsPlainFolderName(fileName)) return std::nullopt;
  return workDir / std::filesystem::path(std::string(folderName)) / std::filesystem::path(std::string(fileName));
}

}  // namespace dozered
