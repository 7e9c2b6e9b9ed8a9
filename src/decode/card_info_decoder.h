// Decoding of the 1,616-byte card information record into the lines of the
// Card Info page (one column "Item").
#pragma once

#include "decode/rows.h"
#include "protocol/card_info.h"

namespace dozered {

Rows DecodeCardInfo(const CardInfo& card);

}  // namespace dozered
