// Chosen damage: every kind the builder writes must show up in the drive.
#include <cstring>

#include "sector/SectorEncoder.h"
#include "tests/emulator/BuilderTestSupport.h"
#include "tests/emulator/support/TestDiscs.h"

namespace {

using namespace buildertest;
using emu::SectorKind;

class BuilderDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    Data = RandomBytes(100 * 2048, 42);
    WriteFile(Dir / "data.iso", Data);
    Spec.Sessions.push_back({{Track(SectorKind::Mode1, Dir / "data.iso")}});
  }
  void Fault(const std::string& key, const std::string& value) {
    std::string error;
    ASSERT_TRUE(emu::ApplyFaultSetting(Spec.Faults, key, value, error)) << error;
  }
  void Drive(const std::string& key, const std::string& value) {
    std::string error;
    ASSERT_TRUE(emu::ApplyDriveSetting(Spec.Profile, key, value, error)) << error;
  }
  LoadedDrive Build(const std::string& name = "disc") {
    std::string error;
    EXPECT_TRUE(emu::BuildImageSet(Spec, Dir / name, false, error)) << error;
    return Load(Dir / (name + ".ccd"));
  }
  std::vector<uint8_t> DataAt(int32_t lba, int count = 1) const {
    return std::vector<uint8_t>(Data.begin() + lba * 2048, Data.begin() + (lba + count) * 2048);
  }

  TempDir Dir;
  std::vector<uint8_t> Data;
  emu::DiscSpec Spec;
};

TEST_F(BuilderDamage, UnreadableSectorsFailWithTheirLba) {
  Fault("Unreadable", "20-29");
  Fault("Unreadable", "60,11,06");
  LoadedDrive loaded = Build();
  ASSERT_TRUE(loaded.Drive);
  Reply r = ReadCd(*loaded.Drive, 15, 10, 0x10, 0, 2048);
  EXPECT_EQ(r.Result.Status, platform::kStatusCheckCondition);
  EXPECT_EQ(r.Result.SenseKey(), 0x03);
  EXPECT_EQ(r.Result.Asc(), 0x11);
  EXPECT_EQ(r.Result.Sense[0] & 0x80, 0x80) << "information valid";
  EXPECT_EQ(emu::test::SenseInfo(r.Result), 20);
  EXPECT_TRUE(std::equal(r.Data.begin(), r.Data.begin() + 5 * 2048, DataAt(15, 5).begin()))
      << "the sectors before the failing one are transferred";
  for (int32_t lba : {20, 29}) EXPECT_FALSE(ReadCd(*loaded.Drive, lba, 1, 0x10, 0, 2048).Result.Good()) << lba;
  EXPECT_EQ(ReadCd(*loaded.Drive, 30, 1, 0x10, 0, 2048).Data, DataAt(30));
  Reply other = ReadCd(*loaded.Drive, 60, 1, 0x10, 0, 2048);
  EXPECT_EQ(other.Result.Asc(), 0x11);
  EXPECT_EQ(other.Result.Ascq(), 0x06);
}

TEST_F(BuilderDamage, RetrySectorsNeedTheRetryCount) {
  Fault("Retry", "40-41,3");
  Drive("DefaultRetryCount", "2");
  LoadedDrive few = Build("few");
  ASSERT_TRUE(few.Drive);
  EXPECT_FALSE(ReadCd(*few.Drive, 41, 1, 0x10, 0, 2048).Result.Good());
  EXPECT_TRUE(ReadCd(*few.Drive, 42, 1, 0x10, 0, 2048).Result.Good());
  Drive("DefaultRetryCount", "3");
  LoadedDrive enough = Build("enough");
  ASSERT_TRUE(enough.Drive);
  Reply r = ReadCd(*enough.Drive, 40, 2, 0x10, 0, 2048);
  EXPECT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Data, DataAt(40, 2));
}

TEST_F(BuilderDamage, CorruptedBytesSoftAndHard) {
  Fault("SoftByte", "50,100,0x5A");
  Fault("HardByte", "51,200,0x0F");
  LoadedDrive loaded = Build();
  ASSERT_TRUE(loaded.Drive);
  const std::vector<uint8_t> img = ReadFile(Dir / "disc.img");
  // The image holds the clean sectors; the damage lives in the fault file.
  EXPECT_TRUE(std::equal(img.begin() + 51 * 2352 + 16, img.begin() + 51 * 2352 + 2064, DataAt(51).begin()));
  EXPECT_EQ(ReadCd(*loaded.Drive, 50, 1, 0x10, 0, 2048).Data, DataAt(50)) << "the drive corrects soft damage";
  Reply raw = ReadCd(*loaded.Drive, 51, 1, 0xF8, 0, 2352);
  EXPECT_EQ(raw.Result.Asc(), 0x11) << "raw reads of hard damage fail too";
  ASSERT_TRUE(emu::test::SetErrorRecovery(*loaded.Drive, 0x01).Good());
  raw = ReadCd(*loaded.Drive, 51, 1, 0xF8, 0, 2352);
  ASSERT_TRUE(raw.Result.Good());
  EXPECT_EQ(raw.Data[200], img[51 * 2352 + 200] ^ 0x0F) << "raw reads under DCR return hard damage";
  ASSERT_TRUE(emu::test::SetErrorRecovery(*loaded.Drive, 0x00).Good());
  Reply cooked = ReadCd(*loaded.Drive, 51, 1, 0x10, 0, 2048);
  EXPECT_EQ(cooked.Result.SenseKey(), 0x03) << "cooked reads of hard damage fail";
}

