#include "sim/drive_state_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "sim/drive_model.h"
#include "sim/sim_hash.h"

namespace dozered::sim {

// The journal file, held open and locked against every other writer while a
// drive uses it.
class JournalFile {
 public:
  enum class Outcome { kOk, kInUse, kFailed };

  static std::unique_ptr<JournalFile> Open(const std::string& path, bool create, Outcome* outcome) {
#ifdef _WIN32
    int fd = -1;
    const int flags = _O_RDWR | _O_BINARY | (create ? _O_CREAT | _O_EXCL : 0);
    const errno_t error = _sopen_s(&fd, path.c_str(), flags, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    if (error != 0) {
      *outcome = error == EACCES ? Outcome::kInUse : Outcome::kFailed;
      return nullptr;
    }
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0), 0644);
    if (fd < 0) {
      *outcome = Outcome::kFailed;
      return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      *outcome = errno == EWOULDBLOCK ? Outcome::kInUse : Outcome::kFailed;
      ::close(fd);
      return nullptr;
    }
#endif
    *outcome = Outcome::kOk;
    return std::unique_ptr<JournalFile>(new JournalFile(fd));
  }

  ~JournalFile() {
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
  }

  bool ReadAll(std::vector<uint8_t>& out) {
    out.clear();
    if (!Seek(0)) return false;
    uint8_t chunk[1 << 16];
    for (;;) {
#ifdef _WIN32
      const int n = _read(fd_, chunk, sizeof chunk);
#else
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
#endif
      if (n < 0) return false;
      if (n == 0) return true;
      out.insert(out.end(), chunk, chunk + n);
    }
  }

  bool Append(const uint8_t* data, size_t length) {
    if (!SeekEnd()) return false;
    while (length > 0) {
#ifdef _WIN32
      const int n = _write(fd_, data, static_cast<unsigned>(std::min<size_t>(length, 1u << 30)));
#else
      const ssize_t n = ::write(fd_, data, length);
#endif
      if (n <= 0) return false;
      data += n;
      length -= static_cast<size_t>(n);
    }
    return true;
  }

  bool Truncate(uint64_t size) {
#ifdef _WIN32
    return _chsize_s(fd_, static_cast<long long>(size)) == 0;
#else
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
#endif
  }

 private:
  explicit JournalFile(int fd) : fd_(fd) {}
  bool Seek(uint64_t at) {
#ifdef _WIN32
    return _lseeki64(fd_, static_cast<long long>(at), SEEK_SET) >= 0;
#else
    return ::lseek(fd_, static_cast<off_t>(at), SEEK_SET) >= 0;
#endif
  }
  bool SeekEnd() {
#ifdef _WIN32
    return _lseeki64(fd_, 0, SEEK_END) >= 0;
#else
    return ::lseek(fd_, 0, SEEK_END) >= 0;
#endif
  }

  int fd_;
};

