// A trace of every sector access of a drive, one line each:
//   <access number> <R|W> LBA 0x<lba> count <n> <result> [<what it meant>]
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace dozered::sim {

class AccessTrace {
 public:
  explicit AccessTrace(const std::string& path);
  ~AccessTrace();
  AccessTrace(const AccessTrace&) = delete;
  AccessTrace& operator=(const AccessTrace&) = delete;

  bool open() const { return file_ != nullptr; }
  void Record(uint64_t number, bool write, uint64_t lba, uint32_t count, const char* result, const std::string& note);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace dozered::sim
