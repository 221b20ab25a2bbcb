// INQUIRY, unit states, PREVENT/ALLOW, command faults, malformed commands, the log and
// concurrent use.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "emulator/EmulatedDrive.h"
#include "tests/emulator/support/TestDiscs.h"

namespace emu::test {
namespace {

const std::vector<uint8_t> kInquiry = {0x12, 0, 0, 0, 0x64, 0};
const std::vector<uint8_t> kTur = {0, 0, 0, 0, 0, 0};

std::string Text(const std::vector<uint8_t>& v, size_t begin, size_t end) { return {v.begin() + begin, v.begin() + end}; }

TEST(DriveCommandTest, InquiryAnswersFromTheProfile) {
  auto disc = BuildDisc(Mode1Disc(10));
  disc->Profile.Vendor = "PLEXTOR";
  disc->Profile.Product = "CD-R   PX-W4012A";
  disc->Profile.Revision = "1.07";
  disc->Profile.AnsiVersion = 0x05;
  EmulatedDrive drive(disc);
  Reply r = DataIn(drive, kInquiry, 100);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 4u);
  EXPECT_EQ(r.Data[0], 0x05);
  EXPECT_EQ(r.Data[1], 0x80);
  EXPECT_EQ(r.Data[2], 0x05);
  EXPECT_EQ(r.Data[4], 91);
  EXPECT_EQ(Text(r.Data, 8, 16), "PLEXTOR ");
  EXPECT_EQ(Text(r.Data, 16, 32), "CD-R   PX-W4012A");
  EXPECT_EQ(Text(r.Data, 32, 36), "1.07");
  EXPECT_EQ(r.Data[36], 0);

  Reply shortAlloc = DataIn(drive, {0x12, 0, 0, 0, 36, 0}, 100);
  EXPECT_EQ(shortAlloc.Result.Residual, 64u);
  EXPECT_EQ(DataIn(drive, {0x12, 1, 0, 0, 0x64, 0}, 100).Result.Asc(), 0x24);  // no VPD pages

