// The Linux platform's requests and its reading of the replies, with the
// kernel's SCSI, libata and NVMe drivers stood in for (this machine has
// none): which descriptor each request goes through, the CDB bytes, the
// decision between SG_IO and plain I/O, the lock, and how long descriptors
// opened for writing live.
#ifdef __linux__

#include "device/linux_storage_platform.h"

#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device/aspi_lib.h"
#include "device/nvme_miniport_request.h"
#include "device/plain_disk_drive.h"
#include "device/storage_device.h"
#include "support/fake_linux_kernel.h"
#include "support/temp_dir.h"

namespace dozered {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using testing::FakeKernelRequest;
using testing::FakeKernelState;
using testing::FakeLinuxKernel;

constexpr uint32_t kSectors = 4096;         // of a node's file
constexpr uint32_t kDriveSectors = 1 << 20;  // of a drive behind SG_IO

std::shared_ptr<PlainDiskDrive> Drive(bool ata) {
  PlainDiskOptions options;
  options.sectorCount = kDriveSectors;
  options.answersAta = ata;
  return std::make_shared<PlainDiskDrive>(options);
}

Bytes Pattern(uint32_t sectors, uint8_t seed) {
  Bytes data(size_t{sectors} * 512);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(seed + i * 7 + i / 512);
  return data;
}

// Device nodes stood in for by files in a folder of their own; the fake
// kernel answers for those registered as SCSI or NVMe devices.
class FakeDevices {
 public:
  FakeDevices() : state_(std::make_shared<FakeKernelState>()) {}

  // A node of kSectors sectors; returns its path.
  std::string Node(const std::string& name) {
    const std::string path = dir_.Path(name);
    std::ofstream(path, std::ios::binary).close();
    fs::resize_file(path, uint64_t{kSectors} * 512);
    return fs::canonical(path).string();
  }
  std::string ScsiDisk(const std::string& name, std::shared_ptr<VirtualDrive> drive) {
    const std::string path = Node(name);
    state_->scsiDevices[path] = std::move(drive);
    return path;
  }
  std::unique_ptr<LinuxStoragePlatform> Platform(const std::vector<std::string>& paths) {
    return std::make_unique<LinuxStoragePlatform>(paths, std::make_unique<FakeLinuxKernel>(state_));
  }
  FakeKernelState& Kernel() { return *state_; }
  std::shared_ptr<FakeKernelState> KernelState() { return state_; }
  const testing::TempDir& Dir() const { return dir_; }

 private:
  testing::TempDir dir_;
  std::shared_ptr<FakeKernelState> state_;
};

struct Expected {
  Bytes cdb;
  bool writable;
};

void ExpectRequests(const std::vector<FakeKernelRequest>& sent, const std::vector<Expected>& expected) {
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent[i].cdb, expected[i].cdb);
    EXPECT_EQ(sent[i].writable, expected[i].writable) << "reads go through a read-only descriptor";
    EXPECT_EQ(sent[i].timeoutSeconds, 60u) << "a hung drive fails its request within a minute";
  }
}

// A SATA disk behind a bridge that checks the count field against the
// transfer: IDENTIFY declares its one block, so the drive is found to speak
// ATA, and READ DMA / WRITE DMA declare the sectors they move.
TEST(LinuxStoragePlatformTest, AtaCommandsGoOutAsSatCdbsThroughTheDescriptorOfTheirDirection) {
  FakeDevices devices;
  const std::string path = devices.ScsiDisk("sata", Drive(true));
  auto platform = devices.Platform({path});
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber | StorageDevice::kFlagAta);
  const Bytes out = Pattern(3, 0x40);
  ASSERT_TRUE(record.WriteSectors(0x0A1234, 3, out.data()));
  Bytes in(out.size(), 0xEE);
  ASSERT_TRUE(record.ReadSectors(0x0A1234, 3, in.data()));
  EXPECT_EQ(in, out);
  ExpectRequests(devices.Kernel().scsi,
                 {
                     {{0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0xEC, 0}, false},
                     {{0x85, 0x0C, 0x06, 0, 0, 0, 0x03, 0, 0x34, 0, 0x12, 0, 0x0A, 0xE0, 0xCA, 0}, true},
                     {{0x85, 0x0C, 0x0E, 0, 0, 0, 0x03, 0, 0x34, 0, 0x12, 0, 0x0A, 0xE0, 0xC8, 0}, false},
                 });
  EXPECT_EQ(platform->TransportOf(path), LinuxTransport::kScsiPassThrough);
}

