#include "protocol/code_images.h"

#include <gtest/gtest.h>

#include <cstring>

namespace dozered {
namespace {

struct PieceCase {
  size_t imageSize;
  std::vector<CodePiece> expected;
};

class CodePiecesTest : public ::testing::TestWithParam<PieceCase> {};

TEST_P(CodePiecesTest, SplitsTheImageIntoWholeSectorPiecesOf64KiB) {
  const auto pieces = PlanCodePieces(0x20000, GetParam().imageSize);
  ASSERT_EQ(pieces.size(), GetParam().expected.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].address, GetParam().expected[i].address) << i;
    EXPECT_EQ(pieces[i].offset, GetParam().expected[i].offset) << i;
    EXPECT_EQ(pieces[i].sectors, GetParam().expected[i].sectors) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CodePiecesTest,
    ::testing::Values(PieceCase{1, {{0x20000, 0, 1}}}, PieceCase{512, {{0x20000, 0, 1}}},
                      PieceCase{513, {{0x20000, 0, 2}}},
                      PieceCase{65536, {{0x20000, 0, 128}}},
                      PieceCase{65537, {{0x20000, 0, 128}, {0x30000, 65536, 1}}},
                      PieceCase{3 * 65536, {{0x20000, 0, 128}, {0x30000, 65536, 128},
                                            {0x40000, 131072, 128}}}));

TEST(MpispImageTest, TakesTheLoadAddressFromTheHeaderAndPadsTheImageWithZeros) {
  std::vector<uint8_t> file(1024 + 700, 0xAB);
  const uint8_t address[] = {0x78, 0x56, 0x34, 0x12};
  std::memcpy(file.data() + 6, address, 4);
  MpispImage image;
  ASSERT_TRUE(ParseMpispImage(file, image));
  EXPECT_EQ(image.loadAddress, 0x12345678u);
  EXPECT_EQ(image.imageSize, 700u);
  ASSERT_EQ(image.data.size(), 1024u);
  EXPECT_EQ(image.data[699], 0xAB);
  EXPECT_EQ(image.data[700], 0x00);
  EXPECT_EQ(image.data[1023], 0x00);
}

TEST(MpispImageTest, AFileOfOnlyAHeaderHoldsNoImage) {
  MpispImage image;
  EXPECT_FALSE(ParseMpispImage(std::vector<uint8_t>(1024, 1), image));
  EXPECT_FALSE(ParseMpispImage(std::vector<uint8_t>(10, 1), image));
  EXPECT_FALSE(ParseMpispImage({}, image));
}

TEST(DiagnosticLayoutTest, HeaderAndBareForms) {
  uint8_t head[32] = {};
  std::memcpy(head, "DGISPHEADER", 11);
  head[16] = 0x00;
  head[17] = 0x80;
  head[18] = 0x01;
  DiagnosticLayout withHeader = DiagnosticLayoutOf(std::span<const uint8_t>(head, sizeof head), 1024 + 3072);
  EXPECT_EQ(withHeader.loadAddress, 0x18000u);
  EXPECT_EQ(withHeader.payloadOffset, 1024u);
  EXPECT_EQ(withHeader.payloadSize, 3072u);

  DiagnosticLayout cutHeader = DiagnosticLayoutOf(std::span<const uint8_t>(head, sizeof head), 600);
  EXPECT_EQ(cutHeader.payloadSize, 0u);

  head[10] = 'x';  // "DGISPHEADEx" is a bare file
  DiagnosticLayout bare = DiagnosticLayoutOf(std::span<const uint8_t>(head, sizeof head), 2000);
  EXPECT_EQ(bare.loadAddress, 0xE400u);
  EXPECT_EQ(bare.payloadOffset, 0u);
  EXPECT_EQ(bare.payloadSize, 2000u);

  DiagnosticLayout tiny = DiagnosticLayoutOf(std::span<const uint8_t>(head, 5), 5);
  EXPECT_EQ(tiny.loadAddress, 0xE400u);
  EXPECT_EQ(tiny.payloadSize, 5u);
}

struct Records {
  uint8_t identify[512] = {};
  uint8_t isp[512] = {};
  Records(const char* revision, const char* folder, const char* tag) {
    for (size_t i = 0; i < 8 && revision[i]; ++i) identify[46 + (i ^ 1)] = revision[i];
    std::memcpy(isp + 404, folder, std::strlen(folder));
    std::memcpy(isp + 416, tag, 4);
  }
};

TEST(DiagnosticPathTest, SndkDrivesWithAPRevisionUseTheRevisionSubfolder) {
  struct Case {
    const char* revision;
    const char* tag;
    bool subfolder;
  } cases[] = {
      {"P0A12345", "SNDK", true},
      {"P0A12345", "ABCD", false},
      {"Q0A12345", "SNDK", false},
      {"P0A12345", "sndk", false},
  };
  for (const Case& c : cases) {
    Records r(c.revision, "V10", c.tag);
    EXPECT_EQ(UsesRevisionSubfolder(r.identify, r.isp), c.subfolder) << c.revision << " " << c.tag;
    EXPECT_EQ(RevisionSubfolderName(r.identify), std::string(c.revision).substr(0, 3));
  }
  Records shortRevision("P", "V10", "SNDK");
  EXPECT_EQ(RevisionSubfolderName(shortRevision.identify), "P");
}

TEST(DiagnosticPathTest, FolderNameStopsAtTwelveCharactersOrTheFirstNul) {
  Records full("P0A12345", "ABCDEFGHIJKL", "SNDK");
  EXPECT_EQ(IspFolderName(full.isp), "ABCDEFGHIJKL");
  EXPECT_EQ(FirmwareRevisionText(full.identify), "P0A12345");
  Records shortName("P0", "V1", "NONE");
  EXPECT_EQ(IspFolderName(shortName.isp), "V1");
}

TEST(DiagnosticTrailerTest, ComparesAllSixteenVersionBytes) {
  uint8_t isp[512] = {};
  std::memcpy(isp + 404, "V10_ISP_2026SNDK", 16);
  uint8_t trailer[32] = {};
  std::memcpy(trailer, "V10_ISP_2026SNDK", 16);
  EXPECT_TRUE(TrailerMatchesIspVersion(trailer, isp));
  trailer[15] = 'X';
  EXPECT_FALSE(TrailerMatchesIspVersion(trailer, isp));
}

}  // namespace
}  // namespace dozered
