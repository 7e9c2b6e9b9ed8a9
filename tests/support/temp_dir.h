// A folder of its own for one test, removed again afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace dozered::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("dozered-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Dir() const { return path_; }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

  // Writes `bytes` unchanged (binary) to `name` and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string p = Path(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace dozered::testing
