// The drive files of dozered-simd without FUSE: which sector access each
// read or write of a file becomes, what a disk refuses, and what the drives
// keep when the daemon closes them.
#include "simd/drive_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace dozered::simd {
namespace {

using Bytes = std::vector<uint8_t>;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The trace lines a drive wrote since `from` characters, without their
// access numbers: "R LBA 0x00000100 count 1 ok".
std::vector<std::string> TraceSince(const std::string& path, size_t from) {
  std::vector<std::string> lines;
  std::istringstream in(ReadText(path).substr(from));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(line.find(' ') + 1));
  }
  return lines;
}

Bytes Pattern(size_t bytes, uint8_t seed) {
  Bytes data(bytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(seed + i * 13 + i / 512);
  return data;
}

class DriveFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A plain disk of 1,000 sectors with a bad sector at 0x200, and one that
    // is pulled after its first access.
    ini_ = dir_.Write("VirtualDrives.ini",
                      "[Small disk]\r\nKind=plain\r\nCapacitySectors=1000\r\nFailLba=0x200\r\n"
                      "TraceFile=small.trace\r\n"
                      "[Pulled disk]\r\nKind=plain\r\nCapacitySectors=1000\r\nFailAfter=1\r\n");
    std::string problem;
    std::vector<std::string> notes;
    ASSERT_TRUE(files_.Load(ini_, problem, notes)) << problem;
    EXPECT_TRUE(notes.empty());
  }

  testing::TempDir dir_;
  std::string ini_;
  DriveFiles files_;
};

TEST_F(DriveFilesTest, EachDriveIsAFileAsLargeAsTheDrive) {
  ASSERT_EQ(files_.Count(), 2u);
  EXPECT_EQ(files_.Drive(0).name, "drive0");
  EXPECT_EQ(files_.Drive(0).label, "Small disk");
  EXPECT_EQ(files_.Drive(1).name, "drive1");
  EXPECT_EQ(files_.Find("drive1"), 1);
  EXPECT_EQ(files_.Find("drive2"), -1);
  EXPECT_EQ(files_.Find("../drive0"), -1);
  EXPECT_EQ(files_.SizeBytes(0), 1000u * 512);
}

// A request is one access of the drive, whole: a drive behind a loop device
// sees the host's transfer as the host sent it, as the drive behind the
// Virtual platform does.
TEST_F(DriveFilesTest, ReadsAndWritesBecomeOneSectorAccessEach) {
  struct Case {
    const char* what;
    bool write;
    uint64_t offset;
    size_t size;
    int64_t result;
    std::vector<std::string> trace;
  } cases[] = {
      {"one sector", false, 0x100 * 512, 512, 512, {"R LBA 0x00000100 count 1 ok"}},
      {"33 sectors at once", false, 0x14A * 512, 33 * 512, 33 * 512, {"R LBA 0x0000014A count 33 ok"}},
      {"a write", true, 5 * 512, 3 * 512, 3 * 512, {"W LBA 0x00000005 count 3 ok"}},
      {"not at a sector", false, 100, 512, -EINVAL, {}},
      {"not whole sectors", true, 512, 1000, -EINVAL, {}},
      {"read at the end", false, 1000 * 512, 512, 0, {}},
      {"read past the end", false, 998 * 512, 4 * 512, 2 * 512, {"R LBA 0x000003E6 count 2 ok"}},
      {"write past the end", true, 998 * 512, 4 * 512, 2 * 512, {"W LBA 0x000003E6 count 2 ok"}},
      {"write at the end", true, 1000 * 512, 512, -ENOSPC, {}},
      {"bad sector", false, 0x1FF * 512, 2 * 512, -EIO, {"R LBA 0x000001FF count 2 fail injected fault"}},
  };
  const std::string trace = dir_.Path("small.trace");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = ReadText(trace).size();
    Bytes buffer = Pattern(c.size, 3);
    const int64_t result = c.write ? files_.Write(0, c.offset, c.size, buffer.data())
                                   : files_.Read(0, c.offset, c.size, buffer.data());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(TraceSince(trace, before), c.trace);
  }
}

TEST_F(DriveFilesTest, WrittenSectorsAreReadBack) {
  const Bytes out = Pattern(4 * 512, 0x41);
  ASSERT_EQ(files_.Write(0, 900 * 512, out.size(), out.data()), 4 * 512);
  Bytes in(out.size());
  ASSERT_EQ(files_.Read(0, 900 * 512, in.size(), in.data()), 4 * 512);
  EXPECT_EQ(in, out);
}