TEST(LinuxStoragePlatformTest, ScsiCommandsGoThroughTheDescriptorOfTheirDirection) {
  FakeDevices devices;
  const std::string path = devices.ScsiDisk("usb", Drive(false));
  auto platform = devices.Platform({path});
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber);
  const Bytes out = Pattern(1, 0x11);
  ASSERT_TRUE(record.WriteSectors(0x55AA, 1, out.data()));
  Bytes in(512);
  ASSERT_TRUE(record.ReadSectors(0x55AA, 1, in.data()));
  EXPECT_EQ(in, out);
  EXPECT_EQ(record.ReadCapacity(0, 0).capacity, kDriveSectors);
  ExpectRequests(devices.Kernel().scsi,
                 {
                     {{0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0xEC, 0}, false},  // ATA probe
                     {{0x2A, 0x04, 0, 0, 0x55, 0xAA, 0, 0, 0x01, 0}, true},
                     {{0x28, 0x04, 0, 0, 0x55, 0xAA, 0, 0, 0x01, 0}, false},
                     {{0x25, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, false},
                 });
}

// Without CAP_SYS_RAWIO the kernel takes some commands only through a
// descriptor opened for writing; it refuses them with EPERM before they
// reach the drive, so sending them again there is safe.
TEST(LinuxStoragePlatformTest, ARequestRefusedOnTheReadOnlyDescriptorIsSentThroughTheWritableOne) {
  FakeDevices devices;
  const std::string path = devices.ScsiDisk("usb", Drive(false));
  auto platform = devices.Platform({path});
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  devices.Kernel().scsi.clear();
  devices.Kernel().readOnlyDescriptorError = EPERM;
  Bytes in(512);
  ASSERT_TRUE(record.ReadSectors(7, 1, in.data()));
  ExpectRequests(devices.Kernel().scsi, {{{0x28, 0x04, 0, 0, 0, 7, 0, 0, 1, 0}, false},
                                         {{0x28, 0x04, 0, 0, 0, 7, 0, 0, 1, 0}, true}});
}

