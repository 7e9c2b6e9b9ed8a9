// Base of the controller classes: the drive binding, its identification and
// the detected flag. The fields keep a fixed order; the one virtual
// operation is AttachDevice.
#pragma once

#include <cstdint>
#include <string>

namespace dozered {

class StorageDevice;

inline constexpr int kSignatureSize = 8;

class TarnSsdHba {
 public:
  TarnSsdHba();
  virtual ~TarnSsdHba() = default;

  // Binds the drive, probes it and sets the detected flag.
  virtual bool AttachDevice(StorageDevice& device) = 0;

  bool IsDetected() const { return Detected; }

  // The signature of the last unlock as text (up to 8 characters, ending
  // at the first zero byte).
  std::string LastSignatureText() const;

  StorageDevice* Device = nullptr;     // the bound drive; set by AttachDevice
  char Vendor[9] = {};                 // INQUIRY vendor identification
  char Product[17] = {};               // INQUIRY product identification
  char Revision[5] = {};               // INQUIRY product revision
  std::string DeviceName;              // copy of the record's name
  uint8_t Identification1[kSignatureSize] = {};  // first accepted signature
  uint8_t Identification2[kSignatureSize] = {};  // second accepted signature
  char LastSignature[kSignatureSize + 1] = {};   // signature of the last unlock
  int32_t SignatureOffset = 0;         // position of the signature in the unlock response
  int32_t SignatureLength = 0;
  int32_t Port = 0;                    // the drive's address, zero when not detected
  int32_t Target = 0;
  int32_t Lun = 0;
  int32_t DeviceType = -1;             // INQUIRY peripheral device type, -1 when it failed
  uint32_t CommandAddress = 0;         // LBA the command block is written to
  uint32_t Capacity = 0;               // READ CAPACITY: last LBA + 1
  uint32_t BlockSize = 0;              // READ CAPACITY: block length in bytes
  bool Detected = false;               // the last AttachDevice accepted the drive
};

}  // namespace dozered
