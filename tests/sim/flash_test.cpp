// Raw flash through the vendor commands: program, read, erase and count, the
// markers of the code and information blocks, and the lazy page store.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/flash_layout.h"
#include "sim/records.h"
#include "sim/simulated_drive.h"
#include "support/sim_vendor_host.h"

namespace dozered::sim {
namespace {

using testing::CommandBlock;
using testing::Sector;

constexpr uint32_t kReadSectors = 33;  // 16 KiB page and the spare sector

std::vector<uint8_t> ReadPage(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t option, uint8_t chce,
                              uint8_t chunk = 0) {
  Sector command = CommandBlock(0xF0, 0x0A);
  testing::SetFlashAddress(command, block, page, chunk, option, chce);
  return testing::ReadReply(drive, command, kReadSectors * 512);
}

int WritePage(SimulatedDrive& drive, uint16_t block, uint16_t page, uint8_t option, uint8_t chce,
              const std::vector<uint8_t>& data) {
  Sector command = CommandBlock(0xF1, 0x0B);
  testing::SetFlashAddress(command, block, page, 0, option, chce);
  return testing::ExchangeOut(drive, command, data.data(), static_cast<uint32_t>(data.size()));
}

int ErasePage(SimulatedDrive& drive, uint16_t block, uint8_t option, uint8_t chce) {
  Sector command = CommandBlock(0xF0, 0x0C);
  testing::SetFlashAddress(command, block, 0, 0, option, chce);
  std::vector<uint8_t> reply(kReadSectors * 512);
  return testing::ExchangeIn(drive, command, reply.data(), kReadSectors * 512);
}

uint16_t EraseCountEntry(SimulatedDrive& drive, int block) {
  const auto table = testing::ReadReply(drive, CommandBlock(0xF0, 0x42), 16896);
  return static_cast<uint16_t>(table[2 * static_cast<size_t>(block)] | (table[2 * static_cast<size_t>(block) + 1] << 8));
}

TEST(FlashAddressTest, DecodesTheSplitPageNumber) {
  const uint8_t block[16] = {0xF0, 0x0A, 0x01, 0x23, 0x56, 0x02, 0x00, 0x00, 0x21, 0x00, 0x00, 0x00, 0x04};
  const FlashCommandAddress a = DecodeFlashAddress(block);
  EXPECT_EQ(a.block, 0x0123);
  EXPECT_EQ(a.page, 0x0456);
  EXPECT_EQ(a.chunk, 2);
  EXPECT_EQ(a.option, 0x21);
  EXPECT_EQ(a.chce, 0x00);
}

TEST(FlashAddressTest, CeOfABlockInTheSecondGroupAddsTheGroupBase) {
  FlashLayout layout{FlashGeometry{}};
  FlashCommandAddress a;
  a.block = 1024 + 5;
  a.chce = (1 << 3) | 2;  // interleave 1, channel 2
  a.option = 0x40;        // plane 1
  PhysicalBlock b;
  ASSERT_TRUE(layout.ResolveBlock(a, &b));
  EXPECT_EQ(b.ce, 3);
  EXPECT_EQ(b.channel, 2);
  EXPECT_EQ(b.plane, 1);
  EXPECT_EQ(b.blockInCe, 5);
  EXPECT_EQ(layout.FBlockOf(b), 1029);
  a.chce = 4 << 3;  // CE 6 does not exist on a 4-CE drive
  EXPECT_FALSE(layout.ResolveBlock(a, &b));
}

TEST(FlashTest, WriteProgramsAPageThatReadsBackWithItsSpareTags) {
  SimulatedDrive drive{DriveConfig{}};
  // Block 6 is a system block that arrives erased.
  const auto before = ReadPage(drive, 6, 10, 0x21, 0x01);
  ASSERT_FALSE(before.empty());
  EXPECT_TRUE(std::all_of(before.begin(), before.end(), [](uint8_t b) { return b == 0xFF; }));
  std::vector<uint8_t> data(32 * 512);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(WritePage(drive, 6, 10, 0x21, 0x01, data), 0);
  const auto after = ReadPage(drive, 6, 10, 0x21, 0x01);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), after.begin()));
  EXPECT_EQ(after[32 * 512 + 0], 0xFF);  // good block
  EXPECT_EQ(after[32 * 512 + 16], (6 * 256 + 10) & 0xFF);  // logical page tag, low byte
  // The chunk field starts the data at that 1 KiB chunk.
  const auto chunk = ReadPage(drive, 6, 10, 0x21, 0x01, 3);
  EXPECT_TRUE(std::equal(data.begin() + 3072, data.end(), chunk.begin()));
  // Other channels, planes and pages are untouched.
  EXPECT_EQ(ReadPage(drive, 6, 10, 0x21, 0x00)[0], 0xFF);
  EXPECT_EQ(ReadPage(drive, 6, 10, 0x61, 0x01)[0], 0xFF);
  EXPECT_EQ(drive.StoredFlashBytes(), 16384u + 512u);
}

