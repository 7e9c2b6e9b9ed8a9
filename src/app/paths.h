// Where the tool finds its files: beside the executable (layout files, ISP
// folders) or in the working directory (String.ini, TabSheet.ini, reports).
#pragma once

#include <string>
#include <string_view>

namespace dozered {

struct AppState;

// `dir` + "/" + `name`; just `name` when `dir` is empty.
std::string JoinPath(std::string_view dir, std::string_view name);

// A file beside the executable (AppState::ExecutableDir, set at start-up).
std::string PathBesideExecutable(const AppState& state, std::string_view name);

// A file in the working directory.
std::string PathInWorkingDirectory(std::string_view name);

}  // namespace dozered
