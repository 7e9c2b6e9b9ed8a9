// dozered-simd: serves the simulated drives of a VirtualDrives.ini as files
// of a FUSE file system, one file per drive (drive0, drive1, ...). Attached
// with `losetup --direct-io=on`, a file becomes a block device whose sector
// reads and writes reach the simulated drive one to one, in order.
//
//   dozered-simd [-d] [-o fuse-options] VirtualDrives.ini MOUNTPOINT
//
// It runs in the foreground and serves requests one at a time (the vendor
// protocol is a sequence of sector accesses; a second thread could reorder
// them). Files are opened for direct I/O, so the kernel neither caches them
// nor reads ahead. SIGTERM, SIGINT and SIGHUP unmount the file system and
// close every drive's state journal before the daemon exits. SIGUSR1
// switches the drives off and on: before the next request is served, each
// drive is closed and started again from its state file, as the Virtual
// platform starts its drives at each start of the tool, so that a run of
// the tool over loop devices meets the drives in the same state.
#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "simd/drive_files.h"

namespace {

using dozered::simd::DriveFiles;

struct Daemon {
  DriveFiles files;
  time_t started = 0;
};

Daemon& Self() { return *static_cast<Daemon*>(fuse_get_context()->private_data); }

// Power cycles asked for by SIGUSR1 and not yet done.
std::atomic<int> g_powerCyclesPending{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnPowerCycleSignal(int) { g_powerCyclesPending.fetch_add(1); }

// Done between two requests: none is in flight while the drives restart.
void PowerCycleIfAsked() {
  const int asked = g_powerCyclesPending.exchange(0);
  if (asked == 0) return;
  DriveFiles& files = Self().files;
  for (int i = 0; i < asked; ++i) {
    std::vector<std::string> notes;
    files.PowerCycle(notes);
    for (const std::string& note : notes) std::fprintf(stderr, "dozered-simd: %s\n", note.c_str());
  }
  std::printf("dozered-simd: drives switched off and on (%d)\n", asked);
}

// Index of the drive file at `path` ("/drive0"); -1 when it names none.
int DriveAt(const char* path) {
  if (path == nullptr || path[0] != '/') return -1;
  return Self().files.Find(path + 1);
}

// An open drive file carries its index + 1; other handles carry 0.
int IndexOf(const char* path, const fuse_file_info* fi) {
  if (fi != nullptr && fi->fh != 0) return static_cast<int>(fi->fh - 1);
  return DriveAt(path);
}

void* Init(fuse_conn_info*, fuse_config* config) {
  // Nothing is cached: every read and write reaches the drive.
  config->direct_io = 1;
  config->kernel_cache = 0;
  config->auto_cache = 0;
  // The files never change shape while the daemon runs.
  config->entry_timeout = 3600;
  config->attr_timeout = 3600;
  config->negative_timeout = 3600;
  return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
  std::memset(st, 0, sizeof *st);
  Daemon& self = Self();
  st->st_uid = getuid();
  st->st_gid = getgid();
  st->st_atime = st->st_mtime = st->st_ctime = self.started;
  const int index = IndexOf(path, fi);
  if (index < 0 && path != nullptr && std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
  }
  if (index < 0) return -ENOENT;
  st->st_mode = S_IFREG | 0600;
  st->st_nlink = 1;
  st->st_size = static_cast<off_t>(self.files.SizeBytes(static_cast<size_t>(index)));
  st->st_blksize = dozered::simd::kSectorBytes;
  st->st_blocks = st->st_size / 512;
  return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
  if (path == nullptr || std::strcmp(path, "/") != 0) return -ENOTDIR;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  const DriveFiles& files = Self().files;
  for (size_t i = 0; i < files.Count(); ++i) {
    fill(buffer, files.Drive(i).name.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  }
  return 0;
}

int Open(const char* path, fuse_file_info* fi) {
  const int index = DriveAt(path);
  if (index < 0) return -ENOENT;
  fi->fh = static_cast<uint64_t>(index) + 1;
  fi->direct_io = 1;
  fi->keep_cache = 0;
  return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  PowerCycleIfAsked();
  const int index = IndexOf(path, fi);
  if (index < 0 || offset < 0) return index < 0 ? -ENOENT : -EINVAL;
  return static_cast<int>(Self().files.Read(static_cast<size_t>(index), static_cast<uint64_t>(offset), size,
                                            reinterpret_cast<uint8_t*>(buffer)));
}

int Write(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* fi) {
  PowerCycleIfAsked();
  const int index = IndexOf(path, fi);
  if (index < 0 || offset < 0) return index < 0 ? -ENOENT : -EINVAL;
  return static_cast<int>(Self().files.Write(static_cast<size_t>(index), static_cast<uint64_t>(offset), size,
                                             reinterpret_cast<const uint8_t*>(buffer)));
}

// A host cache flush (fsync of the file; a flush request through the loop
// device) is the drive's FLUSH CACHE. Closing the file is not.
int Fsync(const char* path, int, fuse_file_info* fi) {
  PowerCycleIfAsked();
  const int index = IndexOf(path, fi);
  if (index < 0) return -ENOENT;
  return Self().files.Flush(static_cast<size_t>(index));
}

// A disk has the size it has.
int Truncate(const char* path, off_t size, fuse_file_info* fi) {
  const int index = IndexOf(path, fi);
  if (index < 0) return -ENOENT;
  return static_cast<uint64_t>(size) == Self().files.SizeBytes(static_cast<size_t>(index)) ? 0 : -EPERM;
}

fuse_operations Operations() {
  fuse_operations ops {};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.open = Open;
  ops.read = Read;
  ops.write = Write;
  ops.fsync = Fsync;
  ops.truncate = Truncate;
  return ops;
}

void Usage() {
  std::fprintf(stderr,
               "usage: dozered-simd [-d] [-o fuse-options] VirtualDrives.ini MOUNTPOINT\n"
               "Serves each drive of VirtualDrives.ini as MOUNTPOINT/driveN (N from 0, in the file's order).\n"
               "Attach one as a block device with: losetup --direct-io=on --find --show MOUNTPOINT/drive0\n"
               "Stops on SIGTERM or SIGINT: unmounts and closes the drives' state files.\n"
               "SIGUSR1 switches the drives off and on before the next request (each restarts from its state file).\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<std::string> fuseOptions;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    }
    if (arg == "-d") {
      fuseOptions.push_back(arg);
    } else if (arg == "-o" && i + 1 < argc) {
      fuseOptions.push_back(arg);
      fuseOptions.push_back(argv[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      Usage();
      return 1;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    Usage();
    return 1;
  }
  const std::string& iniPath = positional[0];
  const std::string& mountPoint = positional[1];

  Daemon daemon;
  daemon.started = std::time(nullptr);
  std::string problem;
  std::vector<std::string> notes;
  const bool loaded = daemon.files.Load(iniPath, problem, notes);
  for (const std::string& note : notes) std::fprintf(stderr, "dozered-simd: %s\n", note.c_str());
  if (!loaded) {
    std::fprintf(stderr, "dozered-simd: %s\n", problem.c_str());
    return 1;
  }

  fuse_args args = FUSE_ARGS_INIT(0, nullptr);
  fuse_opt_add_arg(&args, argv[0]);
  fuse_opt_add_arg(&args, "-o");
  fuse_opt_add_arg(&args, "fsname=dozered-simd,subtype=dozered-simd");
  for (const std::string& option : fuseOptions) fuse_opt_add_arg(&args, option.c_str());
  const fuse_operations ops = Operations();
  fuse* fs = fuse_new(&args, &ops, sizeof ops, &daemon);
  fuse_opt_free_args(&args);
  if (fs == nullptr) {
    std::fprintf(stderr, "dozered-simd: the FUSE options were not accepted\n");
    return 1;
  }
  if (fuse_mount(fs, mountPoint.c_str()) != 0) {
    std::fprintf(stderr, "dozered-simd: %s cannot be mounted (is /dev/fuse there, and are you root or is fusermount3 installed?)\n",
                 mountPoint.c_str());
    fuse_destroy(fs);
    return 2;
  }
  fuse_session* session = fuse_get_session(fs);
  if (fuse_set_signal_handlers(session) != 0) {
    fuse_unmount(fs);
    fuse_destroy(fs);
    return 2;
  }
  struct sigaction powerCycle {};
  powerCycle.sa_handler = OnPowerCycleSignal;
  sigemptyset(&powerCycle.sa_mask);
  powerCycle.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &powerCycle, nullptr);
  for (size_t i = 0; i < daemon.files.Count(); ++i) {
    const auto& drive = daemon.files.Drive(i);
    std::printf("%s/%s  %llu sectors  %s\n", mountPoint.c_str(), drive.name.c_str(),
                static_cast<unsigned long long>(daemon.files.SizeBytes(i) / dozered::simd::kSectorBytes),
                drive.label.c_str());
  }
  std::printf("dozered-simd: serving %zu drives at %s\n", daemon.files.Count(), mountPoint.c_str());

  // One request at a time, in the order they come.
  const int loop = fuse_loop(fs);

  fuse_remove_signal_handlers(session);
  fuse_unmount(fs);
  fuse_destroy(fs);
  daemon.files.Close();
  std::printf("dozered-simd: stopped; state files closed\n");
  return loop < 0 ? 3 : 0;
}