TEST(FlashTest, EraseDropsThePagesAndCountsTheErase) {
  SimulatedDrive drive{DriveConfig{}};
  const int block = 300;
  const uint16_t before = EraseCountEntry(drive, block);
  ASSERT_NE(before, 0xFFFF);
  std::vector<uint8_t> zeros(32 * 512, 0);
  ASSERT_EQ(ErasePage(drive, block, 0x21, 0x00), 0);
  ASSERT_EQ(WritePage(drive, block, 0, 0x21, 0x00, zeros), 0);
  EXPECT_EQ(ReadPage(drive, block, 0, 0x21, 0x00)[0], 0x00);
  ASSERT_EQ(ErasePage(drive, block, 0x21, 0x00), 0);
  EXPECT_EQ(ReadPage(drive, block, 0, 0x21, 0x00)[0], 0xFF);
  EXPECT_EQ(EraseCountEntry(drive, block) & 0x7FFF, (before & 0x7FFF) + 2);
  EXPECT_EQ(drive.StoredFlashBytes(), 0u);
}

TEST(FlashTest, APageIsProgrammedOnceBetweenErases) {
  SimulatedDrive drive{DriveConfig{}};
  ASSERT_EQ(WritePage(drive, 7, 3, 0x21, 0x00, std::vector<uint8_t>(16384, 0xF0)), 0);
  // A second program of the page fails its data phase and leaves the page as it was.
  EXPECT_EQ(WritePage(drive, 7, 3, 0x21, 0x00, std::vector<uint8_t>(16384, 0x3C)), -7);
  EXPECT_EQ(ReadPage(drive, 7, 3, 0x21, 0x00)[100], 0xF0);
  // Pages that arrived with data are programmed too.
  ASSERT_EQ(drive.model().flash.InitialContentOf(drive.model().layout.BlockOfFBlock(300, 0, 0, 0)),
            InitialContent::kData);
  EXPECT_EQ(WritePage(drive, 300, 3, 0x21, 0x00, std::vector<uint8_t>(16384, 0x3C)), -7);
  // After an erase the page takes a program again.
  ASSERT_EQ(ErasePage(drive, 7, 0x21, 0x00), 0);
  ASSERT_EQ(WritePage(drive, 7, 3, 0x21, 0x00, std::vector<uint8_t>(16384, 0x3C)), 0);
  EXPECT_EQ(ReadPage(drive, 7, 3, 0x21, 0x00)[100], 0x3C);
}

TEST(FlashTest, CodeAndInformationBlocksCarryTheirMarkersForSomePagesThenStop) {
  SimulatedDrive drive{DriveConfig{}};
  const int ispPages = drive.model().flash.IspPageCount();
  const int infoPages = drive.model().flash.InfoPageCount();
  EXPECT_GE(ispPages, 8);
  EXPECT_GE(infoPages, 3);
  for (uint16_t block : {kIspBlocks[0], kIspBlocks[1]}) {
    for (int page = 0; page <= ispPages; ++page) {
      for (uint8_t plane : {0, 1}) {
        const auto r = ReadPage(drive, block, static_cast<uint16_t>(page), static_cast<uint8_t>(0x15 + 64 * plane), 0x09);
        EXPECT_EQ(r[32 * 512 + 16] == 0x0B, page < ispPages) << block << " " << page;
      }
    }
  }
  for (int page = 0; page <= infoPages; ++page) {
    const auto r = ReadPage(drive, kInfoBlocks[1], static_cast<uint16_t>(page), 0x35, page < 2 ? 0x43 : 0x03);
    EXPECT_EQ(r[32 * 512] == 0xE1, page < infoPages) << page;
  }
}

