// The VE4810VO controller: the model the tool targets, and the probe that
// decides whether a drive carries it.
#pragma once

#include "protocol/za4808za.h"

namespace dozered {

class VE4810VO : public ZA4808ZA {
 public:
  VE4810VO();

  // INQUIRY, READ CAPACITY and ReadFlashId (first through ExchangeDiscover,
  // then ExchangeIn); detected when the second ReadFlashId succeeds on a
  // direct-access device with a non-zero capacity and block size.
  bool AttachDevice(StorageDevice& device) override;

  // On: a drive signing "VE4810VI" is accepted as well; off: only "VE4810VO".
  void SetVariantSignature(bool on);
};

}  // namespace dozered
