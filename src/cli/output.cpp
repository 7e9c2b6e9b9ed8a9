#include "cli/output.h"

#include <cctype>

namespace dozered::cli {

CommandResult Failure(int exitCode, std::string error, std::optional<int32_t> result) {
  CommandResult failed;
  failed.exitCode = exitCode;
  failed.error = std::move(error);
  failed.result = result;
  return failed;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

std::string JsonKey(const std::string& caption) {
  std::string key;
  bool gap = false;
  for (char c : caption) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u)) {
      if (gap && !key.empty()) key.push_back('_');
      key.push_back(static_cast<char>(std::tolower(u)));
      gap = false;
    } else {
      gap = true;
    }
  }
  return key;
}

}  // namespace dozered::cli
