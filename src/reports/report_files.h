// Writing report files and finding the log folder.
//
// A report file is written whole or not at all: the bytes go to a scratch
// file beside the target, which takes the target's name only once every byte
// is written and the file is closed. A failed write leaves no partial file
// behind, and an older file of that name stays as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dozered {

// Writes `bytes` to `path` (created or replaced). False when the file could
// not be written completely; nothing is then left under `path` that was not
// there before.
bool WriteReportFile(const std::filesystem::path& path, std::span<const uint8_t> bytes);
bool WriteReportFile(const std::filesystem::path& path, std::string_view text);

// The local date of the log folder's name.
struct LocalDate {
  int Month = 1;  // 1-12
  int Day = 1;    // 1-31
};
LocalDate TodayLocalDate();

// "LogInfoRB_%02d%02d_%04d" with month, day and `number`.
std::string LogFolderNameFor(LocalDate date, int number);

// The first log folder name of `date` (number 0 to 999) that does not exist
// yet below `workDir`; when all of them exist, number 999, written into again.
inline constexpr int kLastLogFolderNumber = 999;
std::string NextLogFolderName(const std::filesystem::path& workDir, LocalDate date);

// Where file `fileName` of the log folder `folderName` lies below `workDir`:
// directly inside the folder. nullopt when either name is not one plain name
// (a separator, "..", a drive colon...), so that no name reaches outside.
std::optional<std::filesystem::path> LogFilePath(const std::filesystem::path& workDir, std::string_view folderName,
                                                 std::string_view fileName);

}  // namespace dozered
