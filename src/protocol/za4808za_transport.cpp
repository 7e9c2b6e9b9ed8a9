// The vendor-command transport: unlock, command write, data phase and the
// restore of a sector the drive stored as data.
#include "protocol/result_codes.h"
#include "protocol/za4808za.h"

namespace dozered {

ZA4808ZA::ZA4808ZA() {
  SignatureOffset = 46;
  SignatureLength = kSignatureSize;
  const char id[] = "ZA4808ZA";
  for (int i = 0; i < kSignatureSize; ++i) Identification1[i] = static_cast<uint8_t>(id[i]);
  CommandAddress = kCommandAddress;
}

bool ZA4808ZA::Open(bool) { return false; }

void ZA4808ZA::Close() {}

int32_t ZA4808ZA::ReadSectors(uint32_t, uint32_t, uint8_t*) { return kResultSectorIoFailed; }

int32_t ZA4808ZA::WriteSectors(uint32_t, uint32_t, const uint8_t*) { return kResultSectorIoFailed; }

int32_t ZA4808ZA::UnlockSequence(uint8_t*) { return kResultUnlockReadAAFailed; }

int32_t ZA4808ZA::ExchangeIn(const CommandBlock&, std::span<uint8_t>, uint32_t, bool) {
  return kResultOpenFailed;
}

int32_t ZA4808ZA::ExchangeOut(const CommandBlock&, std::span<const uint8_t>, uint32_t, bool) {
  return kResultOpenFailed;
}

int32_t ZA4808ZA::ExchangeDiscover(const CommandBlock&, std::span<uint8_t>, uint32_t, bool) {
  return kResultOpenFailed;
}

}  // namespace dozered
