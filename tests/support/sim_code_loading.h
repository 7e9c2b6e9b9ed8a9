// Test helpers that load code into a simulated drive the way the tool does.
#pragma once

#include <cstdint>
#include <vector>

#include "device/virtual_drive.h"
#include "sim/code_images.h"

namespace dozered::testing {

// Sends a diagnostic file's first 3,072 payload bytes with LoadDiagnosticCode.
int LoadDiagnostic(VirtualDrive& drive, const std::vector<uint8_t>& file);
// Downloads an MPISP file in 64 KiB pieces and jumps to it; returns the first failing result.
int LoadMpisp(VirtualDrive& drive, const std::vector<uint8_t>& file);
// The drive's card mode as ReadFlashId reports it, or -1.
int CardModeOf(VirtualDrive& drive);

}  // namespace dozered::testing