TEST(FlashTest, FactoryBadBlocksAreMarkedOnTheirFirstAndLastPage) {
  SimulatedDrive drive{DriveConfig{}};
  const FactoryBadBlock& bad = drive.model().badBlocks.factory().front();
  const uint8_t option = static_cast<uint8_t>(0x21 | (bad.plane << 6));
  const uint8_t chce = static_cast<uint8_t>(bad.channel | ((bad.ce % 2) << 3));
  EXPECT_EQ(ReadPage(drive, bad.fblock, 0, option, chce)[32 * 512], 0x00);
  EXPECT_EQ(ReadPage(drive, bad.fblock, 255, option, chce)[32 * 512], 0x00);
  EXPECT_EQ(ReadPage(drive, bad.fblock, 1, option, chce)[32 * 512], 0xFF);
}

TEST(FlashTest, TheMarkOfAFactoryBadPageFillsItsSpareAreaWithOrWithoutDescrambling) {
  SimulatedDrive drive{DriveConfig{}};
  const FactoryBadBlock& bad = drive.model().badBlocks.factory().front();
  const uint8_t chce = static_cast<uint8_t>(bad.channel | ((bad.ce % 2) << 3));
  for (uint8_t scramble : {0x01, 0x00}) {
    const uint8_t option = static_cast<uint8_t>(0x20 | scramble | (bad.plane << 6));
    const auto r = ReadPage(drive, bad.fblock, 0, option, chce);
    ASSERT_EQ(r.size(), 33u * 512);
    EXPECT_TRUE(std::all_of(r.begin() + 32 * 512, r.end(), [](uint8_t b) { return b == 0x00; })) << +option;
    EXPECT_TRUE(std::all_of(r.begin(), r.begin() + 32 * 512, [](uint8_t b) { return b == 0xFF; })) << +option;
  }
}

TEST(FlashTest, UnwrittenPagesCostNoMemory) {
  SimulatedDrive drive{DriveConfig{}};
  for (uint16_t block = 8; block < 40; ++block) ReadPage(drive, block, 5, 0x21, 0x00);
  EXPECT_EQ(drive.StoredFlashBytes(), 0u);
  std::vector<uint8_t> data(16384, 0x5A);
  for (uint16_t page = 0; page < 4; ++page) ASSERT_EQ(WritePage(drive, 6, page, 0x21, 0x00, data), 0);
  EXPECT_EQ(drive.StoredFlashBytes(), 4u * (16384 + 512));
}

TEST(FlashTest, ChunkEccAnswerHasTheGeometryOfTheCardInformation) {
  DriveModel model{DriveConfig{}};
  const ChunkEccGeometry g = ChunkEccGeometryOf(model);
  EXPECT_EQ(g.chunksPerGroup, 16);
  EXPECT_EQ(g.groupsPerRow, 2);
  EXPECT_EQ(g.retryRows, 8);
  EXPECT_EQ(g.AnswerBytes(), 272);
  EXPECT_EQ(BuildChunkEccAnswer(model, 300, 7, 0x00, 0).size(), 272u);
}

double OnesFraction(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  size_t ones = 0;
  for (size_t i = from; i < to; ++i) ones += static_cast<size_t>(__builtin_popcount(bytes[i]));
  return static_cast<double>(ones) / (8.0 * static_cast<double>(to - from));
}

