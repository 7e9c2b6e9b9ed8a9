// Feeds random records and random layout files to every decoder. Built with
// libFuzzer by build.sh in this folder; not part of the normal build.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/card_info_decoder.h"
#include "decode/hex_dump.h"
#include "decode/identify.h"
#include "decode/ini_file.h"
#include "decode/ini_table.h"
#include "decode/record_decoders.h"
#include "decode/smart.h"
#include "decode/text_helpers.h"

namespace {

using namespace dozered;

std::string Number(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return std::to_string(in.ConsumeIntegralInRange(0, 9));
    case 1: return std::to_string(in.ConsumeIntegralInRange(0, 200));
    case 2: return std::to_string(in.ConsumeIntegral<uint32_t>());
    default: return in.ConsumeRandomLengthString(12);
  }
}

std::string List(FuzzedDataProvider& in) {
  std::string s;
  const int n = in.ConsumeIntegralInRange(0, 70);
  for (int i = 0; i < n; ++i) s += (in.ConsumeBool() ? "," : "") + std::to_string(in.ConsumeIntegralInRange(0, 80)) + ",";
  if (in.ConsumeBool()) s += in.ConsumeRandomLengthString(200);
  return s;
}

// A layout file built from the input: mostly well-formed keys with wild values.
std::string Layout(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return in.ConsumeRandomLengthString(4096);
  std::string s = "[Setting]\r\nUnitSize=" + Number(in) + "\r\nTotalUnitNum=" +
                  std::to_string(in.ConsumeIntegralInRange(0, 40)) + "\r\n";
  const int items = in.ConsumeIntegralInRange(0, 40);
  for (int i = 0; i < items; ++i) {
    s += "[item_" + std::to_string(in.ConsumeIntegralInRange(0, 40)) + "]\r\n";
    s += "ItemUnitOffset=" + Number(in) + "\r\n";
    s += "ItemUnitNum=" + Number(in) + "\r\n";
    s += "ItemBigEndian=" + Number(in) + "\r\n";
    s += "ItemStringMode=" + Number(in) + "\r\n";
    if (in.ConsumeBool()) s += "ItemDesc=" + in.ConsumeRandomLengthString(300) + "\r\n";
    s += "ItemBitEnable=" + Number(in) + "\r\n";
    s += "BitItemNum=" + List(in) + "\r\n";
    s += "BitItemMethod=" + List(in) + "\r\n";
    const int names = in.ConsumeIntegralInRange(0, 8);
    for (int k = 0; k < names; ++k) {
      const std::string key = in.ConsumeBool() ? "BitItem" + std::to_string(in.ConsumeIntegralInRange(0, 8))
                                               : "BitItem" + std::to_string(in.ConsumeIntegralInRange(0, 8)) + "_" +
                                                     std::to_string(in.ConsumeIntegralInRange(0, 70));
      s += key + "=" + in.ConsumeRandomLengthString(300) + "\r\n";
    }
  }
  return s;
}

std::vector<uint8_t> Bytes(FuzzedDataProvider& in, size_t maxSize) {
  return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, maxSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: {
      const std::vector<uint8_t> bytes = Bytes(in, 70000);
      std::vector<char> out(in.ConsumeIntegralInRange<size_t>(0, kHexDumpMaxTextSize + 100));
      FormatHexDump(bytes, out.data(), out.size());
      break;
    }
    case 1: {
      const IniFile layout = IniFile::FromText(Layout(in));
      const std::vector<uint8_t> record = Bytes(in, 600);
      DecodeIniTable(record, layout, TableTarget::CidOption);
      DecodeIniTable(record, layout, TableTarget::IdentifyTable);
      break;
    }
    case 2: {
      const bool withLayout = in.ConsumeBool();
      const IniFile layout = IniFile::FromText(withLayout ? Layout(in) : "");
      const std::vector<uint8_t> identify = Bytes(in, 600);
      DecodeIdentify(identify, withLayout ? &layout : nullptr);
      break;
    }
    case 3: {
      SmartNames names;
      for (auto& n : names) n = in.ConsumeRandomLengthString(8);
      DecodeSmart(Bytes(in, 600), names);
      AttributeNameTable table;
      for (auto& e : table) {
        for (auto& c : e) c = static_cast<char>(in.ConsumeIntegral<uint8_t>());
      }
      DecodeSmart(Bytes(in, 600), NamesFromTable(table));
      break;
    }
    case 4: {
      const std::vector<uint8_t> card = Bytes(in, 2048);
      DecodeCardInfo(CardInfo(card));
      DecodeErrorLog(Bytes(in, 64));
      break;
    }
    case 5: {
      const std::vector<uint8_t> card = Bytes(in, 2048);
      DecodeMarkBad(CardInfo(card), Bytes(in, 9000));
      break;
    }
    case 6: {
      const auto start = in.ConsumeIntegral<int16_t>();
      DecodeEraseCountTable(Bytes(in, 17000), start);
      const IniFile layout = IniFile::FromText(Layout(in));
      DecodeCid(Bytes(in, 200), &layout);
      break;
    }
    default: {
      const std::string text = in.ConsumeRandomLengthString(300);
      ParseDecimal(text, in.ConsumeIntegralInRange<size_t>(0, 400));
      ParseHex(text, in.ConsumeIntegralInRange<size_t>(0, 400));
      ListField(text, in.ConsumeIntegralInRange(-2, 100));
      PrintablePrefix(text);
      ExtractBits(in.ConsumeIntegral<uint64_t>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(),
                  in.ConsumeIntegralInRange<size_t>(0, 20));
      break;
    }
  }
  return 0;
}
