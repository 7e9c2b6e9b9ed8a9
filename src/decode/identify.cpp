#include "decode/identify.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>

#include "decode/ini_table.h"
#include "protocol/record_text.h"

namespace dozered {
namespace {

enum class Format { Hex, HexDec, HexNs, HexMin, Dword };

struct BitText {
  int bit;
  const char* text;
};

class Builder {
 public:
  explicit Builder(const std::array<uint8_t, kIdentifySize>& copy) : d_(copy) {}

  unsigned Word(int w) const { return static_cast<unsigned>(d_[2 * w] | (d_[2 * w + 1] << 8)); }
  unsigned Dword(int w) const { return Word(w) | (Word(w + 1) << 16); }
  bool Bit(int w, int b) const { return ((Word(w) >> b) & 1u) != 0; }

  void Line(const char* title, std::string description) {
    rows_.push_back({title, std::move(description)});
  }
  void BitLine(std::string text) { rows_.push_back({"", std::move(text)}); }

  void WordLine(int w, const char* title, Format format, std::initializer_list<BitText> bits = {}) {
    char buf[64];
    const unsigned v = Word(w);
    switch (format) {
      case Format::Hex: std::snprintf(buf, sizeof buf, "0x%04X", v); break;
      case Format::HexDec: std::snprintf(buf, sizeof buf, "0x%04X(%d)", v, static_cast<int>(v)); break;
      case Format::HexNs: std::snprintf(buf, sizeof buf, "0x%04X(%dnS)", v, static_cast<int>(v)); break;
      case Format::HexMin: std::snprintf(buf, sizeof buf, "0x%04X(%02dmin)", v, static_cast<int>(2 * v)); break;
      case Format::Dword: std::snprintf(buf, sizeof buf, "0x%08X", Dword(w)); break;
    }
    Line(title, buf);
    for (const BitText& b : bits) {
      if (Bit(w, b.bit)) BitLine(b.text);
    }
  }

  // A text field of the swapped copy, which reads in order.
  void TextLine(int firstWord, int chars, const char* title) {
    Line(title, RecordText(d_, 2 * static_cast<size_t>(firstWord), static_cast<size_t>(chars)));
  }

  Rows Take() { return std::move(rows_); }