  EmulatedDrive plain(BuildDisc(Mode1Disc(10)));
  Reply p = DataIn(plain, kInquiry, 100);
  EXPECT_EQ(p.Data[2], 0);
  EXPECT_EQ(Text(p.Data, 8, 16), "QUARNEL ");
}

TEST(DriveCommandTest, NoMediumBecomingReadyAndUnitAttention) {
  auto empty = BuildDisc(Mode1Disc(10));
  empty->Faults.NoMedium = true;
  EmulatedDrive none(empty);
  for (const auto& cdb : {kTur, ReadCdCdb(0, 1, 0x10)}) {
    const ScsiResult r = DataIn(none, cdb, 2352).Result;
    EXPECT_EQ(r.SenseKey(), 0x02);
    EXPECT_EQ(r.Asc(), 0x3A);
  }
  EXPECT_TRUE(DataIn(none, kInquiry, 100).Result.Good());
  EmulatedDrive nothing(nullptr);
  EXPECT_EQ(DataIn(nothing, kTur, 0).Result.Asc(), 0x3A);

  auto disc = BuildDisc(Mode1Disc(10));
  disc->Faults.BecomingReadyOnce = true;
  disc->Faults.UnitAttentionOnce = true;
  EmulatedDrive drive(disc);
  EXPECT_TRUE(DataIn(drive, kInquiry, 100).Result.Good());  // does not consume the attention
  const ScsiResult attention = DataIn(drive, kTur, 0).Result;
  EXPECT_EQ(attention.SenseKey(), 0x06);
  EXPECT_EQ(attention.Asc(), 0x28);
  const ScsiResult becoming = DataIn(drive, kTur, 0).Result;
  EXPECT_EQ(becoming.SenseKey(), 0x02);
  EXPECT_EQ(becoming.Asc(), 0x04);
  EXPECT_EQ(becoming.Ascq(), 0x01);
  EXPECT_TRUE(DataIn(drive, kTur, 0).Result.Good());
}

TEST(DriveCommandTest, PreventAllowTracksTheLock) {
  EmulatedDrive drive(BuildDisc(Mode1Disc(10)));
  EXPECT_FALSE(drive.Locked());
  EXPECT_TRUE(NoData(drive, {0x1E, 0, 0, 0, 1, 0}).Good());
  EXPECT_TRUE(drive.Locked());
  EXPECT_TRUE(NoData(drive, {0x1E, 0, 0, 0, 0, 0}).Good());
  EXPECT_FALSE(drive.Locked());
}

TEST(DriveCommandTest, CommandFaultsHitTheNthCommandOfAnOpcode) {
  auto disc = BuildDisc(Mode1Disc(10));
  disc->Faults.Commands.push_back({0xBE, 2, CommandFaultKind::CheckCondition, 0x04, 0x44, 0x00});
  disc->Faults.Commands.push_back({0xD8, 0, CommandFaultKind::Timeout});
  EmulatedDrive drive(disc);
  EXPECT_TRUE(DataIn(drive, kInquiry, 100).Result.Good());  // other opcodes do not count
  EXPECT_TRUE(DataIn(drive, ReadCdCdb(0, 1, 0x10), 2352).Result.Good());
  const ScsiResult second = DataIn(drive, ReadCdCdb(0, 1, 0x10), 2352).Result;
  EXPECT_EQ(second.Status, kStatusCheckCondition);
  EXPECT_EQ(second.SenseKey(), 0x04);
  EXPECT_EQ(second.Asc(), 0x44);
  EXPECT_EQ(second.Residual, 2352u);
  EXPECT_TRUE(DataIn(drive, ReadCdCdb(0, 1, 0x10), 2352).Result.Good());

  for (int i = 0; i < 2; ++i) {
    const ScsiResult timeout = DataIn(drive, ReadCddaCdb(0, 1, 0), 2352).Result;
    EXPECT_TRUE(timeout.TransportError);
    EXPECT_FALSE(timeout.Good());
    EXPECT_EQ(timeout.SenseLength, 0u);
  }
}

TEST(DriveCommandTest, UnknownAndMalformedCommandsAreIllegalRequests) {
  EmulatedDrive drive(BuildDisc(Mode1Disc(10)));
  const ScsiResult unknown = DataIn(drive, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).Result;
  EXPECT_EQ(unknown.SenseKey(), 0x05);
  EXPECT_EQ(unknown.Asc(), 0x20);
  EXPECT_EQ(unknown.Sense[0], 0x70);  // no information field
  EXPECT_EQ(DataIn(drive, {0xBE, 0, 0, 0, 0, 0}, 2352).Result.Asc(), 0x24);  // 12-byte command cut short
  EXPECT_EQ(DataIn(drive, {0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 2352).Result.Asc(), 0x24);
  EXPECT_EQ(drive.Execute({}, DataDirection::None, {}, 1000).Asc(), 0x20);
  // A data-in command given no data-in buffer transfers nothing.
  std::vector<uint8_t> buffer(2352, 0xEE);
  const std::vector<uint8_t> cdb = ReadCdCdb(0, 1, 0x10);
  const ScsiResult none = drive.Execute(cdb, DataDirection::None, buffer, 1000);
  EXPECT_TRUE(none.Good());
  EXPECT_EQ(buffer, std::vector<uint8_t>(2352, 0xEE));
}

TEST(DriveCommandTest, TheLogRecordsEveryCommand) {
  EmulatedDrive drive(BuildDisc(Mode1Disc(10)));
  DataIn(drive, kInquiry, 100);
  ASSERT_TRUE(SetBlockLength(drive, 2352).Good());
  DataIn(drive, ReadCdCdb(20, 1, 0x10), 2352);
  const std::vector<CommandLogEntry> log = drive.Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].Cdb, kInquiry);
  EXPECT_EQ(log[0].Direction, DataDirection::In);
  EXPECT_EQ(log[0].Length, 100u);
  EXPECT_TRUE(log[0].DataOut.empty());
  EXPECT_EQ(log[1].Cdb[0], 0x55);
  EXPECT_EQ(log[1].Direction, DataDirection::Out);
  ASSERT_EQ(log[1].DataOut.size(), 16u);
  EXPECT_EQ(log[1].DataOut[8], 0x82);
  EXPECT_EQ(log[2].Result.Asc(), 0x21);
  drive.ClearLog();
  EXPECT_TRUE(drive.Log().empty());
}

TEST(DriveCommandTest, ConcurrentCommandsAreServedOneAtATime) {
  auto disc = BuildDisc(Mode1Disc(200));
  EmulatedDrive drive(disc);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        const int32_t lba = (t * 37 + i) % 190;
        Reply r = DataIn(drive, ReadCdCdb(lba, 2, 0xF8), 2 * 2352);
        if (!r.Result.Good() || !std::equal(r.Data.begin(), r.Data.begin() + 2352, disc->Store->Main(lba)))
          ++failures[t];
        if (i % 10 == 0) NoData(drive, {0x1E, 0, 0, 0, static_cast<uint8_t>(i % 20 ? 1 : 0), 0});
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(drive.Log().size(), 4u * 110u);
}

}  // namespace
}  // namespace emu::test
