#ifdef _WIN32

#include "device/windows_storage_platform.h"

// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <setupapi.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <vector>

#include "device/nvme_miniport_request.h"
#include "device/pass_through_checks.h"
#include "device/windows_device_names.h"

namespace dozered {

namespace {

static_assert(FSCTL_LOCK_VOLUME == 0x90018);
static_assert(FSCTL_DISMOUNT_VOLUME == 0x90020);
static_assert(FSCTL_UNLOCK_VOLUME == 0x9001C);
static_assert(FSCTL_IS_VOLUME_MOUNTED == 0x90028);
static_assert(IOCTL_SCSI_GET_ADDRESS == 0x41018);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == 0x560000);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);
static_assert(IOCTL_ATA_PASS_THROUGH_DIRECT == 0x4D030);
static_assert(IOCTL_SCSI_MINIPORT == 0x4D008);

// The disk device-interface class.
const GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// The NVMe miniport pass-through request, which the MinGW headers lack.
// The block StorageDevice builds has exactly this layout.
#pragma pack(push, 1)
struct NvmePassThroughIoctl {
  SRB_IO_CONTROL SrbIoCtrl;
  ULONG VendorSpecific[6];
  ULONG NVMeCmd[16];
  ULONG CplEntry[4];
  ULONG Direction;
  ULONG QueueId;
  ULONG DataBufferLen;
  ULONG MetaDataLen;
  ULONG ReturnBufferLen;
  UCHAR DataBuffer[1];
};
#pragma pack(pop)
static_assert(sizeof(SRB_IO_CONTROL) == kNvmeMiniportHeaderLength);
static_assert(offsetof(NvmePassThroughIoctl, NVMeCmd) == kNvmeMiniportSubmissionOffset);
static_assert(offsetof(NvmePassThroughIoctl, CplEntry) == kNvmeMiniportCompletionOffset);
static_assert(offsetof(NvmePassThroughIoctl, Direction) == kNvmeMiniportDirectionOffset);
static_assert(offsetof(NvmePassThroughIoctl, ReturnBufferLen) == kNvmeMiniportReturnLengthOffset);
static_assert(offsetof(NvmePassThroughIoctl, DataBuffer) == kNvmeMiniportDataOffset);
static_assert(sizeof(NvmePassThroughIoctl) == kNvmeMiniportFixedLength);

// SCSI_PASS_THROUGH_DIRECT followed by its sense buffer. On 32-bit Windows
// this is 80 bytes with the sense at offset 48; the sizes are taken from the
// structure so that 64-bit builds send their own layout.
struct ScsiPassThroughDirectWithSense {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG filler;
  UCHAR sense[32];
};
#ifndef _WIN64
static_assert(sizeof(ScsiPassThroughDirectWithSense) == 80);
static_assert(offsetof(ScsiPassThroughDirectWithSense, sense) == 48);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44 && sizeof(ATA_PASS_THROUGH_DIRECT) == 40);
#endif

// Adapters ask for data buffers aligned to their AlignmentMask + 1, at most
// a page; a page-aligned buffer suits every one of them.
constexpr size_t kScsiDataAlignment = 4096;

HANDLE AsHandle(PlatformHandle handle) { return reinterpret_cast<HANDLE>(handle); }

bool Control(PlatformHandle handle, DWORD code, void* in = nullptr, DWORD inLength = 0, void* out = nullptr,
             DWORD outLength = 0) {
  DWORD returned = 0;
  return DeviceIoControl(AsHandle(handle), code, in, inLength, out, outLength, &returned, nullptr) != FALSE;
}

