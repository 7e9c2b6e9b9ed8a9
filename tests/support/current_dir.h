// Makes a folder the working directory for the length of a scope.
#pragma once

#include <filesystem>

namespace dozered::testing {

class CurrentDir {
 public:
  explicit CurrentDir(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~CurrentDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  CurrentDir(const CurrentDir&) = delete;
  CurrentDir& operator=(const CurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace dozered::testing
