#include "protocol/ve4810vo.h"

#include <cstring>

#include "device/storage_device.h"
#include "protocol/result_codes.h"

namespace dozered {
namespace {

void SetId(uint8_t (&id)[kSignatureSize], const char* text) {
  for (int i = 0; i < kSignatureSize; ++i) id[i] = static_cast<uint8_t>(text[i]);
}

template <std::size_t N>
void CopyText(char (&to)[N], const char (&from)[N]) {
  std::memcpy(to, from, N - 1);
  to[N - 1] = 0;
}

// Peripheral device type of a direct-access block device.
constexpr int32_t kDirectAccessDevice = 0;

}  // namespace

VE4810VO::VE4810VO() {
  SetId(Identification1, "VE4810VO");
  SetId(Identification2, "VE4810VO");
}

void VE4810VO::SetVariantSignature(bool on) {
  SetId(Identification2, on ? "VE4810VI" : "VE4810VO");
}

bool VE4810VO::AttachDevice(StorageDevice& device) {
  Detected = false;
  Device = &device;

  bool opened = false;
  bool reachable = device.IsOpen();
  if (!reachable) {
    reachable = device.Open(true);
    opened = reachable;
  }

  bool detected = false;
  if (reachable) {
    const InquiryResult inquiry = device.Inquiry(Target, Lun);
    DeviceType = inquiry.deviceType;
    CopyText(Vendor, inquiry.vendor);
    CopyText(Product, inquiry.product);
    CopyText(Revision, inquiry.revision);
    const CapacityResult capacity = device.ReadCapacity(Target, Lun);
    Capacity = capacity.capacity;
    BlockSize = capacity.blockLength;

    uint8_t scratch[kFlashIdSectors * kSectorBytes];
    DiscoverReadFlashId(kFlashIdSectors, scratch);
    const int32_t r = ReadFlashId(kFlashIdSectors, scratch);
    if (opened) device.Close();

    detected = r == kResultSuccess && DeviceType == kDirectAccessDevice && Capacity > 0 &&
               BlockSize > 0;
    if (detected) {
      Detected = true;
      const char* name = device.Name();
      DeviceName = name != nullptr ? name : "";
    }
  }

  if (detected) {
    const uint32_t address = device.DeviceAddress();
    Port = static_cast<int8_t>(address >> 16);
    Target = static_cast<int8_t>(address >> 8);
    Lun = static_cast<int8_t>(address);
  } else {
    Port = 0;
    Target = 0;
    Lun = 0;
    Capacity = 0;
    BlockSize = 0;
  }
  return Detected;
}

}  // namespace dozered
