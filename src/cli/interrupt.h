// Ctrl-C for dozered-cli: "Cancel" from the keyboard. The first Ctrl-C (or
// SIGTERM) does not end the process; it asks the run in progress to stop at
// its next step, as the window's "Cancel" does, so that no exchange with a
// drive is cut in the middle and the drive is closed before the tool ends.
#pragma once

namespace dozered::cli {

// Takes over Ctrl-C and Ctrl-Break on Windows (SetConsoleCtrlHandler), and
// SIGINT and SIGTERM elsewhere.
void InstallInterruptHandler();

// True once Ctrl-C was pressed (or the request made in code).
bool InterruptRequested();

// Asks for a stop as Ctrl-C does, and takes the request back (tests).
void RequestInterrupt();
void ClearInterrupt();

}  // namespace dozered::cli
