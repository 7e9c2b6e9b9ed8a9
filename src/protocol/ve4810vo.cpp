#include "protocol/ve4810vo.h"

namespace dozered {
namespace {

void SetId(uint8_t (&id)[kSignatureSize], const char* text) {
  for (int i = 0; i < kSignatureSize; ++i) id[i] = static_cast<uint8_t>(text[i]);
}

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
  return Detected;
}

}  // namespace dozered
