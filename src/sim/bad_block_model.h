// The drive's bad blocks: the factory-marked ones (and those the pre-test
// found), drawn per drive from the seed at a rate of about 1 to 2 % of the
// F-blocks and spread over channels, CEs and planes, and the blocks retired
// while in use, each with the reason it failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/drive_config.h"
#include "sim/flash_layout.h"
#include "sim/wear_model.h"

namespace dozered::sim {

// Fail reasons of the mark-bad list.
inline constexpr uint8_t kFailErase = 0x80;
inline constexpr uint8_t kFailProgram = 0xFF;
inline constexpr uint8_t kFailEarlyRetire = 0x7F;
inline constexpr uint8_t kFailReadEcc = 0x02;

struct FactoryBadBlock {
  uint16_t fblock = 0;
  uint8_t channel = 0;
  uint8_t ce = 0;  // absolute CE
  uint8_t plane = 0;
  bool pretest = false;  // found by the pre-test rather than marked by the flash maker
};

struct RunTimeBadBlock {
  uint16_t fblock = 0;
  uint8_t reason = kFailErase;
  uint16_t failMask = 0;  // erase fails: bit 4 * channel + CE offset
  uint16_t page = 0;      // other fails
  uint8_t ceOffset = 0;
  uint8_t channel = 0;
  uint8_t plane = 0;
  uint16_t eraseCount = 0;
};

class BadBlockModel {
 public:
  BadBlockModel(const DriveConfig& config, const FlashLayout& layout, const WearModel& wear);

  // Sorted by channel, CE, plane, then block: the order of the original table.
  const std::vector<FactoryBadBlock>& factory() const { return factory_; }
  const std::vector<RunTimeBadBlock>& runTime() const { return runTime_; }
  double factoryRate() const { return rate_; }

  bool IsFBlockBad(int fblock) const;
  bool IsPhysicalBlockFactoryBad(const PhysicalBlock& b) const;
  bool IsPhysicalBlockRetired(const PhysicalBlock& b) const;

  // Wear-out: a block lasts Endurance() erase cycles, then fails an erase, or
  // (one block in four) a program of WearOutPage().
  uint32_t Endurance(const PhysicalBlock& b) const;
  bool WearsOutOnProgram(const PhysicalBlock& b) const;
  int WearOutPage(const PhysicalBlock& b) const;
  // Retires a block that failed in use: it joins the mark-bad list.
  void Retire(const PhysicalBlock& b, const RunTimeBadBlock& entry);
  int OriginalCount() const;  // marked by the flash maker
  int PretestCount() const;   // found by the pre-test

  // The blocks retired in this life, for the state journal.
  void Save(std::vector<uint8_t>& out) const;
  bool Load(const uint8_t* data, size_t length);

 private:
  const FlashLayout& layout_;
  std::vector<FactoryBadBlock> factory_;
  std::vector<RunTimeBadBlock> runTime_;
  std::vector<uint8_t> fblockBad_;
  std::vector<uint8_t> physicalBad_;
  std::vector<uint8_t> physicalRetired_;
  size_t historyCount_ = 0;           // entries the drive arrived with
  std::vector<int> retiredThisLife_;  // physical block of every later entry
  uint64_t seed_ = 0;
  double eta_ = 9600;
  double rate_ = 0;
};

}  // namespace dozered::sim