TEST_F(DriveFilesTest, APulledDriveFailsAsGone) {
  Bytes buffer(512);
  EXPECT_EQ(files_.Read(1, 0, 512, buffer.data()), 512);
  EXPECT_EQ(files_.Read(1, 0, 512, buffer.data()), -ENXIO);
  EXPECT_EQ(files_.Write(1, 0, 512, buffer.data()), -ENXIO);
}

// What the host wrote is in the drive's state file once the daemon has
// closed its drives, and the file is free for the next user of the drive.
TEST(DriveFilesStateTest, ClosedDrivesKeepWhatWasWritten) {
  testing::TempDir dir;
  const std::string ini =
      dir.Write("VirtualDrives.ini", "[Controller]\r\nKind=controller\r\nSeed=7\r\nStateFile=drive.state\r\n");
  const Bytes out = Pattern(2 * 512, 0x5C);
  {
    DriveFiles files;
    std::string problem;
    std::vector<std::string> notes;
    ASSERT_TRUE(files.Load(ini, problem, notes)) << problem;
    ASSERT_EQ(files.Write(0, 0x10000 * 512, out.size(), out.data()), 2 * 512);
    EXPECT_EQ(files.Flush(0), 0);
    files.Close();
    EXPECT_EQ(files.Count(), 0u);
  }
  DriveFiles again;
  std::string problem;
  std::vector<std::string> notes;
  ASSERT_TRUE(again.Load(ini, problem, notes)) << problem;
  EXPECT_TRUE(notes.empty()) << notes.front();
  Bytes in(out.size());
  ASSERT_EQ(again.Read(0, 0x10000 * 512, in.size(), in.data()), 2 * 512);
  EXPECT_EQ(in, out);
}

// Switched off and on, a drive starts again from its state file, as on the
// Virtual platform at the tool's next start: what the host wrote is still
// there, the drive counts one more power cycle, and its file keeps its size.
TEST(DriveFilesStateTest, PowerCycledDrivesStartAgainFromTheirStateFiles) {
  testing::TempDir dir;
  const std::string ini =
      dir.Write("VirtualDrives.ini", "[Controller]\r\nKind=controller\r\nSeed=7\r\nStateFile=drive.state\r\n");
  DriveFiles files;
  std::string problem;
  std::vector<std::string> notes;
  ASSERT_TRUE(files.Load(ini, problem, notes)) << problem;
  const uint64_t size = files.SizeBytes(0);
  const Bytes out = Pattern(3 * 512, 0x2B);
  ASSERT_EQ(files.Write(0, 0x20000 * 512, out.size(), out.data()), 3 * 512);
  const uint32_t cycles = files.Drive(0).drive->model().counters.powerCycles;

  files.PowerCycle(notes);
  EXPECT_TRUE(notes.empty()) << notes.front();
  EXPECT_EQ(files.Drive(0).drive->model().counters.powerCycles, cycles + 1);
  EXPECT_EQ(files.SizeBytes(0), size);
  Bytes in(out.size());
  ASSERT_EQ(files.Read(0, 0x20000 * 512, in.size(), in.data()), 3 * 512);
  EXPECT_EQ(in, out);
}

TEST(DriveFilesLoadTest, FilesThatCannotBeServedAreRefusedWithAReason) {
  auto sections = [](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "[Disk " + std::to_string(i) + "]\nKind=plain\nCapacitySectors=64\n";
    return text;
  };
  struct Case {
    const char* name;
    std::string content;  // none: no file
    bool loads;
    size_t drives;
    std::string said;  // the problem after the file's path, or the note
  } cases[] = {
      {"missing", "", false, 0, " is not there"},
      {"no drive", "; nothing\n", false, 0, " declares no drive"},
      {"utf-16", std::string("\xFF\xFE[\0D\0", 6), false, 0,
       " is saved as UTF-16 and was not read; save it as ANSI or UTF-8"},
      {"too large", std::string(kMaxIniBytes + 1, ';'), false, 0, " is larger than 1024 KB and was not read"},
      {"byte-order mark", "\xEF\xBB\xBF" + sections(1), true, 1, ""},
      {"33 drives", sections(33), true, 32, "the file declares 33 drives; only the first 32 are served"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path =
        c.content.empty() ? dir.Path("VirtualDrives.ini") : dir.Write("VirtualDrives.ini", c.content);
    DriveFiles files;
    std::string problem;
    std::vector<std::string> notes;
    EXPECT_EQ(files.Load(path, problem, notes), c.loads);
    EXPECT_EQ(files.Count(), c.drives);
    if (c.loads) {
      EXPECT_EQ(notes, c.said.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.said});
    } else {
      EXPECT_EQ(problem, path + c.said);
    }
  }
}

}  // namespace
}  // namespace dozered::simd
