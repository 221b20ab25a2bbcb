#pragma once
// A sector reader talking by pass-through to drive "D:" of a machine made for the
// test: an emulated drive, or a scripted device that answers reads with chosen bytes.
// Time is frozen so the pauses after reads cost nothing and can be counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <set>
#include <vector>

#include "emulator/EmulatedDrive.h"
#include "platform/Clock.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "sector/Address.h"
#include "sector/Bytes.h"
#include "sector/Datasector.h"
#include "tests/emulator/support/TestDiscs.h"
#include "tests/support/DriveMachine.h"
#include "tests/support/TestDrive.h"

namespace reader_test {

// The drive settings a test starts from: pass-through, batches of 15, soft ECC on.
inline TDriveSetting BaseSetting() {
  TDriveSetting s;
  s.UseSpti = 1;
  s.Interval = 7;
  s.DataReadCmd = 0;
  s.DataReadAtOnce = 15;
  s.ExtReadCmd = 2;
  s.ExtReadAtOnce = 15;
  s.ExtReadAsAudio = 0;
  s.SoftEccEnabled = 1;
  s.SoftEccRetryCount = 2;
  return s;
}

struct ReadCommand {
  int64_t Start;  // frame address
  uint32_t Count;
};
// The frames a READ CD (0xBE) or READ CDDA (0xD8) asks for; none for another command.
inline std::optional<ReadCommand> ReadOf(std::span<const uint8_t> cdb) {
  if (cdb.size() < 10 || (cdb[0] != 0xBE && cdb[0] != 0xD8)) return std::nullopt;
  const uint32_t count = cdb[0] == 0xBE ? GetBe24(&cdb[6]) : GetBe32(&cdb[6]);
  return ReadCommand{LbaToFrames(static_cast<int32_t>(GetBe32(&cdb[2]))), count};
}

// A device that answers READ CD / READ CDDA through a function and fails anything else.
class ScriptedDevice : public platform::ScsiDevice {
 public:
  using Read = ReadCommand;
  // Fills the buffer for a read; returns the result to report.
  using Answer = std::function<platform::ExecResult(const Read&, std::span<uint8_t>)>;
  explicit ScriptedDevice(Answer answer) : Respond(std::move(answer)) {}

  platform::ExecResult Execute(std::span<const uint8_t> cdb, platform::DataDirection, std::span<uint8_t> buffer,
                               uint32_t) override {
    if (const auto read = ReadOf(cdb)) {
      Reads.push_back(*read);
      return Respond(Reads.back(), buffer);
    }
    platform::ExecResult r;
    r.Scsi.Status = platform::kStatusCheckCondition;
    r.Scsi.Sense[0] = 0x70;
    r.Scsi.Sense[2] = 0x05;
    r.Scsi.Sense[12] = 0x20;
    r.Scsi.SenseLength = 18;
    return r;
  }

  std::vector<Read> Reads;

 private:
  Answer Respond;
};

inline platform::ExecResult GoodResult() { return {}; }
// A failed command that brings back no sense at all (a time-out, a refused ioctl).
inline platform::ExecResult NoSenseFailure() {
  platform::ExecResult r;
  r.Scsi.TransportError = true;
  r.Error = platform::kErrorTimeout;
  return r;
}

// Installs a machine whose only drive is "D:" and a frozen clock; restores DiscEndAddress.
class ReaderRig {
 public:
  explicit ReaderRig(std::shared_ptr<emu::Disc> disc) : Emulated(test_support::TestDrive(disc)) {
    test_support::MachineSpec spec;
    spec.Drives = {Emulated};
    Machine = std::make_unique<test_support::DriveMachine>(spec);
  }
  explicit ReaderRig(std::shared_ptr<ScriptedDevice> device) : Scripted(std::move(device)) {
    test_support::MachineSpec spec;
    spec.Devices = {Scripted};
    Machine = std::make_unique<test_support::DriveMachine>(spec);
  }
  ~ReaderRig() { DiscEndAddress = SavedDiscEnd; }
  ReaderRig(const ReaderRig&) = delete;
  ReaderRig& operator=(const ReaderRig&) = delete;

  TKrCdRom Cdrom() const { return TKrCdRom(std::string("D:")); }
  emu::EmulatedDrive& Drive() { return *Emulated; }
  platform::FakeClock& Clock() { return *Fake; }

  // READ CD / READ CDDA commands the emulated drive received, as (frame, count).
  std::vector<ReadCommand> Reads() const {
    std::vector<ReadCommand> reads;
    for (const auto& e : Emulated->Log())
      if (const auto read = ReadOf(e.Cdb)) reads.push_back(*read);
    return reads;
  }

 private:
  std::shared_ptr<emu::EmulatedDrive> Emulated;
  std::shared_ptr<ScriptedDevice> Scripted;
  std::shared_ptr<platform::FakeClock> Fake = std::make_shared<platform::FakeClock>();
  platform::ClockOverride ClockGuard{Fake};
  std::unique_ptr<test_support::DriveMachine> Machine;
  int64_t SavedDiscEnd = DiscEndAddress;
};

// The raw image of the sector at a frame address as the disc records it.
inline std::vector<uint8_t> Image(const emu::Disc& disc, int64_t frame) {
  const uint8_t* main = disc.Store->Main(static_cast<int32_t>(frame - 150));
  return main ? std::vector<uint8_t>(main, main + 2352) : std::vector<uint8_t>();
}

// On the strict test drive a flaky sector may read (and is then compared like any
// other) or fail (and is then counted with the rest).
inline bool FlakyFrame(int64_t frame) { return test_support::FlakyOnTestDrive(static_cast<int32_t>(frame - 150)); }
inline size_t FlakyAmong(const std::set<int64_t>& frames) {
  return static_cast<size_t>(std::count_if(frames.begin(), frames.end(), FlakyFrame));
}
// `failed` holds every frame of `expected` (each one that may fail, with mustFail
// false) and, beyond them, flaky frames only.
inline ::testing::AssertionResult FailedUpToFlaky(const std::set<int64_t>& failed, const std::set<int64_t>& expected,
                                                  bool mustFail = true) {
  for (int64_t frame : expected)
    if (mustFail && failed.count(frame) == 0) return ::testing::AssertionFailure() << "frame " << frame << " read";
  for (int64_t frame : failed)
    if (expected.count(frame) == 0 && !FlakyFrame(frame))
      return ::testing::AssertionFailure() << "frame " << frame << " failed";
  return ::testing::AssertionSuccess() << failed.size() << " failed";
}
inline std::set<int64_t> FrameRange(int64_t first, int64_t end) {
  std::set<int64_t> frames;
  for (int64_t a = first; a < end; ++a) frames.insert(a);
  return frames;
}

inline std::vector<uint8_t> Bytes(const uint8_t* p, size_t begin, size_t end) {
  return std::vector<uint8_t>(p + begin, p + end);
}

}  // namespace reader_test
