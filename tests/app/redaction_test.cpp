// Serial numbers blanked in what the pages show, and nowhere else.
#include "app/redaction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/device_scan.h"
#include "app/page_read.h"
#include "app/page_table.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"

namespace dozered {
namespace {

// IDENTIFY data whose serial number field holds `serial`, padded with blanks
// and stored two characters per word, first character in the high byte.
IdentifyBlock IdentifyWithSerial(const std::string& serial) {
  IdentifyBlock identify{};
  std::string field = serial;
  field.resize(kSerialNumberLength, ' ');
  for (size_t i = 0; i < kSerialNumberLength; ++i) identify[kSerialNumberOffset + (i ^ 1)] = static_cast<uint8_t>(field[i]);
  return identify;
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(BlankSerialNumberTest, BlanksEveryCopyOfTheNumber) {
  const IdentifyBlock identify = IdentifyWithSerial("SN4810A7");
  const std::vector<uint8_t> field(identify.begin() + 20, identify.begin() + 40);
  struct Case {
    const char* name;
    std::string serial;
    std::vector<uint8_t> record;
    std::vector<uint8_t> expected;
  } cases[] = {
      {"text", "SN4810A7", Bytes("xxSN4810A7yy"), Bytes("xx        yy")},
      {"text twice", "SN4810A7", Bytes("SN4810A7SN4810A7"), Bytes("                ")},
      {"no copy", "SN4810A7", Bytes("SN4810A-SN4810"), Bytes("SN4810A-SN4810")},
      {"field as IDENTIFY holds it", "SN4810A7", field, std::vector<uint8_t>(20, ' ')},
      {"number with blanks inside", "  AB CD  ", Bytes("=AB CD="), Bytes("=     =")},
      {"short number left alone as text", "A7", Bytes("xA7x"), Bytes("xA7x")},
      {"no number", "", Bytes("    "), Bytes("    ")},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> record = c.record;
    BlankSerialNumber(record, IdentifyWithSerial(c.serial));
    EXPECT_EQ(record, c.expected) << c.name;
  }
}

// The characters column of a hex dump, all lines joined: the record's bytes
// as text, whatever line they fall on.
std::string DumpCharacters(const std::string& dump) {
  std::string text;
  size_t line = dump.find('\n');  // after the header
  while (line != std::string::npos && line + 1 + 76 <= dump.size()) {
    text += dump.substr(line + 1 + 60, 16);
    line = dump.find('\n', line + 1);
  }
  return text;
}

std::string Joined(const Rows& rows) {
  std::string text;
  for (const Row& row : rows)
    for (const std::string& column : row) text += column + "\n";
  return text;
}

class RedactedPagesTest : public ::testing::Test {
 protected:
  static constexpr char kSerial[] = "SN-REDACT-0042";

  void SetUp() override {
    sim::DriveConfig config = testing::ControllerDrive(2);
    config.serial = kSerial;
    testing::InstallDrives(*state_, {config});
    // The shipped CID layout names the serial number the CID block carries.
    state_->ExecutableDir = std::filesystem::path(DOZERED_DEMO_DIR) / "beside_exe";
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
  }

  // Everything page `page` shows, as text.
  std::string Shown(int page) {
    testing::RecordingFeedback feedback;
    const PageReadOutput out = ReadPageData(*state_, feedback, page);
    EXPECT_EQ(out.Status, PageReadStatus::kRead) << page;
    return DumpCharacters(out.Dump.value_or("")) + "\n" + Joined(out.List.value_or(Rows{}));
  }

  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
};

TEST_F(RedactedPagesTest, PagesAndDeviceInformationShowBlanksInsteadOfTheNumber) {
  // As the IDENTIFY data holds it: two characters per word, swapped.
  const std::string swapped = "NSR-DECA-T0024";
  const std::string serialLine = std::string("Serial Number: ") + kSerial + "      ";
  struct Case {
    int page;
    std::string copy;  // how the page shows the number when it is not redacted
  } cases[] = {{kPageIdentifyTable, swapped}, {kPageIdentifyTable, kSerial}, {kPageCidOption, kSerial}};
  for (const Case& c : cases) {
    state_->RedactSerialNumbers = false;
    EXPECT_NE(Shown(c.page).find(c.copy), std::string::npos) << c.page << " shows " << c.copy;
    state_->RedactSerialNumbers = true;
    EXPECT_EQ(Shown(c.page).find(c.copy), std::string::npos) << c.page << " still shows " << c.copy;
  }

  state_->RedactSerialNumbers = false;
  const std::vector<std::string> plain = SelectedDeviceInfo(*state_).lines;
  EXPECT_NE(std::find(plain.begin(), plain.end(), serialLine), plain.end());
  state_->RedactSerialNumbers = true;
  std::vector<std::string> redacted = SelectedDeviceInfo(*state_).lines;
  EXPECT_NE(std::find(redacted.begin(), redacted.end(), "Serial Number: " + std::string(20, ' ')), redacted.end());
  // Only the serial number line differs.
  ASSERT_EQ(redacted.size(), plain.size());
  for (size_t i = 0; i < plain.size(); ++i) {
    if (plain[i] != serialLine) {
      EXPECT_EQ(redacted[i], plain[i]);
    }
  }
  // The drive's own record is kept: the next drive command still sees it.
  EXPECT_EQ(AtaText(state_->IdentifyTable[0], kSerialNumberOffset, kSerialNumberLength), serialLine.substr(15));
}

}  // namespace
}  // namespace dozered
