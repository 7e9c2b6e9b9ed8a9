// LBA to physical translation against simulated drives: the LBA a field
// means, what the L2P page lists, and the Flash RW LBA mode leading to the
// page that holds what the host wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>

#include "app/code_loading.h"
#include "app/device_scan.h"
#include "device/virtual_platform.h"
#include "flash/lba_translation.h"
#include "protocol/result_codes.h"
#include "sim/code_images.h"
#include "sim/simulated_drive.h"
#include "support/command_fault_drive.h"
#include "support/recording_feedback.h"
#include "support/simulated_drives.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

using testing::ControllerDrive;
using testing::RecordedMessageBox;
using testing::RecordingFeedback;
using testing::VendorCommand;
using testing::WireRecorder;

constexpr uint8_t kOpLoadDiagnostic = 0x2B;
constexpr uint8_t kOpTranslateLba = 0x41;
constexpr uint8_t kOpReadFlash = 0x0A;

TEST(LbaTextTest, DigitsFromTheStartUpToThirtyTwoBits) {
  struct Case {
    const char* text;
    std::optional<uint32_t> lba;
  } cases[] = {
      {"12ab", 12u},           {"0", 0u},       {"", 0u},        {"abc", 0u},
      {"  7", 7u},             {"4294967295", 0xFFFFFFFFu},      {"4294967296", std::nullopt},
      {"9999999999", std::nullopt},             {"12345678901", 1234567890u} /* ten characters are read */,
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLbaText(c.text), c.lba) << c.text;
  EXPECT_EQ(LbaTooLargeText("4294967296"), "LBA 4294967296 is larger than 4294967295");
}

TEST(LbaTextTest, AnswerWordsAreLittleEndian) {
  std::vector<uint8_t> answer(512, 0);
  answer[0] = 0x55;
  answer[1] = 0x55;
  answer[2] = 0x34;
  answer[3] = 0x12;
  answer[20] = 0x07;
  const LbaTranslation t = ReadLbaTranslation(answer);
  EXPECT_EQ(t.Status, kLbaTranslated);
  EXPECT_EQ(t.Value(L2pWord::kFBlock), 0x1234);
  EXPECT_EQ(t.Value(L2pWord::kCe), 7);
}

TEST(LbaModeTest, LeavingLbaModeKeepsTheAddressFields) {
  FlashRwFields f;
  f.Block = "01A0";
  f.Page = "0033";
  f.Chunk = "05";
  const LbaModeControls on = SetLbaMode(f, true);
  EXPECT_TRUE(on.LbaFieldEnabled && on.ButtonEnabled);
  EXPECT_FALSE(on.AddressEnabled);
  EXPECT_EQ(f.LbaIn, "0");
  const LbaModeControls off = SetLbaMode(f, false);
  EXPECT_FALSE(off.LbaFieldEnabled || off.ButtonEnabled);
  EXPECT_TRUE(off.AddressEnabled);
  EXPECT_EQ(f.LbaIn, "N/A");
  EXPECT_EQ(f.Block, "01A0");
  EXPECT_EQ(f.Page, "0033");
  EXPECT_EQ(f.Chunk, "05");
}

class LbaTranslationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = std::make_shared<sim::SimulatedDrive>(ControllerDrive(2));
    fault_ = std::make_shared<CommandFaultDrive>(drive_);
    wire_ = std::make_shared<WireRecorder>(fault_);
    testing::InstallDisks(*state_, {wire_});
    state_->ExecutableDir = dir_.Path("exe");
    std::filesystem::create_directories(state_->ExecutableDir);
    ResetEnumerator(*state_);
    ScanForControllers(*state_);
    FinishScan(*state_);
    ASSERT_EQ(state_->SelectedDevice, 0);
    const auto file =
        sim::BuildDiagnosticFile(sim::DiagnosticKind::kTranLba2Pba, drive_->model().identity.ispVersion, true);
    for (const auto& place : {state_->ExecutableDir / kDgIspTranLba2Pba,
                              DiagnosticCodePathFor(*state_, 0, kDgIspTranLba2Pba)}) {
      std::filesystem::create_directories(place.parent_path());
      std::ofstream(place, std::ios::binary)
          .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    Clear();
  }

  void Clear() {
    wire_->ClearLog();
    feedback_ = RecordingFeedback();
  }

  std::vector<VendorCommand> Sent(uint8_t opcode) const {
    std::vector<VendorCommand> sent;
    for (const VendorCommand& c : wire_->Commands()) {
      if (c.opcode() == opcode) sent.push_back(c);
    }
    return sent;
  }

  // Ordinary sector writes, as the host writes its data.
  std::vector<uint8_t> HostWrite(uint32_t lba, uint32_t count) {
    std::vector<uint8_t> data(static_cast<size_t>(count) * 512);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((lba + i / 512) * 13 + i * 7 + 1);
    VE4810VO& controller = state_->Controllers[0];
    EXPECT_TRUE(controller.Open(true));
    EXPECT_EQ(controller.WriteSectors(lba, count, data.data()), kResultSuccess);
    controller.Close();
    Clear();
    return data;
  }

  std::unique_ptr<AppState> state_ = std::make_unique<AppState>();
  RecordingFeedback feedback_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::shared_ptr<CommandFaultDrive> fault_;
  std::shared_ptr<WireRecorder> wire_;
  testing::TempDir dir_;
};

