#include "protocol/tarn_ssd_hba.h"

namespace dozered {

TarnSsdHba::TarnSsdHba() {
  for (auto& b : Identification1) b = 0;
  for (auto& b : Identification2) b = 0;
  for (auto& c : LastSignature) c = 0;
  Detected = false;
}

std::string TarnSsdHba::LastSignatureText() const {
  std::string text;
  for (int i = 0; i < kSignatureSize && LastSignature[i] != 0; ++i) text.push_back(LastSignature[i]);
  return text;
}

}  // namespace dozered