// The transport is chosen when the disk is opened. A device that knows
// SG_IO keeps it: one request the kernel rejects (EINVAL also stands for
// "too large for this adapter") fails alone, and neither the next request
// nor the ATA path is moved to plain I/O.
TEST(LinuxStoragePlatformTest, ARejectedRequestFailsAloneAndTheTransportStays) {
  const struct {
    const char* name;
    bool ata;
    SgReply reply;
    const char* errorText;
  } cases[] = {
      {"SCSI, EINVAL", false, {SgResult::kOsError, EINVAL}, "Invalid argument"},
      {"ATA, EINVAL", true, {SgResult::kOsError, EINVAL}, "Invalid argument"},
      {"SCSI, timed out", false, {SgResult::kTransportError}, "no answer"},
      {"ATA, timed out", true, {SgResult::kTransportError}, "no answer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDevices devices;
    const std::string path = devices.ScsiDisk("disk", Drive(c.ata));
    auto platform = devices.Platform({path});
    StorageDevice record(*platform);
    ASSERT_TRUE(record.OpenByNumber(0));
    const Bytes out = Pattern(2, 0x21);
    ASSERT_TRUE(record.WriteSectors(100, 2, out.data()));
    devices.Kernel().injected.push_back(c.reply);
    Bytes in(out.size(), 0xEE);
    EXPECT_FALSE(record.ReadSectors(100, 2, in.data()));
    EXPECT_NE(platform->LastErrorText().find(c.errorText), std::string::npos) << platform->LastErrorText();
    const size_t sent = devices.Kernel().scsi.size();
    ASSERT_TRUE(record.ReadSectors(100, 2, in.data()));
    EXPECT_EQ(in, out);
    EXPECT_EQ(devices.Kernel().scsi.size(), sent + 1) << "the next read went through SG_IO";
    EXPECT_EQ(platform->TransportOf(path), LinuxTransport::kScsiPassThrough);
    EXPECT_EQ(record.Flags() & StorageDevice::kFlagAta, c.ata ? StorageDevice::kFlagAta : 0u);
  }
}

// Devices that do not know SG_IO at all are read and written with plain
// I/O from the first request on: nothing is sent through SG_IO.
TEST(LinuxStoragePlatformTest, ADeviceWithoutSgIoIsServedByPlainIoFromTheStart) {
  for (int probeError : {ENOTTY, EINVAL}) {
    SCOPED_TRACE(probeError);
    FakeDevices devices;
    devices.Kernel().probeError = probeError;
    const std::string path = devices.Node("image");
    auto platform = devices.Platform({path});
    StorageDevice record(*platform);
    ASSERT_TRUE(record.OpenByNumber(0));
    EXPECT_EQ(record.Flags(), StorageDevice::kFlagByNumber);
    const Bytes out = Pattern(1, 0x33);
    ASSERT_TRUE(record.WriteSectors(9, 1, out.data()));
    Bytes stored(512);
    std::ifstream(path, std::ios::binary).seekg(9 * 512).read(reinterpret_cast<char*>(stored.data()), 512);
    EXPECT_EQ(stored, out);
    EXPECT_TRUE(devices.Kernel().scsi.empty());
    EXPECT_EQ(platform->TransportOf(path), LinuxTransport::kPlainIo);
  }
}

// What SG_IO replies mean for the request.
TEST(LinuxStoragePlatformTest, SgRepliesBecomeOutcomes) {
  ScsiPassThroughRequest read10;
  read10.cdbLength = 10;
  read10.cdb[0] = 0x28;
  read10.dataIn = kScsiIoctlDataIn;
  read10.dataTransferLength = 1024;
  ScsiPassThroughRequest inquiry = read10;
  inquiry.cdbLength = 6;
  inquiry.cdb[0] = 0x12;
  inquiry.dataTransferLength = 56;
  ScsiPassThroughRequest write10 = read10;
  write10.cdb[0] = 0x2A;
  write10.dataIn = kScsiIoctlDataOut;
  const Bytes sense = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0x00};

  const struct {
    const char* name;
    const ScsiPassThroughRequest& request;
    SgResult result;
    int osError;
    uint8_t status;
    int32_t residual;
    bool withSense;
    uint32_t expectedOsError;
    uint8_t expectedStatus;
  } cases[] = {
      {"good", read10, SgResult::kGood, 0, 0x00, 0, false, kOsErrorNone, 0x00},
      {"short read", read10, SgResult::kGood, 0, 0x00, 512, false, kOsErrorIoDevice, 0x00},
      {"short write", write10, SgResult::kGood, 0, 0x00, 512, false, kOsErrorIoDevice, 0x00},
      {"short INQUIRY", inquiry, SgResult::kGood, 0, 0x00, 20, false, kOsErrorNone, 0x00},
      {"CHECK CONDITION", read10, SgResult::kSense, 0, 0x02, 1024, true, kOsErrorNone, 0x02},
      {"sense with GOOD status byte", read10, SgResult::kSense, 0, 0x00, 0, true, kOsErrorNone, 0x02},
      {"BUSY", read10, SgResult::kStatus, 0, 0x08, 0, false, kOsErrorNone, 0x08},
      {"timed out or reset", read10, SgResult::kTransportError, 0, 0x00, 0, false, kOsErrorIoDevice, 0x00},
      {"rejected by the kernel", read10, SgResult::kOsError, EINVAL, 0x00, 0, false, kOsErrorInvalidParameter,
       0x00},
      {"I/O error", read10, SgResult::kOsError, EIO, 0x00, 0, false, kOsErrorIoDevice, 0x00},
      {"not sent", read10, SgResult::kNotSent, 0, 0x00, 0, false, kOsErrorInvalidParameter, 0x00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SgReply reply;
    reply.result = c.result;
    reply.osError = c.osError;
    reply.status = c.status;
    reply.residual = c.residual;
    if (c.withSense) {
      std::memcpy(reply.sense, sense.data(), sense.size());
      reply.senseLength = static_cast<uint32_t>(sense.size());
    }
    const ScsiPassThroughOutcome outcome = InterpretSgReply(c.request, reply);
    EXPECT_EQ(outcome.osError, c.expectedOsError);
    if (c.expectedOsError == kOsErrorNone) {
      EXPECT_EQ(outcome.scsiStatus, c.expectedStatus);
      EXPECT_EQ(outcome.sense[2], c.withSense ? 0x03 : 0x00);
    }
  }
}

// udev re-reads the partition table and probes a disk whenever a
// descriptor opened for writing is closed; its reads would fall between the
// unlock reads of the next exchange. A scan opens nothing for writing, and
// exchanges that write close no such descriptor until the session ends.
class InotifyWatch {
 public:
  explicit InotifyWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) inotify_add_watch(fd_, path.c_str(), IN_CLOSE_WRITE);
  }
  ~InotifyWatch() {
    if (fd_ >= 0) close(fd_);
  }
  bool Usable() const { return fd_ >= 0; }
  // Closes of descriptors opened for writing since the last call.
  int ClosesAfterWriting() {
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof(buffer));
      if (n <= 0) return count;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_CLOSE_WRITE) ++count;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

 private:
  int fd_;
};

