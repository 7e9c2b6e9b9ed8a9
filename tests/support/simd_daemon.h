// dozered-simd started for a test or a benchmark: it serves a
// VirtualDrives.ini under a fresh mount point until the object goes away.
// Stopping sends SIGTERM (the daemon unmounts and closes its drives' state
// files), kills it if it has not gone within a while, and unmounts what is
// left; the daemon also gets SIGTERM when the process that started it dies,
// so no mount outlives a crashed test. When it cannot run here the object
// says why, for the skip line.
#pragma once

#ifdef __linux__

#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace dozered::testing {

// Why dozered-simd cannot run here; empty when it can.
inline std::string SimdUnavailable(const char* executable) {
  if (executable == nullptr || executable[0] == '\0') return "dozered-simd is not built here (no libfuse3)";
  if (geteuid() != 0) return "dozered-simd with loop devices needs root";
  if (access("/dev/fuse", R_OK | W_OK) != 0) return "no /dev/fuse here";
  return {};
}

class SimdDaemon {
 public:
  // Starts `executable` on `iniPath` and waits until it serves its files.
  SimdDaemon(const char* executable, const std::string& iniPath) {
    problem_ = SimdUnavailable(executable);
    if (!problem_.empty()) return;
    char folder[] = "/tmp/dzsimdXXXXXX";
    if (mkdtemp(folder) == nullptr) {
      problem_ = "no folder for the mount point";
      return;
    }
    folder_ = folder;
    mount_ = folder_ + "/mnt";
    log_ = folder_ + "/daemon.log";
    mkdir(mount_.c_str(), 0700);
    // The daemon writes to a file, never to a pipe nobody reads: a full pipe
    // would stop it, and every sector access with it.
    const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      dup2(logFd, STDOUT_FILENO);
      dup2(logFd, STDERR_FILENO);
      execl(executable, executable, iniPath.c_str(), mount_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (logFd >= 0) close(logFd);
    if (pid_ < 0) {
      problem_ = "dozered-simd cannot be started";
      return;
    }
    // A bound against a daemon that never comes up, not a measure of it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Log().find("dozered-simd: serving") == std::string::npos) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        problem_ = "dozered-simd cannot serve here: " + LastLine(Log());
        return;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        problem_ = "dozered-simd did not come up";
        Stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~SimdDaemon() {
    Stop();
    if (folder_.empty()) return;
    std::error_code error;
    if (!Mounted()) std::filesystem::remove_all(folder_, error);
  }
  SimdDaemon(const SimdDaemon&) = delete;
  SimdDaemon& operator=(const SimdDaemon&) = delete;

  const std::string& problem() const { return problem_; }
  bool Running() const { return pid_ > 0; }
  // The file of drive `n` of the ini.
  std::string File(int n) const { return mount_ + "/drive" + std::to_string(n); }
  const std::string& MountPoint() const { return mount_; }
  // What the daemon has printed so far.
  std::string Log() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Mounted() const {
    if (mount_.empty()) return false;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
      if (line.find(" " + mount_ + " ") != std::string::npos) return true;
    }
    return false;
  }

  // Stops the daemon: SIGTERM, then SIGKILL if it has not gone within a
  // while; unmounts whatever it left mounted. Returns its exit status, or -1
  // when it did not exit by itself (killed, or not running).
  int Stop() {
    int exitStatus = -1;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      int status = 0;
      pid_t done = 0;
      while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      } else if (done == pid_ && WIFEXITED(status)) {
        exitStatus = WEXITSTATUS(status);
      }
      pid_ = -1;
    }
    if (Mounted()) umount2(mount_.c_str(), MNT_DETACH);
    return exitStatus;
  }

 private:
  static std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t at = text.rfind('\n');
    return at == std::string::npos ? text : text.substr(at + 1);
  }

  std::string problem_;
  std::string folder_;
  std::string mount_;
  std::string log_;
  pid_t pid_ = -1;
};

}  // namespace dozered::testing

#endif  // __linux__
