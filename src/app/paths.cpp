#include "app/paths.h"

#include "app/app_state.h"

namespace dozered {

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (path.empty()) return std::string(name);
  if (path.back() != '/' && path.back() != '\\') path += '/';
  path += name;
  return path;
}

std::string PathBesideExecutable(const AppState& state, std::string_view name) {
  return JoinPath(state.ExecutableDir, name);
}

std::string PathInWorkingDirectory(std::string_view name) { return std::string(name); }

}  // namespace dozered
