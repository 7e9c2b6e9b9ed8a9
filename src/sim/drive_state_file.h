// The state a simulated drive keeps across restarts: a journal of what
// changed it (host writes, flushes of the controller's page buffer, flash
// programs and erases through the vendor commands, the code mode, the
// counters), replayed in order when the drive starts. Everything the drive
// does follows deterministically from those, so a replay rebuilds the
// translation layer, the erase counts and the retired blocks exactly.
//
// - The journal begins with a signature and a fingerprint of the drive (seed,
//   geometry, wear settings, capacity). A file without the signature, or
//   with another drive's fingerprint, is never written to: the drive runs
//   without persistence and note() says why.
// - The journal is locked while a drive uses it; a second drive given the
//   same file runs without persistence (and says so) instead of mixing its
//   records into the first one's.
// - A record cut off at the end (a crash while writing it) is dropped. A
//   journal damaged before its end is replayed up to the damage, then set
//   aside under a new name (never deleted) and a fresh journal holding the
//   recovered state takes its place; note() names the file set aside.
// - When the journal has grown past its limit (and past the size of the
//   state itself), it is compacted: a snapshot of the whole state replaces
//   the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/drive_config.h"
#include "sim/firmware.h"
#include "sim/ftl.h"
#include "sim/user_data_store.h"

namespace dozered::sim {

class JournalFile;

class DriveStateFile final : public StateSink, public FtlJournal {
 public:
  DriveStateFile(const std::string& path, const DriveConfig& config);
  ~DriveStateFile() override;
  DriveStateFile(const DriveStateFile&) = delete;
  DriveStateFile& operator=(const DriveStateFile&) = delete;

  // Opens (or creates) the journal and replays it into the drive. False when
  // the drive runs without persistence; note() says why.
  bool Open(Firmware& firmware, HostData& host);
  bool active() const { return file_ != nullptr; }
  // What the journal had to say when it opened (empty when all went well).
  const std::string& note() const { return note_; }
  // Records replayed by Open.
  size_t replayed() const { return replayed_; }

  void OnHostWrite(uint64_t lba, uint32_t count, const uint8_t* data);
  void OnFlashProgram(int blockIndex, int page, uint32_t offset, const uint8_t* data, uint32_t length) override;
  void OnFlashErase(int blockIndex) override;
  void OnModeChange(int mode) override;
  void OnFtlFlush() override;
  // Called between sector accesses: compacts the journal when it has grown.
  void Checkpoint();
  // Writes the counters; the drive calls it when it goes away.
  void Close();

  static uint64_t Fingerprint(const DriveConfig& config);

 private:
  enum class Stop { kEnd, kCutOff, kDamaged };
  Stop Replay(const std::vector<uint8_t>& bytes, size_t* stopAt);
  Stop ReplayV1(const std::vector<uint8_t>& bytes, size_t* stopAt);
  bool ApplySnapshotPart(uint8_t type, const uint8_t* payload, size_t length);
  void Append(uint8_t type, const uint8_t* head, size_t headLength, const uint8_t* data, size_t dataLength);
  // Writes the header and a snapshot of the whole state to a new file that
  // then replaces the journal. False (and persistence off) on failure.
  bool WriteSnapshotJournal();
  void Fail(const std::string& why);

  std::string path_;
  uint64_t fingerprint_;
  uint64_t fingerprintV1_;
  uint64_t limit_;
  Firmware* firmware_ = nullptr;
  HostData* host_ = nullptr;
  std::unique_ptr<JournalFile> file_;
  uint64_t journalBytes_ = 0;   // bytes in the journal now
  uint64_t snapshotBytes_ = 0;  // of them, the snapshot at its start
  size_t replayed_ = 0;
  bool snapshotOpen_ = false;   // replay: inside a snapshot's records
  std::string note_;
};

}  // namespace dozered::sim
