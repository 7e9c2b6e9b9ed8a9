// Runs the built dozered-cli in a working folder and captures what it prints
// and how it ends.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dozered::testing {

struct CliRun {
  int exitCode = -1;  // -1: the program did not end normally
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `program` with `args` in `folder`; standard output and error go to
// files there (so that neither pipe can fill up and stall the program).
inline CliRun RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder) {
  const std::filesystem::path outPath = folder / "cli.stdout";
  const std::filesystem::path errPath = folder / "cli.stderr";
  CliRun run;
  // Everything the child needs is made before the fork.
  std::string name = program.string();
  std::vector<std::string> copies = args;
  std::vector<char*> argv;
  argv.push_back(name.data());
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || chdir(folder.c_str()) != 0) _exit(127);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(name.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}

}  // namespace dozered::testing