TEST(LinuxStoragePlatformTest, DescriptorsOpenedForWritingLastTheSession) {
  for (bool passThrough : {false, true}) {
    SCOPED_TRACE(passThrough ? "SG_IO disk" : "image file, plain I/O");
    FakeDevices devices;
    const std::string path = passThrough ? devices.ScsiDisk("disk", Drive(true)) : devices.Node("disk");
    InotifyWatch watch(path);
    ASSERT_TRUE(watch.Usable());
    auto platform = devices.Platform({path});
    AspiLib aspi(*platform);
    aspi.ResetAll();
    aspi.ScanDevices();
    ASSERT_EQ(aspi.DeviceCountFound(), 1);
    StorageDevice& record = aspi.Record(0);
    record.Inquiry(0, 0);
    Bytes in(512);
    ASSERT_TRUE(record.ReadSectors(0, 1, in.data()));
    EXPECT_EQ(watch.ClosesAfterWriting(), 0) << "a scan and reads open nothing for writing";

    const Bytes out = Pattern(1, 0x5A);
    for (uint32_t lba : {0xAAu, 0x55u, 0x55AAu % kSectors}) {
      ASSERT_TRUE(record.Open(false));
      ASSERT_TRUE(record.ReadSectors(lba, 1, in.data()));
      ASSERT_TRUE(record.WriteSectors(lba, 1, out.data()));
      record.Close();
    }
    EXPECT_EQ(watch.ClosesAfterWriting(), 0) << "exchanges keep the descriptor opened for writing";
    EXPECT_EQ(platform->OpenHandleCount(), 0);

    aspi.ScanDevices();  // the next scan ends the session
    EXPECT_GT(watch.ClosesAfterWriting(), 0);
    platform.reset();
    EXPECT_EQ(watch.ClosesAfterWriting(), 0);
  }
}

