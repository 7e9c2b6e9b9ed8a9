// Reads a whole file, for tests that check what was written.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace dozered::testing {

// The bytes of the file at `path` into `bytes`; false when it cannot be opened.
inline bool ReadFileBytes(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace dozered::testing