// The disk number behind one disk interface, -1 when it cannot be read.
int32_t InterfaceDiskNumber(HDEVINFO devices, DWORD index) {
  SP_DEVICE_INTERFACE_DATA interfaceData {};
  interfaceData.cbSize = sizeof(interfaceData);
  if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &kDiskInterfaceClass, index, &interfaceData)) return -1;
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return -1;
  std::vector<unsigned char> storage(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
  // The size of the fixed part: 5 on 32-bit Windows, 8 on 64-bit.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  if (!SetupDiGetDeviceInterfaceDetailA(devices, &interfaceData, detail, required, nullptr, nullptr)) return -1;
  HANDLE disk = CreateFileA(detail->DevicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (disk == INVALID_HANDLE_VALUE) return -1;
  STORAGE_DEVICE_NUMBER number {};
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(disk, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof(number),
                                  &returned, nullptr);
  CloseHandle(disk);
  return ok ? static_cast<int32_t>(number.DeviceNumber) : -1;
}

}  // namespace

void WindowsStoragePlatform::DiskNames(int32_t diskNumber, std::string& path, std::string& name) {
  WindowsDiskNames(diskNumber, path, name);
}

void WindowsStoragePlatform::VolumeNames(char letter, std::string& path, std::string& name) {
  WindowsVolumeNames(letter, path, name);
}

std::string WindowsStoragePlatform::ScsiPortPath(int32_t port, const std::string&) {
  return WindowsScsiPortPath(port);
}

PlatformHandle WindowsStoragePlatform::OpenPath(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidPlatformHandle;
  return reinterpret_cast<PlatformHandle>(handle);
}

void WindowsStoragePlatform::ClosePath(PlatformHandle handle) {
  if (handle != kInvalidPlatformHandle) CloseHandle(AsHandle(handle));
}

bool WindowsStoragePlatform::LockVolume(PlatformHandle handle) { return Control(handle, FSCTL_LOCK_VOLUME); }

bool WindowsStoragePlatform::DismountVolume(PlatformHandle handle) { return Control(handle, FSCTL_DISMOUNT_VOLUME); }

bool WindowsStoragePlatform::UnlockVolume(PlatformHandle handle) { return Control(handle, FSCTL_UNLOCK_VOLUME); }

bool WindowsStoragePlatform::IsVolumeMounted(PlatformHandle handle) {
  return Control(handle, FSCTL_IS_VOLUME_MOUNTED);
}

bool WindowsStoragePlatform::GetScsiAddress(PlatformHandle handle, ScsiAddress& address) {
  SCSI_ADDRESS scsi {};
  if (!Control(handle, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &scsi, sizeof(scsi))) return false;
  address.port = scsi.PortNumber;
  address.target = scsi.TargetId;
  address.lun = scsi.Lun;
  return true;
}

bool WindowsStoragePlatform::GetVolumeDiskNumber(PlatformHandle handle, int32_t& diskNumber) {
  VOLUME_DISK_EXTENTS extents {};
  static_assert(sizeof(VOLUME_DISK_EXTENTS) == 32);
  if (!Control(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents, sizeof(extents))) return false;
  diskNumber = static_cast<int32_t>(extents.Extents[0].DiskNumber);
  return true;
}

ScsiPassThroughOutcome WindowsStoragePlatform::ScsiPassThrough(PlatformHandle handle,
                                                               const ScsiPassThroughRequest& request) {
  // The data goes through an aligned copy of the caller's buffer, and a
  // transfer the device cut short counts as failed.
  return RunScsiPassThrough(request, kScsiDataAlignment, [handle](const ScsiPassThroughRequest& aligned,
                                                                 uint32_t& transferred) {
    ScsiPassThroughDirectWithSense block {};
    SCSI_PASS_THROUGH_DIRECT& sptd = block.sptd;
    sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    sptd.PathId = aligned.pathId;
    sptd.TargetId = aligned.targetId;
    sptd.Lun = aligned.lun;
    sptd.CdbLength = aligned.cdbLength;
    sptd.SenseInfoLength = static_cast<UCHAR>(
        aligned.senseInfoLength > sizeof(block.sense) ? sizeof(block.sense) : aligned.senseInfoLength);
    sptd.DataIn = aligned.dataIn == kScsiIoctlDataIn ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
    sptd.DataTransferLength = aligned.dataTransferLength;
    sptd.TimeOutValue = aligned.timeOutValue;
    sptd.DataBuffer = aligned.dataBuffer;
    sptd.SenseInfoOffset = offsetof(ScsiPassThroughDirectWithSense, sense);
    std::memcpy(sptd.Cdb, aligned.cdb, sizeof(sptd.Cdb));

    ScsiPassThroughOutcome outcome;
    if (!Control(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof(block), &block, sizeof(block))) {
      outcome.osError = GetLastError();
      if (outcome.osError == kOsErrorNone) outcome.osError = kOsErrorGenFailure;
      return outcome;
    }
    // On return DataTransferLength holds the bytes actually transferred.
    transferred = sptd.DataTransferLength;
    outcome.scsiStatus = sptd.ScsiStatus;
    std::memcpy(outcome.sense, block.sense, sizeof(outcome.sense));
    return outcome;
  });
}