// While a record holds the disk open, the platform holds flock(LOCK_EX) on
// it: udev skips a locked disk, and a second copy of the tool cannot run
// its exchanges in between. A disk someone else holds locked does not open.
TEST(LinuxStoragePlatformTest, TheDiskIsLockedWhileARecordHoldsItOpen) {
  FakeDevices devices;
  const std::string path = devices.ScsiDisk("disk", Drive(false));
  auto platform = devices.Platform({path});
  platform->SetLockWait(std::chrono::milliseconds(0));
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));

  const int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_TRUE(record.Open(false));
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(errno, EWOULDBLOCK);
  record.Close();
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0) << "the lock goes with the last close";

  EXPECT_FALSE(record.Open(false));
  EXPECT_NE(platform->LastErrorText().find("locked"), std::string::npos) << platform->LastErrorText();
  Bytes in(512);
  const size_t sent = devices.Kernel().scsi.size();
  EXPECT_FALSE(record.ReadSectors(0, 1, in.data()));
  EXPECT_EQ(devices.Kernel().scsi.size(), sent) << "nothing reaches a disk held by someone else";
  ASSERT_EQ(flock(other, LOCK_UN), 0);
  EXPECT_TRUE(record.ReadSectors(0, 1, in.data()));
  close(other);
}

// A drive that answers NVMe Identify Controller with a marker.
class NvmeIdentifyDrive : public VirtualDrive {
 public:
  explicit NvmeIdentifyDrive(uint8_t marker) : marker_(marker) {}
  bool ExecuteScsi(ScsiCommand&, ScsiOutcome&) override { return false; }
  bool ExecuteAta(AtaCommand&) override { return false; }
  bool ExecuteNvmeAdmin(NvmeAdminCommand& command) override {
    if (command.submission[0] != kNvmeAdminIdentify || command.length != kNvmeIdentifyDataLength) return false;
    command.data[0] = marker_;
    return true;
  }

 private:
  uint8_t marker_;
};

// NVMe Identify goes to the namespace device. Its controller cannot be
// told from the name: with native multipath, nvme1n1 is a namespace of
// subsystem 1, and /dev/nvme1 may be a controller of another one.
TEST(LinuxStoragePlatformTest, NvmeIdentifyGoesToTheNamespaceDevice) {
  FakeDevices devices;
  const fs::path sys = devices.Dir().Dir() / "sys";
  auto sysDisk = [&](const std::string& name, const std::string& parent, bool nvmeNamespace) {
    fs::create_directories(sys / "devices" / parent);
    fs::create_directories(sys / "block" / name);
    fs::create_directory_symlink("../../devices/" + parent, sys / "block" / name / "device");
    if (nvmeNamespace) std::ofstream(sys / "block" / name / "nsid") << "1\n";
  };
  sysDisk("nvme1n1", "nvme-subsys1", true);
  sysDisk("sda", "0:0:0:0", false);
  // The nodes lie in the folder itself: a record's path holds 49 characters.
  const std::string namespacePath = devices.Node("nvme1n1");
  const std::string otherController = devices.Node("nvme1");
  devices.ScsiDisk("sda", Drive(false));
  devices.Kernel().nvmeDevices[namespacePath] = std::make_shared<NvmeIdentifyDrive>(0x01);
  devices.Kernel().nvmeDevices[otherController] = std::make_shared<NvmeIdentifyDrive>(0x02);

  LinuxStoragePlatform platform((sys / "block").string(), fs::canonical(devices.Dir().Dir()).string() + "/",
                                std::make_unique<FakeLinuxKernel>(devices.KernelState()));
  AspiLib aspi(platform);
  aspi.ResetAll();
  aspi.ScanDevices();
  ASSERT_EQ(aspi.DeviceCountFound(), 2);
  EXPECT_STREQ(aspi.Record(0).Name(), "nvme1n1");
  EXPECT_EQ(aspi.Record(0).Flags(), StorageDevice::kFlagByNumber | StorageDevice::kFlagNvme);
  EXPECT_STREQ(aspi.Record(1).Name(), "sda");
  EXPECT_EQ(aspi.Record(1).Flags(), StorageDevice::kFlagByNumber);

  const std::vector<testing::FakeNvmeRequest>& sent = devices.Kernel().nvme;
  ASSERT_EQ(sent.size(), 1u) << "only the namespace is asked";
  EXPECT_EQ(sent[0].path, namespacePath);
  EXPECT_FALSE(sent[0].writable);
  const nvme_admin_cmd& command = sent[0].command;
  EXPECT_EQ(command.opcode, kNvmeAdminIdentify);
  EXPECT_EQ(command.nsid, 0u);
  EXPECT_EQ(command.cdw10, 1u);
  EXPECT_EQ(command.data_len, kNvmeIdentifyDataLength);
  EXPECT_EQ(command.timeout_ms, 60000u);
  EXPECT_EQ(command.addr % 4096, 0u) << "the data buffer is page-aligned";
  EXPECT_EQ(platform.TransportOf(namespacePath), LinuxTransport::kPlainIo);
}

