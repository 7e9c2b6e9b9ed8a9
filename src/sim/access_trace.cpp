#include "sim/access_trace.h"

namespace dozered::sim {

AccessTrace::AccessTrace(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "ab");
}

AccessTrace::~AccessTrace() {
  if (file_ != nullptr) std::fclose(file_);
}

void AccessTrace::Record(uint64_t number, bool write, uint64_t lba, uint32_t count, const char* result,
                         const std::string& note) {
  if (file_ == nullptr) return;
  std::fprintf(file_, "%llu %c LBA 0x%08llX count %u %s%s%s\r\n", static_cast<unsigned long long>(number),
               write ? 'W' : 'R', static_cast<unsigned long long>(lba), count, result, note.empty() ? "" : " ",
               note.c_str());
  std::fflush(file_);
}

}  // namespace dozered::sim