bool WindowsStoragePlatform::AtaPassThrough(PlatformHandle handle, AtaPassThroughRequest& request) {
  // Done only when the returned status register shows no error: a READ DMA
  // or WRITE DMA the drive aborted still returns TRUE from the call.
  return RunAtaPassThrough(request, [handle](AtaPassThroughRequest& r) {
    ATA_PASS_THROUGH_DIRECT apt {};
    apt.Length = sizeof(ATA_PASS_THROUGH_DIRECT);
    apt.AtaFlags = r.ataFlags;
    apt.PathId = r.pathId;
    apt.TargetId = r.targetId;
    apt.Lun = r.lun;
    apt.DataTransferLength = r.dataTransferLength;
    apt.TimeOutValue = r.timeOutValue;
    apt.DataBuffer = r.dataBuffer;
    static_assert(sizeof(AtaTaskFile) == 8);
    std::memcpy(apt.PreviousTaskFile, &r.previousTaskFile, 8);
    std::memcpy(apt.CurrentTaskFile, &r.currentTaskFile, 8);
    if (!Control(handle, IOCTL_ATA_PASS_THROUGH_DIRECT, &apt, sizeof(apt), &apt, sizeof(apt))) return false;
    std::memcpy(&r.previousTaskFile, apt.PreviousTaskFile, 8);
    std::memcpy(&r.currentTaskFile, apt.CurrentTaskFile, 8);
    return true;
  });
}

bool WindowsStoragePlatform::NvmeMiniport(PlatformHandle handle, uint8_t* block, uint32_t inputLength,
                                          uint32_t outputLength) {
  return Control(handle, IOCTL_SCSI_MINIPORT, block, inputLength, block, outputLength);
}

bool WindowsStoragePlatform::ListDiskNumbers(std::vector<int32_t>& diskNumbers) {
  diskNumbers.clear();
  HDEVINFO devices =
      SetupDiGetClassDevsA(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (devices == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA info {};
  info.cbSize = sizeof(info);
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &info); ++i) {
    diskNumbers.push_back(InterfaceDiskNumber(devices, i));
  }
  SetupDiDestroyDeviceInfoList(devices);
  return true;
}

uint32_t WindowsStoragePlatform::LogicalDrives() { return GetLogicalDrives(); }

bool WindowsStoragePlatform::RequestDriverPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return false;
  TOKEN_PRIVILEGES privileges {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool ok = LookupPrivilegeValueA(nullptr, "SeLoadDriverPrivilege", &privileges.Privileges[0].Luid) != FALSE;
  if (ok) ok = AdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr) != FALSE;
  CloseHandle(token);
  return ok;
}

uint32_t WindowsStoragePlatform::OsMajorVersion() {
  OSVERSIONINFOA info {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return 0;
  return info.dwMajorVersion;
}

void WindowsStoragePlatform::PauseAfterScsiRequest(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace dozered

#endif  // _WIN32