// The sectors of an NVMe namespace go out as NVMe Read and Write commands,
// one per 64 KiB, each sent once: a failed one fails the request (no
// retry by the kernel, none here), and the drive's status is reported.
TEST(LinuxStoragePlatformTest, NvmeNamespaceSectorsAreNvmeReadsAndWrites) {
  FakeDevices devices;
  const std::string path = devices.Node("nvme0n1");
  devices.Kernel().nvmeNamespaces[path].nsid = 3;
  auto platform = devices.Platform({path});
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(platform->TransportOf(path), LinuxTransport::kNvmePassThrough);

  const Bytes out = Pattern(130, 0x21);
  ASSERT_TRUE(record.WriteSectors(0x0100, 130, out.data()));
  Bytes in(out.size());
  ASSERT_TRUE(record.ReadSectors(0x0100, 130, in.data()));
  EXPECT_EQ(in, out);
  Bytes stored(out.size());
  std::ifstream(path, std::ios::binary).seekg(0x0100 * 512).read(reinterpret_cast<char*>(stored.data()),
                                                                   static_cast<std::streamsize>(stored.size()));
  EXPECT_EQ(stored, out);

  struct Sent {
    uint8_t opcode;
    uint32_t lba;
    uint32_t zeroBasedBlocks;
    bool writable;
  };
  const std::vector<Sent> expected = {
      {0x01, 0x0100, 127, true}, {0x01, 0x0100 + 128, 1, true},
      {0x02, 0x0100, 127, false}, {0x02, 0x0100 + 128, 1, false}};
  const std::vector<testing::FakeNvmeRequest>& sent = devices.Kernel().nvmeIo;
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent[i].command.opcode, expected[i].opcode);
    EXPECT_EQ(sent[i].command.nsid, 3u);
    EXPECT_EQ(sent[i].command.cdw10, expected[i].lba);
    EXPECT_EQ(sent[i].command.cdw11, 0u);
    EXPECT_EQ(sent[i].command.cdw12, expected[i].zeroBasedBlocks);
    EXPECT_EQ(sent[i].command.data_len, (expected[i].zeroBasedBlocks + 1) * 512);
    EXPECT_EQ(sent[i].command.timeout_ms, 60000u);
    EXPECT_EQ(sent[i].command.addr % 4096, 0u);
    EXPECT_EQ(sent[i].writable, expected[i].writable);
  }
  EXPECT_TRUE(devices.Kernel().scsi.empty());

  // A write the drive fails is sent once and fails; so does a read.
  devices.Kernel().nvmeIo.clear();
  devices.Kernel().nvmeNamespaces[path].injected = {0x0280, 0x0281};
  const Bytes block = Pattern(1, 0x44);
  EXPECT_FALSE(record.WriteSectors(0x0100, 1, block.data()));
  Bytes back(512);
  EXPECT_FALSE(record.ReadSectors(0x0100, 1, back.data()));
  EXPECT_EQ(devices.Kernel().nvmeIo.size(), 2u);
  ASSERT_TRUE(record.ReadSectors(0x0100, 1, back.data()));
  EXPECT_EQ(back, Bytes(out.begin(), out.begin() + 512)) << "the failed write stored nothing";
}