TEST_F(LbaTranslationTest, ListShowsTheTenValuesOfAWrittenLba) {
  HostWrite(1, 8);
  const L2pOutcome out = TranslateLbaForList(*state_, feedback_, "1");
  EXPECT_EQ(out.Status, FlashStatus::kDone);
  EXPECT_EQ(feedback_.shown, std::vector<std::string>{kFlashWaitingText});
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kTranslationCompleteText});
  ASSERT_FALSE(wire_->Commands().empty());
  EXPECT_EQ(wire_->Commands().front().opcode(), kOpLoadDiagnostic);
  const std::vector<VendorCommand> sent = Sent(kOpTranslateLba);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].LittleEndianAt(2), 1u);  // byte 2 = 1, bytes 3-5 = 0
  EXPECT_EQ(sent[0].block[15], 0x44);
  EXPECT_EQ(sent[0].dataSectors, 1u);
  ASSERT_EQ(out.Rows.size(), 10u);
  const char* names[] = {"FBlock",   "DiffType", "FPage",   "SectorH", "Plane Addr",
                         "Interleave Addr", "DiffOffset", "LSB Only", "Channel", "CE"};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(out.Rows[i].Item, names[i]);
    EXPECT_EQ(out.Rows[i].Data.substr(0, 2), "0x");
    EXPECT_EQ(out.Rows[i].Data.size(), 6u);
  }
  EXPECT_EQ(out.Rows[3].Data, "0x0001");  // the second sector of its 4 KiB unit
}

// An LBA the host never wrote has no place in the flash: the drive answers
// 0xAAAA for it as for one beyond the capacity.
TEST_F(LbaTranslationTest, UnwrittenOrMissingLbaListsNothing) {
  for (const std::string& lba : {std::string("5000"), std::to_string(drive_->model().identity.capacity)}) {
    Clear();
    const L2pOutcome out = TranslateLbaForList(*state_, feedback_, lba);
    EXPECT_TRUE(out.Rows.empty()) << lba;
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{kLbaDoesNotExistText}) << lba;
    EXPECT_EQ(Sent(kOpTranslateLba).size(), 1u);
  }
}

TEST_F(LbaTranslationTest, FailuresAreReported) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string report;
    bool sent;
    size_t boxes;
  } cases[] = {
      {"command fails", [&] { fault_->FailDataPhaseOf(kOpTranslateLba); }, "Translate LBA fail(-7)", true, 0},
      {"LBA beyond 32 bits", [] {}, "", false, 1},
      {"program missing beside the executable",
       [&] { std::filesystem::remove(state_->ExecutableDir / kDgIspTranLba2Pba); }, "", false, 1},
  };
  for (const Case& c : cases) {
    Clear();
    c.arrange();
    const bool tooLarge = std::string(c.name) == "LBA beyond 32 bits";
    const L2pOutcome out = TranslateLbaForList(*state_, feedback_, tooLarge ? "4294967296" : "0");
    EXPECT_NE(out.Status, FlashStatus::kDone) << c.name;
    EXPECT_TRUE(out.Rows.empty()) << c.name;
    EXPECT_EQ(feedback_.reported, std::vector<std::string>{c.report}) << c.name;
    EXPECT_EQ(Sent(kOpTranslateLba).size(), c.sent ? 1u : 0u) << c.name;
    EXPECT_EQ(feedback_.boxes.size(), c.boxes) << c.name;
    fault_->FailDataPhaseOf(-1);
  }
  Clear();
  state_->Controllers[0].Close();
  dynamic_cast<VirtualPlatform&>(*state_->Platform).Disk(0).options.openFails = true;
  std::ofstream(state_->ExecutableDir / kDgIspTranLba2Pba) << "x";
  EXPECT_EQ(TranslateLbaForList(*state_, feedback_, "0").Result, kResultOpenFailed);
  EXPECT_EQ(feedback_.reported, std::vector<std::string>{kFlashAccessDeviceFailText});
}

