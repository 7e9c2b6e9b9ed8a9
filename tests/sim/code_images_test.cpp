// The sample code files are laid out as the tool reads them.
#include "sim/code_images.h"

#include <gtest/gtest.h>

#include <cstring>

#include "sim/drive_identity.h"

namespace dozered::sim {
namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

TEST(CodeImagesTest, DiagnosticFilesCarryTheIspVersionTrailerInBothForms) {
  const auto version = MakeIspVersion("V10", "SNDK");
  for (bool header : {false, true}) {
    const auto file = BuildDiagnosticFile(DiagnosticKind::kTranLba2Pba, version, header, 0xE800);
    const size_t start = header ? 1024 : 0;
    EXPECT_EQ(std::memcmp(file.data(), "DGISPHEADER", 11) == 0, header);
    if (header) {
      EXPECT_EQ(Le32(file.data() + 16), 0xE800u);
    }
    const size_t length = file.size() - start;
    EXPECT_EQ(length, 3072u);
    EXPECT_EQ(std::memcmp(file.data() + start + length - 32, version.data(), 16), 0);
    const uint32_t address = header ? 0xE800 : kBareDiagnosticAddress;
    EXPECT_EQ(CheckDiagnosticPayload(file.data() + start, length, address, version), DiagnosticKind::kTranLba2Pba);
  }
  EXPECT_EQ(DiagnosticFileName(DiagnosticKind::kReadChunkEcc), "DgISP_ReadChunkEcc.bin");
}

TEST(CodeImagesTest, MpispFileHasItsLoadAddressAtOffset6AndAnIntactImage) {
  const auto file = BuildMpispFile(MakeIspVersion("V126", "VE01"), 65537, 0x00010000);
  ASSERT_EQ(file.size(), 1024u + 65537u);
  EXPECT_EQ(Le32(file.data() + 6), 0x00010000u);
  EXPECT_TRUE(IsCompleteMpispImage(file.data() + 1024, 65537));
  EXPECT_FALSE(IsCompleteMpispImage(file.data() + 1024, 65536));  // the last byte is missing
}

}  // namespace
}  // namespace dozered::sim