// A namespace with other than 512-byte blocks is not read in 512-byte
// NVMe blocks.
TEST(LinuxStoragePlatformTest, NvmeNamespaceOfLargeBlocksIsNotAddressedIn512ByteBlocks) {
  FakeDevices devices;
  const std::string path = devices.Node("nvme0n1");
  devices.Kernel().nvmeNamespaces[path].blockSize = 4096;
  auto platform = devices.Platform({path});
  StorageDevice record(*platform);
  ASSERT_TRUE(record.OpenByNumber(0));
  EXPECT_EQ(platform->TransportOf(path), LinuxTransport::kPlainIo);
  Bytes back(512);
  record.ReadSectors(0, 1, back.data());
  EXPECT_TRUE(devices.Kernel().nvmeIo.empty());
}

// The NVMe admin command unpacked from a miniport request block.
TEST(LinuxStoragePlatformTest, MiniportBlocksBecomeNvmeAdminCommands) {
  std::vector<uint8_t> identify(kNvmeMiniportBlockSize);
  const uint32_t inputLength = BuildNvmeIdentifyControllerRequest(identify.data());
  const uint32_t outputLength = ReadLe32(identify.data() + kNvmeMiniportReturnLengthOffset);
  nvme_admin_cmd command {};
  ASSERT_TRUE(LinuxNvmeAdminFromMiniport(identify.data(), inputLength, outputLength, command));
  EXPECT_EQ(command.opcode, 0x06);
  EXPECT_EQ(command.cdw10, 1u);
  EXPECT_EQ(command.data_len, 4096u);
  EXPECT_EQ(command.timeout_ms, 60000u);

  const struct {
    const char* name;
    uint32_t offset;
    uint32_t value;
    bool accepted;
    uint32_t timeoutMs;
  } cases[] = {
      {"timeout of 10 s", kNvmeMiniportTimeoutOffset, 10, true, 10000},
      {"no timeout", kNvmeMiniportTimeoutOffset, 0, true, 60000},
      {"timeout of an hour", kNvmeMiniportTimeoutOffset, 3600, true, 60000},
      {"wrong control code", kNvmeMiniportControlCodeOffset, 0xE0002001, false, 0},
      {"I/O queue", kNvmeMiniportQueueIdOffset, 1, false, 0},
      {"metadata", kNvmeMiniportMetadataLengthOffset, 16, false, 0},
      {"direction against the opcode", kNvmeMiniportDirectionOffset, kNvmeDirectionHostToDevice, false, 0},
      {"data beyond the block", kNvmeMiniportDataLengthOffset, 4098, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block = identify;
    WriteLe32(block.data() + c.offset, c.value);
    EXPECT_EQ(LinuxNvmeAdminFromMiniport(block.data(), inputLength, outputLength, command), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(command.timeout_ms, c.timeoutMs);
    }
  }
  std::vector<uint8_t> block = identify;
  block[kNvmeMiniportSignatureOffset] = 'X';
  EXPECT_FALSE(LinuxNvmeAdminFromMiniport(block.data(), inputLength, outputLength, command));
  EXPECT_FALSE(LinuxNvmeAdminFromMiniport(identify.data(), inputLength, 152, command));
}

}  // namespace
}  // namespace dozered

#endif  // __linux__