TEST(FlashTest, ScramblingOnWriteIsUndoneOnlyByDescramblingOnRead) {
  SimulatedDrive drive{DriveConfig{}};
  std::vector<uint8_t> zeros(16384, 0x00);
  ASSERT_EQ(WritePage(drive, 6, 20, 0x21, 0x00, zeros), 0);  // scrambled
  ASSERT_EQ(WritePage(drive, 6, 21, 0x20, 0x00, zeros), 0);  // plain
  const auto scrambledBack = ReadPage(drive, 6, 20, 0x21, 0x00);
  EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), scrambledBack.begin()));
  EXPECT_EQ(scrambledBack[16384 + 16], (6 * 256 + 20) & 0xFF);  // the tags descramble too
  const auto scrambledRaw = ReadPage(drive, 6, 20, 0x20, 0x00);
  EXPECT_NEAR(OnesFraction(scrambledRaw, 0, 16384), 0.5, 0.03);  // noise
  EXPECT_EQ(scrambledRaw[16384], 0xFF);                            // the bad-block mark is never scrambled
  EXPECT_NE(scrambledRaw[16384 + 16], (6 * 256 + 20) & 0xFF);
  const auto plainBack = ReadPage(drive, 6, 21, 0x20, 0x00);
  EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), plainBack.begin()));
  EXPECT_EQ(plainBack[16384 + 16], (6 * 256 + 21) & 0xFF);
  EXPECT_NEAR(OnesFraction(ReadPage(drive, 6, 21, 0x21, 0x00), 0, 16384), 0.5, 0.03);
  // An erased page reads 0xFF with ECC on, descrambled or not.
  const auto erased = ReadPage(drive, 6, 22, 0x21, 0x00);
  EXPECT_TRUE(std::all_of(erased.begin(), erased.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(FlashTest, MultiPlaneTransfersRunIntoTheNextPlaneUnlessOnePlaneIsForced) {
  SimulatedDrive drive{DriveConfig{}};
  std::vector<uint8_t> twoPages(32768);
  std::fill(twoPages.begin(), twoPages.begin() + 16384, 0x11);
  std::fill(twoPages.begin() + 16384, twoPages.end(), 0x22);
  ASSERT_EQ(WritePage(drive, 6, 30, 0x21, 0x00, twoPages), 0);    // planes 0 and 1
  ASSERT_EQ(WritePage(drive, 6, 31, 0x25, 0x00, twoPages), 0);    // plane 0 only
  EXPECT_EQ(ReadPage(drive, 6, 30, 0x61, 0x00)[0], 0x22);
  EXPECT_EQ(ReadPage(drive, 6, 31, 0x61, 0x00)[0], 0xFF);
  Sector command = CommandBlock(0xF0, 0x0A);
  testing::SetFlashAddress(command, 6, 30, 0, 0x21, 0x00);
  const auto both = testing::ReadReply(drive, command, 65 * 512);
  EXPECT_EQ(both[0], 0x11);
  EXPECT_EQ(both[32767], 0x22);
  EXPECT_EQ(both[32768 + 16], (6 * 256 + 30) & 0xFF);  // the spare of the addressed page
  testing::SetFlashAddress(command, 6, 30, 0, 0x25, 0x00);
  const auto one = testing::ReadReply(drive, command, 65 * 512);
  EXPECT_EQ(one[16383], 0x11);
  EXPECT_EQ(one[16384], 0xFF);
}

TEST(FlashStoreTest, ProgramStoresOnlyWhatItIsGivenAndRefusesASecondProgram) {
  DriveModel model{DriveConfig{}};
  FlashStore& flash = model.flash;
  PhysicalPage page;
  page.block = model.layout.BlockOfFBlock(6, 1, 0, 0);
  page.page = 9;
  const std::vector<uint8_t> part(512, 0x42);
  ASSERT_TRUE(flash.Program(page, 0, part.data(), part.size()));
  EXPECT_EQ(flash.StoredBytes(), 512u);  // no spare given, nothing else stored
  // Later parts of the same transfer add to the page.
  ASSERT_TRUE(flash.ContinueProgram(page, 1024, part.data(), part.size()));
  EXPECT_FALSE(flash.Program(page, 0, part.data(), part.size()));
  EXPECT_FALSE(flash.ContinueProgram(page, 1536, part.data(), part.size()));  // the refused program ended the transfer
  std::vector<uint8_t> back(2048);
  flash.ReadData(page, 0, back.data(), back.size());
  EXPECT_EQ(back[511], 0x42);
  EXPECT_EQ(back[512], 0xFF);  // the gap stays erased
  EXPECT_EQ(back[1024], 0x42);
  std::vector<uint8_t> spare(512);
  flash.ReadSpare(page, spare.data());
  EXPECT_EQ(spare[16], 0xFF);
  const PageInfo info = flash.Info(page);
  EXPECT_TRUE(info.programmed);
  EXPECT_EQ(info.dataBytes, 1536u);
  EXPECT_FALSE(info.spare);
  PhysicalPage next = page;
  next.page = 10;
  ASSERT_TRUE(flash.Program(next, 0, part.data(), part.size(), spare.data()));
  EXPECT_FALSE(flash.Info(next).afterHigherPage);
  // A page programmed after a higher page of its block is flagged.
  PhysicalPage low = page;
  low.page = 4;
  ASSERT_TRUE(flash.Program(low, 0, part.data(), part.size()));
  EXPECT_TRUE(flash.Info(low).afterHigherPage);
  ASSERT_TRUE(flash.Erase(page.block));
  EXPECT_EQ(flash.StoredBytes(), 0u);
  EXPECT_TRUE(flash.Program(page, 0, part.data(), part.size()));
}

}  // namespace
}  // namespace dozered::sim