// Written with ordinary sector writes, translated in LBA mode: the Flash RW
// read that follows (ECC and descrambling on) shows the data in the sector
// the translation names.
TEST_F(LbaTranslationTest, TranslatedLbaLeadsFlashRwToTheHostsData) {
  const std::vector<uint8_t> data = HostWrite(4096, 64);
  for (uint32_t k : {0u, 7u, 13u, 63u}) {
    FlashRwFields fields;
    fields.Option = ByteText(state_->FlashOption);
    fields.ChCe = ByteText(state_->FlashChCe);
    SetLbaMode(fields, true);
    fields.LbaIn = std::to_string(4096 + k);
    HeadlessSettingsDialog dialog(*state_, feedback_);
    Clear();
    const FlashOutcome out = TranslateLbaForFlashRw(*state_, feedback_, fields, dialog);
    ASSERT_EQ(out.Status, FlashStatus::kDone) << k;
    EXPECT_EQ(feedback_.reported.front(), kTranslationCompleteText);
    // The fields and bytes the answer gave.
    const std::vector<VendorCommand> sent = Sent(kOpTranslateLba);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].LittleEndianAt(2), 4096 + k);
    EXPECT_EQ(fields.Option, ByteText(state_->FlashOption));
    EXPECT_EQ(fields.ChCe, ByteText(state_->FlashChCe));
    EXPECT_EQ(state_->FlashOption & 0x21, 0x21);  // ECC on, descrambling on, read retry on
    // The read that follows.
    RecordingFeedback quiet;
    ASSERT_EQ(FlashRwRead(*state_, quiet, fields).Status, FlashStatus::kDone) << k;
    const std::vector<VendorCommand> reads = [&] {
      std::vector<VendorCommand> r;
      for (const VendorCommand& c : wire_->Commands()) {
        if (c.opcode() == kOpReadFlash) r.push_back(c);
      }
      return r;
    }();
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.back().block[5], std::stoul(fields.Chunk, nullptr, 16));
    // SectorH is the sector within the page; the chunk holds two sectors.
    RecordingFeedback listing;
    const L2pOutcome listed = TranslateLbaForList(*state_, listing, fields.LbaIn);
    ASSERT_EQ(listed.Rows.size(), 10u);
    const size_t sector = std::stoul(listed.Rows[3].Data, nullptr, 16) % 2;
    EXPECT_TRUE(std::equal(data.begin() + static_cast<long>(512 * k), data.begin() + static_cast<long>(512 * (k + 1)),
                           state_->FlashPageBuffer.begin() + static_cast<long>(512 * sector)))
        << "LBA " << 4096 + k;
  }
}

TEST_F(LbaTranslationTest, SectorSevenPutsThreeInTheChunkField) {
  HostWrite(0, 8);
  FlashRwFields fields;
  SetLbaMode(fields, true);
  fields.LbaIn = "7";
  HeadlessSettingsDialog dialog(*state_, feedback_);
  TranslateLbaForFlashRw(*state_, feedback_, fields, dialog);
  const L2pOutcome listed = TranslateLbaForList(*state_, feedback_, "7");
  ASSERT_EQ(listed.Rows.size(), 10u);
  ASSERT_EQ(listed.Rows[3].Data, "0x0007");
  EXPECT_EQ(fields.Chunk, "3");
  char block[8];
  std::snprintf(block, sizeof block, "0x%04X", static_cast<unsigned>(std::stoul(fields.Block, nullptr, 16)));
  EXPECT_EQ(listed.Rows[0].Data, block);
}

// The dialog's "OK" action runs whatever the answer: the bytes follow its
// controls even for an LBA that does not exist, and the fields keep their
// address.
TEST_F(LbaTranslationTest, OptionBytesFollowTheDialogEvenWhenTheLbaDoesNotExist) {
  FlashRwFields fields;
  fields.Block = "0042";
  fields.Option = "00";
  fields.ChCe = "00";
  SetLbaMode(fields, true);
  fields.LbaIn = "9000";
  state_->FlashOption = 0x21;
  state_->FlashChCe = 0x00;
  HeadlessSettingsDialog dialog(*state_, feedback_);  // its controls show 0x21 / 0x00
  state_->FlashOption = 0x00;                        // bytes the controls do not show
  state_->FlashChCe = 0x07;
  const FlashOutcome out = TranslateLbaForFlashRw(*state_, feedback_, fields, dialog);
  EXPECT_EQ(feedback_.reported.front(), kLbaDoesNotExistText);
  EXPECT_TRUE(state_->SettingsAccepted);
  EXPECT_EQ(state_->FlashOption, 0x21);
  EXPECT_EQ(state_->FlashChCe, 0x00);
  EXPECT_EQ(fields.Option, "21");
  EXPECT_EQ(fields.Block, "0042");
  // The option field changed, so the page was read at the (unchanged) address.
  EXPECT_EQ(Sent(kOpReadFlash).size(), 1u);
  EXPECT_TRUE(out.RawView.has_value());
}

TEST_F(LbaTranslationTest, TooLargeLbaIsRefusedBeforeAnythingIsSent) {
  FlashRwFields fields;
  SetLbaMode(fields, true);
  fields.LbaIn = "4294967296";
  const uint8_t option = state_->FlashOption;
  HeadlessSettingsDialog dialog(*state_, feedback_);
  const FlashOutcome out = TranslateLbaForFlashRw(*state_, feedback_, fields, dialog);
  EXPECT_EQ(out.Status, FlashStatus::kRefused);
  EXPECT_TRUE(wire_->Log().empty());
  EXPECT_EQ(feedback_.boxes, std::vector<RecordedMessageBox>(
                                 {{"LBA 4294967296 is larger than 4294967295", kErrorCaption, MessageIcon::Error}}));
  EXPECT_EQ(state_->FlashOption, option);
}

}  // namespace
}  // namespace dozered