TEST_F(BuilderDamage, DamagedQFramesAreServedAsWritten) {
  Spec.QDamages = {{10, 12, emu::QDamageKind::Zero}, {30, 31, emu::QDamageKind::BadCrc},
                   {70, 72, emu::QDamageKind::WrongTrack}};
  LoadedDrive loaded = Build();
  ASSERT_TRUE(loaded.Drive);
  auto q = [&](int32_t lba) {
    Reply r = ReadQ(*loaded.Drive, lba);
    EXPECT_TRUE(r.Result.Good()) << "LBA " << lba;
    return r.Data;
  };
  for (int32_t lba : {10, 11}) {
    const auto frame = q(lba);
    EXPECT_TRUE(std::all_of(frame.begin(), frame.begin() + 12, [](uint8_t b) { return b == 0; })) << lba;
  }
  for (int32_t lba : {9, 12, 29, 31, 69, 72}) {
    const auto frame = q(lba);
    EXPECT_TRUE(IsQFrameCrcValid(frame.data())) << "undamaged neighbour " << lba;
    EXPECT_EQ(frame[1], 0x01) << lba;
  }
  const auto garbage = q(30);
  EXPECT_FALSE(IsQFrameCrcValid(garbage.data()));
  EXPECT_NE(std::vector<uint8_t>(garbage.begin(), garbage.begin() + 12), q(29)) << "not a copy of a good frame";
  for (int32_t lba : {70, 71}) {
    const auto wrong = q(lba);
    EXPECT_TRUE(IsQFrameCrcValid(wrong.data())) << "a wrong frame still has a valid CRC";
    EXPECT_NE(wrong[1], 0x01) << "names another track";
    EXPECT_NE(wrong[2], 0x01) << "and another index";
    EXPECT_EQ(wrong[9], Bcd((lba + 150) % 75)) << "the times are kept";
  }
}

