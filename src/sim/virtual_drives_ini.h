// VirtualDrives.ini: the drives of the Virtual platform. Every section is one
// drive, in file order; keys (case-insensitive, numbers decimal or 0x hex):
//
//   Label=             free text for traces and logs
//   Kind=              controller | plain | optical
//   Transport=         scsi | sata | nvme
//   Seed=              the seed every generated value is drawn from
//   CardMode=          0 ROM code, 1 MPISP code, 2 normal firmware
//   Signature=         unlock signature, VE4810VO or VE4810VI
//   CommandAddress=    0x55AA, or 0x0789 for a controller that takes commands only there
//   Intercept=         0: the command block is stored as ordinary data
//   Vendor= Product= Revision= Model= Serial= Firmware=
//   IspFolder= IspTag= the ISP version (folder name, 4-character tag)
//   Channels= Ces= InterleaveWays= Planes= BlocksPerCe= PagesPerBlock= PageSizeKiB=
//   FlashMaker= Temperature= AverageEraseCount= RatedCycles= PowerOnHours= CapacitySectors=
//   DataAgeHours=      hours since the data the drive arrived with was written (its retention age)
//   FailAccess=        the n-th sector access fails
//   FailLba=           every access touching this LBA fails
//   FailWrites=1       every write fails
//   FailAfter=         every request after this many sector accesses fails (a pulled cable)
//   StateFile=         file, relative to the ini, that keeps written data, erases and mode
//   TraceFile=         file, relative to the ini, receiving one line per sector access
//   Port= Target= Lun= Volumes= (letters) NoScsiAddress= VolumeLockFails= DismountFails=
//   PassThroughError= OpenFails=
#pragma once

#include <string>
#include <vector>

#include "device/virtual_drive.h"
#include "sim/drive_config.h"

namespace dozered {

namespace sim {

struct DriveDeclaration {
  DriveConfig config;
  VirtualDiskOptions options;
};

// Parses the text of a VirtualDrives.ini; relative file names are taken
// relative to `baseDirectory`.
std::vector<DriveDeclaration> ParseVirtualDrivesIni(const std::string& text, const std::string& baseDirectory);

}  // namespace sim

// The disks VirtualDrives.ini declares, each served by a simulated drive.
// A missing file declares no disks.
std::vector<VirtualDisk> LoadVirtualDrives(const std::string& iniPath);

}  // namespace dozered
