// Where the tool finds its files: beside the executable (layout files, the
// drives' folders) or in the working directory (String.ini, TabSheet.ini,
// reports). Paths are std::filesystem::path throughout, so that a folder
// whose name is not in the system's code page still works.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dozered {

struct AppState;

// A file beside the executable (AppState::ExecutableDir, set at start-up).
std::filesystem::path PathBesideExecutable(const AppState& state, const std::filesystem::path& name);

// The folder of the running executable, for a front end without Qt: asked
// of the system, or, where it cannot say, the folder of `argv0` made absolute.
std::filesystem::path RunningExecutableDir(const char* argv0);

// A file in the working directory.
std::filesystem::path PathInWorkingDirectory(const std::filesystem::path& name);

// How a path is named in a message: the path as given, in UTF-8.
std::string PathText(const std::filesystem::path& path);

// Whether `name` can be used as the name of one folder below another: no
// separator, no drive or stream colon, nothing that is not printable ASCII or
// that Windows does not allow in a name, not "." or "..", no trailing dot or
// blank (Windows drops those), no device name such as CON or COM1. The empty
// name is plain too: it names the folder itself.
bool IsPlainFolderName(std::string_view name);

// The folder beside the executable that holds the files of device index
// `device`: the folder named by its ISP version, and below it the firmware
// revision's folder on drives that keep their files there. The names come
// from the drive; nullopt when one of them is not a plain folder name, which
// the callers take as a folder that does not exist.
std::optional<std::filesystem::path> DriveFolderFor(const AppState& state, int device);

}  // namespace dozered