TEST_F(BuilderDamage, UnreadableTocAndDriveProfile) {
  Fault("Toc", "Both");
  Drive("Vendor", "PLEXTOR");
  Drive("BinaryQ", "1");
  LoadedDrive loaded = Build();
  ASSERT_TRUE(loaded.Drive);
  bool ok = true;
  ReadFullToc(*loaded.Drive, &ok);
  EXPECT_FALSE(ok) << "the TOC cannot be read";
  Reply inquiry = DataIn(*loaded.Drive, {0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_TRUE(inquiry.Result.Good());
  EXPECT_EQ(std::string(inquiry.Data.begin() + 8, inquiry.Data.begin() + 16), "PLEXTOR ");
  Reply q = ReadQ(*loaded.Drive, 80);
  ASSERT_TRUE(q.Result.Good());
  EXPECT_EQ(q.Data[9], (80 + 150) % 75) << "binary Q";
  EXPECT_EQ(loaded.Disc->Profile, Spec.Profile);
  EXPECT_EQ(loaded.Disc->Faults, Spec.Faults);
}

TEST_F(BuilderDamage, LegacyTocFormFailsAlone) {
  Fault("Toc", "Legacy");
  LoadedDrive loaded = Build();
  ASSERT_TRUE(loaded.Drive);
  Reply legacy = DataIn(*loaded.Drive, {0x43, 0, 0, 0, 0, 0, 1, 0x0B, 0x04, 0x80}, 2820);
  EXPECT_FALSE(legacy.Result.Good());
  bool ok = false;
  EXPECT_FALSE(ReadFullToc(*loaded.Drive, &ok).empty());
  EXPECT_TRUE(ok);
}

TEST(BuilderSettings, SettingsTakeTheFaultFileSyntax) {
  emu::FaultSet faults;
  std::string error;
  // Masks and codes are hexadecimal with or without 0x, as in the file.
  const std::pair<const char*, const char*> goodFaults[] = {
      {"unreadable", " 1000-1009 "}, {"Unreadable", "5,0x11,0x05"}, {"Retry", "2000-2001,3"},
      {"HardByte", "3001,100,0x5A"}, {"Command", "0x43,1,CheckCondition,4,44,00"}, {"BeyondLeadOut", "drift"},
      {"BeyondAmount", "2"},         {"UnitAttentionOnce", "1"},      {"SoftByte", "401,20,80"},
      {"SoftByte", "402,21,A5"},     {"HardByte", "403,22,FF"},       {"Command", "43,0,Timeout"},
      {"Unreadable", "10-20,11"},  // ASCQ 00
      {"Retry", "1-2,0"}};         // never fails
  for (const auto& [key, value] : goodFaults)
    ASSERT_TRUE(emu::ApplyFaultSetting(faults, key, value, error)) << key << "=" << value << ": " << error;
  ASSERT_EQ(faults.Unreadable.size(), 3u);
  EXPECT_EQ(faults.Unreadable[2].Asc, 0x11);
  EXPECT_EQ(faults.Unreadable[0].FirstLba, 1000);
  EXPECT_EQ(faults.Unreadable[0].EndLba, 1010) << "inclusive text, exclusive range";
  EXPECT_EQ(faults.Unreadable[1].EndLba, 6);
  EXPECT_EQ(faults.Unreadable[1].Ascq, 0x05);
  ASSERT_EQ(faults.Retry.size(), 2u);
  EXPECT_EQ(faults.Retry[0].RetriesNeeded, 3);
  ASSERT_EQ(faults.Bytes.size(), 4u);
  EXPECT_TRUE(faults.Bytes[0].Hard);
  EXPECT_EQ(faults.Bytes[0].Xor, 0x5A);
  EXPECT_EQ(faults.Bytes[1].Xor, 0x80);
  EXPECT_FALSE(faults.Bytes[1].Hard);
  EXPECT_EQ(faults.Bytes[2].Xor, 0xA5);
  EXPECT_EQ(faults.Bytes[3].Xor, 0xFF);
  ASSERT_EQ(faults.Commands.size(), 2u);
  EXPECT_EQ(faults.Commands[0].Opcode, 0x43);
  EXPECT_EQ(faults.Commands[0].Asc, 0x44);
  EXPECT_EQ(faults.Commands[1].Kind, emu::CommandFaultKind::Timeout);
  EXPECT_EQ(faults.Commands[1].Nth, 0u);
  EXPECT_EQ(faults.Beyond, emu::BeyondLeadOut::Drift);
  EXPECT_EQ(faults.BeyondAmount, 2);
  EXPECT_TRUE(faults.UnitAttentionOnce);

  const std::pair<const char*, const char*> badFaults[] = {
      {"Unreadable", "10-5"},        {"Unreadable", "10-20,1FF"},  {"Unreadable", "x"},
      {"Retry", "1-2"},              {"Retry", "1-2,256"},         {"SoftByte", "1,2352,1"},
      {"SoftByte", "1,10,100"},        {"Toc", "Maybe"},             {"Command", "0x43,1,Crash,4,44,00"},
      {"NoMedium", "yes"},           {"Unknown", "1"},             {"Unreadable", "-5"}};
  for (const auto& [key, value] : badFaults) {
    emu::FaultSet untouched;
    error.clear();
    EXPECT_FALSE(emu::ApplyFaultSetting(untouched, key, value, error)) << key << "=" << value;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched, emu::FaultSet{}) << key << "=" << value;
  }

  emu::DriveProfile profile;
  for (const auto& [key, value] : {std::pair{"Speeds", "176, 706,1411"}, std::pair{"LegacyToc", "Format0"},
                                   std::pair{"AudioOffset", "-30"}, std::pair{"ReadCdda", "0"}})
    ASSERT_TRUE(emu::ApplyDriveSetting(profile, key, value, error)) << key << "=" << value << ": " << error;
  EXPECT_EQ(profile.Speeds, (std::vector<uint16_t>{176, 706, 1411}));
  EXPECT_EQ(profile.LegacyToc, emu::LegacyTocPolicy::Format0);
  EXPECT_EQ(profile.AudioOffset, -30);
  EXPECT_FALSE(profile.ReadCddaSupported);
  const std::pair<const char*, const char*> badDrive[] = {
      {"Form2Size", "2000"}, {"Vendor", "MUCHTOOLONG"}, {"LegacyToc", "Maybe"}, {"Speeds", "706,0"},
      {"Jitter", "-1"},      {"BcdToc", "2"},          {"Colour", "1"}};
  for (const auto& [key, value] : badDrive) {
    emu::DriveProfile untouched;
    EXPECT_FALSE(emu::ApplyDriveSetting(untouched, key, value, error)) << key << "=" << value;
    EXPECT_EQ(untouched, emu::DriveProfile{}) << key << "=" << value;
  }
}

}  // namespace
