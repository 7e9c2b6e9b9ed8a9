// dozered-cli as a script runs it: one process per command on the demo's
// drives, from its start to its exit, the JSON document written to a file.
// Wall time (the work is in the child process). "fresh" drives write their
// state files first; "kept" drives read the journals an earlier run wrote.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() {
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("dozered-bench-cli-" + std::to_string(rd()));
    fs::create_directories(path_);
    const fs::path demo = DOZERED_DEMO_DIR;
    for (const char* name : {"String.ini", "TabSheet.ini", "VirtualDrives.ini"}) {
      fs::copy_file(demo / name, path_ / name);
    }
  }
  ~Folder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const fs::path& Path() const { return path_; }
  void ForgetDriveStates() const {
    for (const auto& entry : fs::directory_iterator(path_)) {
      if (entry.path().extension() == ".state") fs::remove(entry.path());
    }
  }

 private:
  fs::path path_;
};

// Runs dozered-cli with `args` in `folder`; its exit code.
int RunCli(const Folder& folder, const std::vector<std::string>& args) {
  std::string program = DOZERED_CLI_PROGRAM;
  std::vector<std::string> copies = args;
  std::vector<char*> argv{program.data()};
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = (folder.Path() / "out.json").string();
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || chdir(folder.Path().c_str()) != 0) _exit(127);
    dup2(fd, STDOUT_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunCommand(benchmark::State& state, const std::vector<std::string>& args, bool fresh) {
  const Folder folder;
  std::vector<std::string> all = {"--drives", "VirtualDrives.ini", "--json"};
  all.insert(all.end(), args.begin(), args.end());
  if (RunCli(folder, all) != 0) {
    state.SkipWithError("dozered-cli failed");
    return;
  }
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      folder.ForgetDriveStates();
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(RunCli(folder, all));
  }
  state.counters["json_bytes"] = static_cast<double>(fs::file_size(folder.Path() / "out.json"));
}

void BM_CliJsonScan(benchmark::State& state) { RunCommand(state, {"scan"}, state.range(0) != 0); }
BENCHMARK(BM_CliJsonScan)->ArgName("fresh")->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The largest document: the erase-count page's dump and 8,192 rows.
void BM_CliJsonReadEraseCount(benchmark::State& state) { RunCommand(state, {"read", "erase-count"}, false); }
BENCHMARK(BM_CliJsonReadEraseCount)->UseRealTime()->Unit(benchmark::kMillisecond);

// The process alone: start, print the version, exit.
void BM_CliStartAndExit(benchmark::State& state) {
  const Folder folder;
  for (auto _ : state) benchmark::DoNotOptimize(RunCli(folder, {"--version"}));
}
BENCHMARK(BM_CliStartAndExit)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
