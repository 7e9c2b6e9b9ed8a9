#include "support/protocol_rig.h"

#include <cstring>

namespace dozered::testing {

std::shared_ptr<PlainDiskDrive> MakeSignedPlainDisk(const std::string& signature,
                                                    PlainDiskOptions options) {
  auto disk = std::make_shared<PlainDiskDrive>(std::move(options));
  uint8_t sector[512] = {};
  for (int i = 0; i < 512; ++i) sector[i] = static_cast<uint8_t>(0x5A ^ i);
  std::memcpy(sector + kSignatureAt, signature.data(), std::min<size_t>(signature.size(), 8));
  disk->WriteSector(kSignatureSector, sector);
  return disk;
}

std::vector<uint8_t> PatternSector(uint32_t lba) {
  std::vector<uint8_t> s(512);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>((lba * 131u) ^ (i * 7u) ^ (lba >> 8));
  return s;
}

ProtocolRig::ProtocolRig(std::shared_ptr<VirtualDrive> drive, VirtualDiskOptions options)
    : recorder_(std::make_shared<RecordingDrive>(drive)), record_(platform_) {
  platform_.AddDisk(VirtualDisk{"drive", recorder_, options});
  record_.OpenByNumber(0);
  record_.Close();
  controller_.Device = &record_;

  VirtualDiskOptions plain = options;
  plain.openFails = false;
  peekPlatform_ = std::make_unique<VirtualPlatform>();
  peekPlatform_->AddDisk(VirtualDisk{"peek", drive, plain});
  peekRecord_ = std::make_unique<StorageDevice>(*peekPlatform_);
  peekRecord_->OpenByNumber(0);
  ClearCounts();
}

int ProtocolRig::Opens() const {
  int n = 0;
  for (const auto& call : platform_.Calls()) n += call.operation == "open";
  return n;
}

int ProtocolRig::Closes() const {
  int n = 0;
  for (const auto& call : platform_.Calls()) n += call.operation == "close";
  return n;
}

void ProtocolRig::ClearCounts() {
  recorder_->ClearAccesses();
  recorder_->ClearFaults();
  platform_.ClearCalls();
}

std::vector<uint8_t> ProtocolRig::PeekSectors(uint32_t lba, uint32_t count) {
  std::vector<uint8_t> data(static_cast<size_t>(count) * 512);
  peekRecord_->ReadSectors(lba, count, data.data());
  return data;
}

void ProtocolRig::PokeSectors(uint32_t lba, const std::vector<uint8_t>& data) {
  peekRecord_->WriteSectors(lba, static_cast<uint32_t>(data.size() / 512), data.data());
}

}  // namespace dozered::testing
