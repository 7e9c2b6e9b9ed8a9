// dozered-cli from its command line to its exit code.
#pragma once

#include <filesystem>
#include <ostream>

namespace dozered::cli {

// Parses the command line, starts the session, runs the command and prints
// its text or its JSON document on `out`; messages and the one error line go
// to `err`. Returns the exit code (output.h).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::filesystem::path& executableDir);

}  // namespace dozered::cli
