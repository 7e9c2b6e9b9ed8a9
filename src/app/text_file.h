// Line reading of the tool's small text files, the way a Windows program
// reading in text mode sees them: "\r\n" is a line end like "\n", and no
// carriage return is left at the end of a line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dozered {

// The longest line the configuration files are read with.
inline constexpr std::size_t kConfigLineLimit = 99;

// Reads the lines of the file at `path` into `lines`, without their line
// ends. A line longer than `limit` characters keeps its first `limit`
// characters; the rest of that line is dropped (it does not become a line of
// its own). Returns false when the file cannot be opened.
bool ReadTextLines(const std::string& path, std::size_t limit, std::vector<std::string>& lines);

// The same on text already in memory.
std::vector<std::string> SplitTextLines(const std::string& text, std::size_t limit);

}  // namespace dozered
