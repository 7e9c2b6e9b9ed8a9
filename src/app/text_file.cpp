#include "app/text_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace dozered {

std::vector<std::string> SplitTextLines(const std::string& text, std::size_t limit) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;  // "\r\n", or a last line ending in '\r'
    lines.push_back(text.substr(start, std::min(stop - start, limit)));
    start = end + 1;
  }
  return lines;
}

bool ReadTextLines(const std::string& path, std::size_t limit, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  lines = SplitTextLines(text, limit);
  return true;
}

}  // namespace dozered
