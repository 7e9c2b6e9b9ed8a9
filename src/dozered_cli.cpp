// The dozered-cli executable: the tool's operations without a window.
#include <iostream>

#include "app/paths.h"
#include "cli/interrupt.h"
#include "cli/run.h"

int main(int argc, char** argv) {
  dozered::cli::InstallInterruptHandler();
  return dozered::cli::RunCli(argc, argv, std::cout, std::cerr,
                              dozered::RunningExecutableDir(argc > 0 ? argv[0] : nullptr));
}
