// Loop devices and small tmpfs mounts for tests that need a real block
// device (as root, with losetup and mount). Each object undoes what it set
// up when it goes away, on every way out of a test; when it cannot be set up
// it says why, for the test's skip line.
#pragma once

#ifdef __linux__

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace dozered::testing {

// Runs a shell command; its first output line goes to `line` when given.
inline bool RunCommand(const std::string& command, std::string* line = nullptr) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return false;
  char text[256] = {};
  const bool read = std::fgets(text, sizeof(text), pipe) != nullptr;
  const int status = pclose(pipe);
  if (line != nullptr) {
    *line = read ? text : "";
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  }
  return status == 0;
}

// Why block-device tests cannot run here; empty when they can.
inline std::string LoopDevicesUnavailable() {
  if (geteuid() != 0) return "loop devices need root";
  if (!RunCommand("command -v losetup")) return "losetup is not installed";
  return {};
}

// A tmpfs of `bytes` mounted on a fresh folder.
class TmpfsMount {
 public:
  explicit TmpfsMount(size_t bytes) {
    char folder[] = "/tmp/dzmntXXXXXX";
    if (mkdtemp(folder) == nullptr) {
      problem_ = "no folder for the mount";
      return;
    }
    path_ = folder;
    const std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", folder, "tmpfs", 0, options.c_str()) != 0) {
      problem_ = "tmpfs cannot be mounted here";
      return;
    }
    mounted_ = true;
  }
  ~TmpfsMount() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) rmdir(path_.c_str());
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  const std::string& problem() const { return problem_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string problem_;
  bool mounted_ = false;
};

// A loop device over `image`, attached with the extra losetup options given
// ("-r" read-only, "-b 4096" 4 KiB sectors).
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image, const std::string& options = "") {
    problem_ = LoopDevicesUnavailable();
    if (!problem_.empty()) return;
    std::string device;
    if (!RunCommand("losetup " + options + " --find --show " + image, &device) ||
        device.rfind("/dev/loop", 0) != 0) {
      problem_ = "losetup cannot attach a loop device here";
      return;
    }
    device_ = device;
    // A read-only mark left on the node by an earlier run is cleared; a
    // device attached read-only (-r) stays read-only.
    RunCommand("blockdev --setrw " + device_);
  }
  // The kernel keeps a read-only mark (blockdev --setro) on the loop node
  // after it is detached; it is cleared so that the next user of the node
  // gets a writable device.
  ~LoopDevice() {
    if (device_.empty()) return;
    RunCommand("blockdev --setrw " + device_);
    RunCommand("losetup -d " + device_);
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  const std::string& problem() const { return problem_; }
  const std::string& Device() const { return device_; }
  // The test detached the device itself: it is left alone from now on (its
  // node may already serve another test's loop device).
  void Release() { device_.clear(); }

 private:
  std::string device_;
  std::string problem_;
};

// Creates a sparse file of `bytes`; false when it cannot.
inline bool MakeSparseFile(const std::string& path, uint64_t bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fclose(file);
  std::error_code error;
  std::filesystem::resize_file(path, bytes, error);
  return !error;
}

// Fills the file system that holds `path` until it has no room left.
inline void FillUp(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  static const char block[4096] = {1};
  while (std::fwrite(block, 1, sizeof block, file) == sizeof block) {
  }
  std::fclose(file);
}

}  // namespace dozered::testing

#endif  // __linux__
