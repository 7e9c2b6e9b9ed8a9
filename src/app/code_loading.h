// Loading controller code into the selected drive: the MPISP code that brings
// a controller in ROM code mode back to life, and the diagnostic programs
// sent before flash-level diagnostic reads on a drive under its normal
// firmware. Failures are announced with message boxes through Feedback.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "app/app_state.h"

namespace dozered {

class Feedback;

inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kMessageCaption[] = "Message";
inline constexpr char kMpispOpenFailText[] = "It can't open MPISP.bin file";
inline constexpr char kMpispNoImageText[] = "MPISP.bin file has no code image!";
inline constexpr char kMpispDownloadFailText[] = "Load MPISP Fail!";
inline constexpr char kMpispJumpFailText[] = "Jump MPISP Fail!";
inline constexpr char kMpispFinishText[] = "Load MPISP finish!";

// The MPISP file dialog: filter "bin|*.bin|*.*|*.*", default extension ".bin".
inline constexpr char kMpispFileFilter[] = "bin|*.bin|*.*|*.*";
inline constexpr char kMpispDefaultExtension[] = ".bin";

// Asks the user for the MPISP file; returns its path, or "" when cancelled.
using MpispFileDialog = std::function<std::filesystem::path()>;

// How a load of the MPISP code ended.
enum class MpispLoadEnd {
  kLoaded,            // the drive runs the MPISP code now
  kAlreadyRunning,    // it already did: nothing was asked or sent
  kNoDrive,           // no drive is selected, or its controller is not detected
  kFileUnreadable,    // "It can't open MPISP.bin file"
  kNoImage,           // "MPISP.bin file has no code image!"
  kNotInRomCodeMode,  // the controller did not come to ROM code mode (nothing was downloaded)
  kDownloadFailed,    // "Load MPISP Fail!"
  kJumpFailed,        // "Jump MPISP Fail!": the code did not start, or the drive does not say it runs it
};

struct MpispLoadOutcome {
  MpispLoadEnd End = MpispLoadEnd::kNoDrive;
  // The result code of the command that failed (0 when none did).
  int32_t Result = 0;
  // True when the drive runs the MPISP code.
  explicit operator bool() const { return End == MpispLoadEnd::kLoaded || End == MpispLoadEnd::kAlreadyRunning; }
};

// Loads an MPISP image into the selected drive's controller: refreshes the
// drive's tables (done at once when the MPISP code already runs), asks for the
// file, switches the controller to ROM code mode if needed, downloads the
// image in 64 KiB pieces, starts it and refreshes the tables again. Succeeds
// only when the drive then reports MPISP code mode ("Jump MPISP Fail!"
// otherwise).
MpispLoadOutcome LoadMpisp(AppState& state, Feedback& feedback, const MpispFileDialog& chooseFile);

// Diagnostic program files.
inline constexpr char kDgIspReadBadInfo[] = "DgISP_ReadBadInfo.bin";
inline constexpr char kDgIspReadFlashDiagnosis[] = "DgISP_ReadFlashDiagnosis.bin";
inline constexpr char kDgIspReadDistribution[] = "DgISP_ReadDistribution.bin";
inline constexpr char kDgIspTranLba2Pba[] = "DgISP_TranLba2Pba.bin";
inline constexpr char kDgIspReadChunkEcc[] = "DgISP_ReadChunkEcc.bin";
// What callers send of a diagnostic program: 6 sectors.
inline constexpr uint32_t kDiagnosticCodeSectors = 6;
inline constexpr size_t kDiagnosticCodeBufferSize = kDiagnosticCodeSectors * 512;
inline constexpr char kDiagnosticOpenFailFormat[] = "It can't open %s";          // the path
inline constexpr char kDiagnosticVersionFailFormat[] = "%s no match ISP version";  // the file name
inline constexpr char kDiagnosticTooLargeFormat[] = "%s is too large";           // the file name

// Reads the diagnostic program `name` for the selected drive from its ISP
// folder beside the executable into `payload` and checks that it was built
// for the drive's ISP version. Sets CurrentController to the selected drive's
// controller. On success `loadAddress` is where the caller sends the program
// with LoadDiagnosticCode; the part of `payload` beyond the program is zeroed.
// A program larger than `payload` is refused.
bool LoadDiagnosticCodeFile(AppState& state, Feedback& feedback, const std::string& name,
                            std::span<uint8_t> payload, uint32_t& loadAddress);

// Where LoadDiagnosticCodeFile looks for `name` for device index `device`:
// in the drive's folder (DriveFolderFor). Empty when the drive names no
// usable folder.
std::filesystem::path DiagnosticCodePathFor(const AppState& state, int device, const std::string& name);

}  // namespace dozered