 private:
  const std::array<uint8_t, kIdentifySize>& d_;
  Rows rows_;
};

void BuiltInTable(Builder& b) {
  b.WordLine(0, "WORD 0: Configuration", Format::Hex);
  b.WordLine(1, "WORD 1: Default Cylinder", Format::HexDec);
  b.WordLine(3, "WORD 3: Default Head", Format::HexDec);
  b.WordLine(6, "WORD 6: Default SectorPerTrack", Format::HexDec);
  b.WordLine(7, "WORD 7-8: SectorPerTrack", Format::Dword);
  b.TextLine(10, 20, "WORD 10-19: Serial Number");
  b.WordLine(22, "WORD 22: ECC Count", Format::Hex);
  b.TextLine(23, 8, "WORD 23-26: Firmware Revision");
  b.TextLine(27, 40, "WORD 27-46: Model Number");
  b.WordLine(47, "WORD 47: Multiple Sector Count", Format::Hex);
  b.WordLine(49, "WORD 49: Capabilities", Format::Hex,
             {{8, "DMA Mode Support"}, {9, "LBA Mode Support"}, {10, "IORDY may be disabled"}});
  b.WordLine(53, "WORD 53: Translation Parameter Valid", Format::Hex,
             {{0, "Word 54-58 are valid"}, {1, "Word 64-70 are valid"}, {2, "Word 88 are valid"}});
  b.WordLine(54, "WORD 54: Current Cylinder", Format::HexDec);
  b.WordLine(55, "WORD 55: Current Head", Format::HexDec);
  b.WordLine(56, "WORD 56: Current SectorPerTrack", Format::HexDec);
  b.WordLine(57, "WORD 57-58: Current Capacity", Format::Dword);
  b.WordLine(59, "WORD 59: Multiple Sector Sector Setting", Format::Hex,
             {{8, "Multiple Sector Setting is valid"}});
  {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Current Sector Number of Multiple R/W:0x%02X", b.Word(59) & 0xFFu);
    b.BitLine(buf);
  }
  b.WordLine(60, "WORD 60-61: LBA Sector Addressable", Format::Dword);
  b.WordLine(63, "WORD 63: MultiWord DMA Transfer", Format::Hex,
             {{0, "MDMA Mode 0 supported"},
              {1, "MDMA Mode 1 and below are supported"},
              {2, "MDMA Mode 2 and below are supported"}});
  if (b.Bit(53, 1)) {
    b.WordLine(64, "WORD 64: Advanced PIO Transfer Mode Supported", Format::Hex,
               {{0, "PIO mode 3 supported"}, {1, "PIO mode 4 supported"}});
    b.WordLine(65, "WORD 65: Minimum Multiword DMA transfer cycle time", Format::HexNs);
    b.WordLine(66, "WORD 66: Recommended Multiword DMA transfer cycle time", Format::HexNs);
    b.WordLine(67, "WORD 67: Minimum PIO transfer cycle time without flow control", Format::HexNs);
    b.WordLine(68, "WORD 68: Minimum PIO transfer cycle time with IORDY flow control", Format::HexNs);
  }
  b.WordLine(76, "WORD 76: Serial ATA Capabilities", Format::Hex,
             {{1, "Supports SATA Gen1 Signaling Speed (1.5Gb/s)"},
              {2, "Supports SATA Gen2 Signaling Speed (3.0Gb/s)"},
              {3, "Supports SATA Gen3 Signaling Speed (6.0Gb/s)"},
              {8, "Supports the NCQ feature set"},
              {9, "Supports receipt of host initiated power management requests"},
              {10, "Supports Phy Event Counters"}});
  b.WordLine(77, "WORD 77: Serial ATA Additional Capabilities", Format::Hex);
  b.WordLine(78, "WORD 78: Serial ATA features supported", Format::Hex,
             {{1, "Device supports non-zero buffer offsets"},
              {2, "Device supports DMA Setup auto-activation"},
              {3, "Device supports initiating power management"},
              {4, "Device supports in-order data delivery"},
              {5, "Hardware Feature Control is supported"},
              {6, "Device supports Software Settings Preservation"},
              {8, "Device Sleep supported"}});
  b.WordLine(79, "WORD 79: Serial ATA features enabled", Format::Hex,
             {{1, "Non-zero buffer offsets enabled"},
              {2, "DMA Setup auto-activation enabled"},
              {3, "Device initiated power management enabled"},
              {4, "In-order data delivery enabled"},
              {5, "Hardware Feature Control enabled"},
              {6, "Software Settings Preservation enabled"},
              {8, "Device Sleep enabled"}});
  b.WordLine(80, "WORD 80: Major revision number", Format::Hex,
             {{4, "supports ATA/ATAPI-4"},
              {5, "supports ATA/ATAPI-5"},
              {6, "supports ATA/ATAPI-6"},
              {7, "supports ATA/ATAPI-7"},
              {8, "supports ATA/ATAPI-8"},
              {9, "supports ACS2"}});
  b.WordLine(82, "WORD 82: Command and Feature Set Support", Format::Hex,
             {{0, "The SMART feature set is supported"},
              {1, "The Security feature set is supported"},
              {3, "Mandatory Power Management feature set is supported"},
              {5, "The volatile write cache is supported"},
              {6, "Read look-ahead is supported"},
              {7, "The release interrupt is supported"},
              {8, "The SERVICE interrupt is supported"},
              {10, "The HPA feature set is supported"},
              {12, "The WRITE BUFFER command is supported"},
              {13, "The READ BUFFER command is supported"},
              {14, "The NOP command is supported"}});
  b.WordLine(83, "WORD 83: Command and Feature Set Support", Format::Hex,
             {{0, "The DOWNLOAD MICROCODE command is supported"},
              {1, "The TCQ feature set is supported"},
              {2, "The CFA feature set is supported"},
              {3, "The Advance Power Management feature set is supported"},
              {5, "The PUIS feature set is supported"},
              {6, "SET FEATURES subcommand is required to spin-up after power-up"},
              {8, "The SET MAX security extension is supported"},
              {9, "The AAM feature set is supported"},
              {10, "The 48-bit Address feature set is supported"},
              {11, "The DCO feature set is supported"},
              {12, "FLUSH CACHE command is supported"},
              {13, "The FLUSH CACHE EXT command is supported"}});
  b.WordLine(84, "WORD 84: Command and Feature Set Support", Format::Hex,
             {{0, "SMART error logging is supported"},
              {1, "The SMART self-test is supported"},
              {2, "Media serial number is supported"},
              {3, "The Media Card Pass Through Command feature set is supported"},
              {4, "The Streaming feature set is supported"},
              {5, "The GPL feature set is supported"},
              {6, "The WRITE DMA FUA EXT and WRITE MULTIPLE FUA EXT commands are supported"},
              {7, "The WRITE DMA QUEUED FUA EXT command is supported"},
              {8, "The 64-bit World wide name is supported"},
              {13, "The IDLE IMMEDIATE command with UNLOAD feature is supported"}});
  b.WordLine(85, "WORD 85: Command and Feature Set Enabled", Format::Hex,
             {{0, "The SMART feature set is enabled"},
              {1, "The Security feature set is enabled"},
              {3, "Mandatory Power Management feature set is enabled"},
              {5, "The volatile write cache is enabled"},
              {6, "Read look-ahead is enabled"},
              {7, "The release interrupt is enabled"},
              {8, "The SERVICE interrupt is enabled"},
              {10, "HPA has been established"},
              {12, "The WRITE BUFFER command is enabled"},
              {13, "The READ BUFFER command is enabled"},
              {14, "The NOP command is enabled"}});
  b.WordLine(86, "WORD 86: Command and Feature Set Enabled", Format::Hex,
             {{0, "The DOWNLOAD MICROCODE command is supported"},
              {1, "The TCQ feature set is supported"},
              {2, "The CFA feature set is supported"},
              {3, "The Advance Power Management feature set is enabled"},
              {5, "The PUIS feature set is enabled"},
              {6, "SET FEATURES subcommand is required to spin-up after power-up"},
              {8, "the SET MAX security extension is enabled by SET MAX SET PASSWORD"},
              {9, "The AAM feature set is enabled"},
              {10, "The 48-bit Address feature set is supported"},
              {11, "The DCO feature set is supported"},
              {12, "FLUSH CACHE command is supported"},
              {13, "The FLUSH CACHE EXT command is supported"},
              {15, "Words 119-120 are valid"}});
  b.WordLine(87, "WORD 87: Command and Feature Set Enabled", Format::Hex,
             {{0, "SMART error logging is supported"},
              {1, "The SMART self-test is supported"},
              {2, "Media serial number is valid"},
              {3, "The Media Card Pass Through Command feature set is supported"},
              {5, "The GPL feature set is supported"},
              {6, "The WRITE DMA FUA EXT and WRITE MULTIPLE FUA EXT commands are supported"},
              {7, "The WRITE DMA QUEUED FUA EXT command is supported"},
              {8, "The 64-bit World wide name is supported"},
              {13, "The IDLE IMMEDIATE command with UNLOAD feature is supported"}});
  b.WordLine(88, "WORD 88: Ultra DMA modes supported and selected", Format::Hex);
  if (b.Bit(88, 0)) b.BitLine("Ultra DMA mode 0 is supported");
  for (int mode = 1; mode <= 6; ++mode) {
    if (b.Bit(88, mode)) b.BitLine("Ultra DMA mode " + std::to_string(mode) + " and below are supported");
  }
  for (int mode = 0; mode <= 6; ++mode) {
    if (b.Bit(88, mode + 8)) b.BitLine("Ultra DMA mode " + std::to_string(mode) + " is selected");
  }
  b.WordLine(89, "WORD 89: Time required for SECURITY ERASE UNIT command", Format::HexMin);
  b.WordLine(90, "WORD 90: Time required for Enhanced SECURITY ERASE UNIT command", Format::HexMin);
  b.WordLine(91, "WORD 91: Current Advanced Power Management level value", Format::HexMin);
  {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%04X%08X", b.Dword(102), b.Dword(100));
    b.Line("WORD 100-103: Total LBA for the 48-bit Address feature set", buf);
  }
  b.WordLine(128, "WORD 128: Security status", Format::Hex);
  if (!b.Bit(128, 0)) {
    b.BitLine("Security unsupported");
  } else {
    b.BitLine("Security supported");
    b.BitLine(b.Bit(128, 1) ? "Security enabled" : "Security disabled");
    b.BitLine(b.Bit(128, 2) ? "Security locked" : "Security unlocked");
    b.BitLine(b.Bit(128, 3) ? "Security frozen" : "Security unfrozen");
    if (b.Bit(128, 4)) b.BitLine("Security count expired");
    if (b.Bit(128, 5)) b.BitLine("Enhanced security erase supported");
    b.BitLine(b.Bit(128, 8) ? "Mater Password Capability:Maximum" : "Mater Password Capability:High");
  }
  b.WordLine(160, "WORD 160: CFA power mode", Format::Hex);
  b.WordLine(222, "WORD 222: Transport major version number", Format::Hex,
             {{0, "ATA8-AST"}, {1, "SATA 1.0a"}, {2, "SATA II: Extensions"}, {3, "SATA Rev 2.5"}, {4, "SATA Rev 2.6"}});
  switch (b.Word(222) >> 12) {
    case 0: b.BitLine("Transport Type:Parallel"); break;
    case 1: b.BitLine("Transport Type:Serial"); break;
    default: b.BitLine("Transport Type:Reserved"); break;
  }
}

}  // namespace

std::array<uint8_t, kIdentifySize> SwapIdentifyTexts(std::span<const uint8_t> data) {
  std::array<uint8_t, kIdentifySize> copy{};
  std::copy_n(data.begin(), std::min(data.size(), copy.size()), copy.begin());
  auto swapWords = [&copy](int first, int last) {
    for (int w = first; w <= last; ++w) std::swap(copy[2 * w], copy[2 * w + 1]);
  };
  swapWords(23, 26);
  swapWords(27, 46);
  swapWords(10, 19);
  return copy;
}

Rows DecodeIdentify(std::span<const uint8_t> data, const IniFile* ecTable) {
  const std::array<uint8_t, kIdentifySize> copy = SwapIdentifyTexts(data);
  if (ecTable != nullptr) return DecodeIniTable(copy, *ecTable, TableTarget::IdentifyTable);
  Builder builder(copy);
  BuiltInTable(builder);
  return builder.Take();
}

}  // namespace dozered
