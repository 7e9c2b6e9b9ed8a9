// Decoded lines as the pages show them and the reports save them: one row per
// line, one text per column.
#pragma once

#include <string>
#include <vector>

namespace dozered {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

}  // namespace dozered