namespace {

constexpr char kMagic[8] = {'D', 'Z', 'S', 'I', 'M', 'S', 'T', '2'};
constexpr char kMagicV1[8] = {'D', 'Z', 'S', 'I', 'M', 'S', 'T', '1'};
constexpr size_t kHeaderBytes = 16;
constexpr size_t kFrameBytes = 1 + 4 + 4;  // type, payload length, CRC

// Record types.
constexpr uint8_t kHostWrite = 'W';
constexpr uint8_t kFlush = 'F';
constexpr uint8_t kProgram = 'P';
constexpr uint8_t kErase = 'E';
constexpr uint8_t kMode = 'M';
constexpr uint8_t kCounters = 'C';
constexpr uint8_t kSnapshotBegin = 'B';  // drive state without the stored pages
constexpr uint8_t kSnapshotPage = 'Q';   // one stored page
constexpr uint8_t kSnapshotEnd = 'Z';

// Records of the first journal format, without framing.
constexpr uint8_t kV1UserWrite = 'U';

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length) {
  const auto& table = CrcTable();
  crc = ~crc;
  for (size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Le64(const uint8_t* p) { return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

void Put(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void PutBlob(std::vector<uint8_t>& out, const std::vector<uint8_t>& blob) {
  Put(out, blob.size(), 8);
  out.insert(out.end(), blob.begin(), blob.end());
}

// One framed record: type, payload length, payload, CRC of all before it.
void Frame(std::vector<uint8_t>& out, uint8_t type, const uint8_t* head, size_t headLength, const uint8_t* data,
           size_t dataLength) {
  const size_t at = out.size();
  out.push_back(type);
  Put(out, headLength + dataLength, 4);
  if (headLength > 0) out.insert(out.end(), head, head + headLength);
  if (dataLength > 0) out.insert(out.end(), data, data + dataLength);
  Put(out, Crc32(0, out.data() + at, out.size() - at), 4);
}

void Header(std::vector<uint8_t>& out, uint64_t fingerprint) {
  out.insert(out.end(), kMagic, kMagic + 8);
  Put(out, fingerprint, 8);
}

uint64_t FingerprintOf(std::initializer_list<uint64_t> values) {
  uint64_t h = 0x0D0E5ED5u;
  for (uint64_t v : values) h = SplitMix64(h ^ v);
  return h;
}

bool ReadFileHead(const std::string& path, uint8_t* out, size_t length, size_t* got) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  *got = std::fread(out, 1, length, f);
  std::fclose(f);
  return true;
}

std::string SetAsideName(const std::string& path) {
  std::error_code error;
  for (int n = 1; n < 1000; ++n) {
    const std::string name = path + (n == 1 ? std::string(".damaged") : ".damaged" + std::to_string(n));
    if (!std::filesystem::exists(name, error)) return name;
  }
  return std::string();
}

}  // namespace

DriveStateFile::DriveStateFile(const std::string& path, const DriveConfig& config)
    : path_(path), fingerprint_(Fingerprint(config)), limit_(config.stateJournalLimit) {
  // The fingerprint of the first journal format: seed and geometry only.
  const FlashGeometry& g = config.geometry;
  uint64_t h = SplitMix64(config.seed);
  for (int v : {g.channels, g.ces, g.interleaveWays, g.planes, g.blocksPerCe, g.pagesPerBlock, g.pageSizeKiB, g.spareBytes}) {
    h = SplitMix64(h ^ static_cast<uint64_t>(v));
  }
  fingerprintV1_ = h;
}

DriveStateFile::~DriveStateFile() { Close(); }

uint64_t DriveStateFile::Fingerprint(const DriveConfig& c) {
  // Everything that decides what a replay makes of the records.
  const FlashGeometry& g = c.geometry;
  return FingerprintOf({c.seed, static_cast<uint64_t>(c.kind), static_cast<uint64_t>(g.channels),
                        static_cast<uint64_t>(g.ces), static_cast<uint64_t>(g.interleaveWays),
                        static_cast<uint64_t>(g.planes), static_cast<uint64_t>(g.blocksPerCe),
                        static_cast<uint64_t>(g.pagesPerBlock), static_cast<uint64_t>(g.pageSizeKiB),
                        static_cast<uint64_t>(g.spareBytes), static_cast<uint64_t>(c.averageEraseCount),
                        static_cast<uint64_t>(c.ratedCycles), c.capacityOverride});
}

void DriveStateFile::Fail(const std::string& why) {
  note_ = why;
  file_.reset();
}

bool DriveStateFile::Open(Firmware& firmware, HostData& host) {
  firmware_ = &firmware;
  host_ = &host;
  std::error_code error;
  const bool exists = std::filesystem::exists(path_, error);
  if (!exists) {
    JournalFile::Outcome outcome;
    file_ = JournalFile::Open(path_, true, &outcome);
    if (!file_) {
      note_ = "state file " + path_ + (outcome == JournalFile::Outcome::kInUse ? " is in use by another drive" : " cannot be created") +
              "; this drive keeps no state";
      return false;
    }
    std::vector<uint8_t> header;
    Header(header, fingerprint_);
    if (!file_->Append(header.data(), header.size())) {
      Fail("state file " + path_ + " cannot be written; this drive keeps no state");
      return false;
    }
    journalBytes_ = header.size();
    return true;
  }

  // Look before writing anything: only a journal of this very drive is used.
  uint8_t head[kHeaderBytes];
  size_t got = 0;
  if (!ReadFileHead(path_, head, sizeof head, &got)) {
    note_ = "state file " + path_ + " cannot be read; it is left as it is and this drive keeps no state";
    return false;
  }
  const bool empty = got == 0;  // nothing in it to lose: it becomes the journal
  const bool v2 = got == kHeaderBytes && std::memcmp(head, kMagic, 8) == 0;
  const bool v1 = got == kHeaderBytes && std::memcmp(head, kMagicV1, 8) == 0;
  if (!empty && !v2 && !v1) {
    note_ = "state file " + path_ + " is not a state journal; it is left as it is and this drive keeps no state";
    return false;
  }
  if ((v2 && Le64(head + 8) != fingerprint_) || (v1 && Le64(head + 8) != fingerprintV1_)) {
    note_ = "state file " + path_ +
            " is the journal of another drive (other seed, geometry, wear or capacity); it is left as it is and this "
            "drive keeps no state";
    return false;
  }
  JournalFile::Outcome outcome;
  file_ = JournalFile::Open(path_, false, &outcome);
  if (!file_) {
    note_ = "state file " + path_ +
            (outcome == JournalFile::Outcome::kInUse ? " is in use by another drive" : " cannot be opened for writing") +
            "; this drive keeps no state";
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!file_->ReadAll(bytes)) {
    Fail("state file " + path_ + " cannot be read; this drive keeps no state");
    return false;
  }
  if (empty || bytes.size() < kHeaderBytes) {
    std::vector<uint8_t> header;
    Header(header, fingerprint_);
    if (!file_->Truncate(0) || !file_->Append(header.data(), header.size())) {
      Fail("state file " + path_ + " cannot be written; this drive keeps no state");
      return false;
    }
    journalBytes_ = header.size();
    return true;
  }

  size_t stopAt = 0;
  const Stop stop = v1 ? ReplayV1(bytes, &stopAt) : Replay(bytes, &stopAt);
  ++firmware.model().counters.powerCycles;  // this start is one more
  if (stop == Stop::kDamaged) {
    const std::string aside = SetAsideName(path_);
    file_.reset();
    std::filesystem::rename(path_, aside, error);
    if (aside.empty() || error) {
      note_ = "state journal " + path_ + " is damaged at byte " + std::to_string(stopAt) +
              " and cannot be set aside; it is left as it is and this drive keeps no state";
      return false;
    }
    note_ = "state journal " + path_ + " was damaged at byte " + std::to_string(stopAt) + "; it was set aside as " +
            aside + " and the state recorded before that point is kept";
    return WriteSnapshotJournal();
  }
  if (v1) return WriteSnapshotJournal();  // the first format is rewritten in the current one
  if (stop == Stop::kCutOff) {
    // A record cut off at the end: the drive went away while writing it.
    if (!file_->Truncate(stopAt)) {
      Fail("state file " + path_ + " cannot be written; this drive keeps no state");
      return false;
    }
  }
  journalBytes_ = stopAt;
  return true;
}

DriveStateFile::Stop DriveStateFile::Replay(const std::vector<uint8_t>& bytes, size_t* stopAt) {
  DriveModel& model = firmware_->model();
  size_t at = kHeaderBytes;
  snapshotOpen_ = false;
  while (at < bytes.size()) {
    *stopAt = at;
    const size_t left = bytes.size() - at;
    if (left < kFrameBytes) return Stop::kCutOff;
    const uint8_t type = bytes[at];
    const uint32_t length = Le32(bytes.data() + at + 1);
    if (length > left - kFrameBytes) return Stop::kCutOff;
    const uint8_t* p = bytes.data() + at + 5;
    const size_t end = at + kFrameBytes + length;
    if (Crc32(0, bytes.data() + at, 5 + static_cast<size_t>(length)) != Le32(p + length)) {
      // A torn last record reads as a bad CRC that ends the file.
      return end == bytes.size() ? Stop::kCutOff : Stop::kDamaged;
    }
    bool ok = true;
    if (type == kSnapshotBegin && at != kHeaderBytes) {
      ok = false;  // a snapshot starts the journal
    } else if (type == kSnapshotBegin || type == kSnapshotPage || type == kSnapshotEnd) {
      ok = ApplySnapshotPart(type, p, length);
      if (ok && type == kSnapshotEnd) snapshotBytes_ = end;
    } else if (snapshotOpen_) {
      ok = false;  // a snapshot without its end
    } else if (type == kHostWrite && length >= 12 && (length - 12) % 512 == 0 && Le32(p + 8) == (length - 12) / 512) {
      host_->Write(Le64(p), Le32(p + 8), p + 12);
    } else if (type == kFlush && length == 0) {
      model.ftl.Flush();
    } else if (type == kProgram && length >= 16 && Le32(p + 12) == length - 16) {
      firmware_->RestoreProgram(static_cast<int>(Le32(p)), static_cast<int>(Le32(p + 4)), Le32(p + 8), p + 16,
                                Le32(p + 12));
    } else if (type == kErase && length == 4) {
      firmware_->RestoreErase(static_cast<int>(Le32(p)));
    } else if (type == kMode && length == 1 && p[0] <= 2) {
      firmware_->RestoreMode(p[0]);
    } else if (type == kCounters && length == 32) {
      model.counters.hostSectorsRead = Le64(p);
      model.counters.hostSectorsWritten = Le64(p + 8);
      model.counters.uncorrectableReads = Le64(p + 16);
      model.counters.powerCycles = Le32(p + 24);
      model.counters.powerOnHours = Le32(p + 28);
    } else {
      ok = false;
    }
    if (!ok) return Stop::kDamaged;
    ++replayed_;
    at = end;
  }
  *stopAt = at;
  return snapshotOpen_ ? Stop::kDamaged : Stop::kEnd;
}

DriveStateFile::Stop DriveStateFile::ReplayV1(const std::vector<uint8_t>& bytes, size_t* stopAt) {
  size_t at = kHeaderBytes;
  while (at < bytes.size()) {
    *stopAt = at;
    const uint8_t type = bytes[at];
    const size_t left = bytes.size() - at - 1;
    const uint8_t* p = bytes.data() + at + 1;
    if (type == kV1UserWrite && left >= 8 + 512) {
      host_->Write(Le64(p), 1, p + 8);
      at += 1 + 8 + 512;
    } else if (type == kProgram && left >= 16 && left >= 16 + static_cast<size_t>(Le32(p + 12))) {
      const uint32_t length = Le32(p + 12);
      firmware_->RestoreProgram(static_cast<int>(Le32(p)), static_cast<int>(Le32(p + 4)), Le32(p + 8), p + 16, length);
      at += 1 + 16 + length;
    } else if (type == kErase && left >= 4) {
      firmware_->RestoreErase(static_cast<int>(Le32(p)));
      at += 1 + 4;
    } else if (type == kMode && left >= 1) {
      firmware_->RestoreMode(p[0]);
      at += 1 + 1;
    } else {
      return Stop::kCutOff;  // the first format ends at an unknown or cut-off record
    }
    ++replayed_;
  }
  *stopAt = at;
  return Stop::kEnd;
}

// The snapshot: 'B' holds the drive's state apart from the stored flash
// pages, one 'Q' per stored page follows, 'Z' closes it.
bool DriveStateFile::ApplySnapshotPart(uint8_t type, const uint8_t* p, size_t length) {
  DriveModel& model = firmware_->model();
  if (type == kSnapshotPage) return snapshotOpen_ && model.flash.LoadPage(p, length);
  if (type == kSnapshotEnd) {
    const bool ok = snapshotOpen_ && length == 0;
    snapshotOpen_ = false;
    return ok;
  }
  if (snapshotOpen_ || length < 1 + 2 + 32 || p[0] > 2) return false;
  model.cardMode = p[0];
  model.flashClock = static_cast<uint16_t>(p[1] | (p[2] << 8));
  model.counters.hostSectorsRead = Le64(p + 3);
  model.counters.hostSectorsWritten = Le64(p + 11);
  model.counters.uncorrectableReads = Le64(p + 19);
  model.counters.powerCycles = Le32(p + 27);
  model.counters.powerOnHours = Le32(p + 31);
  size_t at = 35;
  auto blob = [&](const uint8_t** data, size_t* size) {
    if (length - at < 8) return false;
    const uint64_t n = Le64(p + at);
    at += 8;
    if (n > length - at) return false;
    *data = p + at;
    *size = static_cast<size_t>(n);
    at += static_cast<size_t>(n);
    return true;
  };
  const uint8_t* part;
  size_t size;
  if (!blob(&part, &size) || !model.flash.LoadBlockTable(part, size)) return false;
  if (!blob(&part, &size) || !model.badBlocks.Load(part, size)) return false;
  if (!blob(&part, &size) || !model.ftl.Load(part, size)) return false;
  snapshotOpen_ = true;
  return at == length;
}

bool DriveStateFile::WriteSnapshotJournal() {
  DriveModel& model = firmware_->model();
  const std::string fresh = path_ + ".new";
  std::error_code error;
  if (std::filesystem::exists(fresh, error)) {
    // A compaction that did not finish leaves its file behind; anything else
    // under that name is not ours to remove.
    uint8_t head[kHeaderBytes];
    size_t got = 0;
    if (!ReadFileHead(fresh, head, sizeof head, &got) || got != kHeaderBytes || std::memcmp(head, kMagic, 8) != 0 ||
        Le64(head + 8) != fingerprint_ || !std::filesystem::remove(fresh, error)) {
      Fail("state file " + path_ + " cannot be compacted: " + fresh + " is in the way; this drive keeps no more state");
      return false;
    }
  }
  JournalFile::Outcome outcome;
  std::unique_ptr<JournalFile> out = JournalFile::Open(fresh, true, &outcome);
  if (!out) {
    Fail("state file " + fresh + " cannot be created; this drive keeps no more state");
    return false;
  }
  std::vector<uint8_t> buffer;
  uint64_t written = 0;
  bool ok = true;
  auto emit = [&](bool force) {
    if (!force && buffer.size() < (1u << 20)) return;
    ok = ok && out->Append(buffer.data(), buffer.size());
    written += buffer.size();
    buffer.clear();
  };
  Header(buffer, fingerprint_);
  std::vector<uint8_t> state;
  state.push_back(static_cast<uint8_t>(model.cardMode));
  Put(state, model.flashClock, 2);
  Put(state, model.counters.hostSectorsRead, 8);
  Put(state, model.counters.hostSectorsWritten, 8);
  Put(state, model.counters.uncorrectableReads, 8);
  Put(state, model.counters.powerCycles, 4);
  Put(state, model.counters.powerOnHours, 4);
  std::vector<uint8_t> part;
  model.flash.SaveBlockTable(part);
  PutBlob(state, part);
  part.clear();
  model.badBlocks.Save(part);
  PutBlob(state, part);
  part.clear();
  model.ftl.Save(part);
  PutBlob(state, part);
  Frame(buffer, kSnapshotBegin, nullptr, 0, state.data(), state.size());
  state.clear();
  state.shrink_to_fit();
  model.flash.SavePages([&](const std::vector<uint8_t>& page) {
    Frame(buffer, kSnapshotPage, nullptr, 0, page.data(), page.size());
    emit(false);
  });
  Frame(buffer, kSnapshotEnd, nullptr, 0, nullptr, 0);
  emit(true);
  if (!ok) {
    out.reset();
    std::filesystem::remove(fresh, error);
    Fail("state file " + fresh + " cannot be written; this drive keeps no more state");
    return false;
  }
#ifdef _WIN32
  // Windows renames no open file: let go of both, rename, and take the lock again.
  file_.reset();
  out.reset();
  std::filesystem::rename(fresh, path_, error);
  if (!error) out = JournalFile::Open(path_, false, &outcome);
#else
  // Renamed while both are locked, so that no other drive slips in between.
  std::filesystem::rename(fresh, path_, error);
#endif
  if (error || !out) {
    Fail("state file " + path_ + " cannot be replaced by its compacted journal; this drive keeps no more state");
    return false;
  }
  file_ = std::move(out);
  journalBytes_ = written;
  snapshotBytes_ = written;
  return true;
}

void DriveStateFile::Append(uint8_t type, const uint8_t* head, size_t headLength, const uint8_t* data,
                            size_t dataLength) {
  if (!file_) return;
  std::vector<uint8_t> record;
  record.reserve(kFrameBytes + headLength + dataLength);
  Frame(record, type, head, headLength, data, dataLength);
  if (!file_->Append(record.data(), record.size())) {
    Fail("state file " + path_ + " cannot be written; this drive keeps no more state");
    return;
  }
  journalBytes_ += record.size();
}

void DriveStateFile::OnHostWrite(uint64_t lba, uint32_t count, const uint8_t* data) {
  uint8_t head[12];
  for (int k = 0; k < 8; ++k) head[k] = static_cast<uint8_t>(lba >> (8 * k));
  for (int k = 0; k < 4; ++k) head[8 + k] = static_cast<uint8_t>(count >> (8 * k));
  Append(kHostWrite, head, sizeof head, data, static_cast<size_t>(count) * 512);
}

void DriveStateFile::OnFlashProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) {
  uint8_t head[16];
  const uint32_t values[4] = {static_cast<uint32_t>(blockIndex), static_cast<uint32_t>(page), offset, length};
  for (int v = 0; v < 4; ++v) {
    for (int k = 0; k < 4; ++k) head[4 * v + k] = static_cast<uint8_t>(values[v] >> (8 * k));
  }
  Append(kProgram, head, sizeof head, data, length);
}

void DriveStateFile::OnFlashErase(int blockIndex) {
  uint8_t head[4];
  for (int k = 0; k < 4; ++k) head[k] = static_cast<uint8_t>(static_cast<uint32_t>(blockIndex) >> (8 * k));
  Append(kErase, head, sizeof head, nullptr, 0);
}

void DriveStateFile::OnModeChange(int mode) {
  const uint8_t value = static_cast<uint8_t>(mode);
  Append(kMode, &value, 1, nullptr, 0);
}

void DriveStateFile::OnFtlFlush() { Append(kFlush, nullptr, 0, nullptr, 0); }

void DriveStateFile::Checkpoint() {
  if (!file_ || firmware_ == nullptr) return;
  const uint64_t grown = journalBytes_ - snapshotBytes_;
  if (grown > limit_ && grown > snapshotBytes_) WriteSnapshotJournal();
}

void DriveStateFile::Close() {
  if (!file_ || firmware_ == nullptr) return;
  const DriveCounters& c = firmware_->model().counters;
  std::vector<uint8_t> payload;
  Put(payload, c.hostSectorsRead, 8);
  Put(payload, c.hostSectorsWritten, 8);
  Put(payload, c.uncorrectableReads, 8);
  Put(payload, c.powerCycles, 4);
  Put(payload, c.powerOnHours, 4);
  Append(kCounters, nullptr, 0, payload.data(), payload.size());
  file_.reset();
}

}  // namespace dozered::sim
