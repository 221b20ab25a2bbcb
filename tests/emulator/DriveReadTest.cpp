// READ CD, READ CDDA and READ(10): what each field combination returns.
#include <gtest/gtest.h>

#include <cstring>

#include "emulator/EmulatedDrive.h"
#include "sector/Scramble.h"
#include "tests/emulator/support/TestDiscs.h"

namespace emu::test {
namespace {

using L = MixedLbas;

class ReadTest : public ::testing::Test {
 protected:
  std::shared_ptr<Disc> disc = BuildDisc(MixedDisc());
  std::unique_ptr<EmulatedDrive> drive;
  EmulatedDrive& Drive() {
    if (!drive) drive = std::make_unique<EmulatedDrive>(disc);
    return *drive;
  }
  const uint8_t* Main(int32_t lba) const { return disc->Store->Main(lba); }
  const uint8_t* Sub(int32_t lba) const { return disc->Store->Sub(lba); }
};

TEST_F(ReadTest, CookedReadReturnsTheUserDataFieldOfEachSectorType) {
  struct Case {
    int32_t lba;
    size_t begin, end;
  };
  for (const Case c : {Case{L::Mode1 + 3, 16, 2064}, Case{L::Form1 + 2, 24, 2072}, Case{L::Form2 + 1, 24, 2352},
                       Case{L::Audio + 4, 0, 2352}, Case{L::PreEmphasis, 0, 2352}}) {
    Reply r = DataIn(Drive(), ReadCdCdb(c.lba, 1, 0x10), 2352);
    ASSERT_TRUE(r.Result.Good()) << c.lba;
    EXPECT_EQ(r.Result.Residual, 2352 - (c.end - c.begin)) << c.lba;
    EXPECT_EQ(Slice(r.Data, 0, c.end - c.begin), Slice(Main(c.lba), c.begin, c.end)) << c.lba;
  }
}

TEST_F(ReadTest, CookedForm2SizeFollowsTheProfileAndFormlessGives2336) {
  disc->Profile.Form2Size = 2324;
  DiscSpec spec;
  spec.Sessions = {{TrackSpec{SectorKind::Mode2Formless, 4}}};
  auto formless = BuildDisc(spec);
  EmulatedDrive other(formless);

  Reply form2 = DataIn(Drive(), ReadCdCdb(L::Form2, 1, 0x10), 2352);
  EXPECT_EQ(form2.Result.Residual, 2352u - 2324u);
  EXPECT_EQ(Slice(form2.Data, 0, 2324), Slice(Main(L::Form2), 24, 2348));

  Reply r = DataIn(other, ReadCdCdb(2, 1, 0x10), 2352);
  EXPECT_EQ(r.Result.Residual, 16u);
  EXPECT_EQ(Slice(r.Data, 0, 2336), Slice(formless->Store->Main(2), 16, 2352));
}

TEST_F(ReadTest, ACookedReadAcrossATrackChangeConcatenatesEachSectorsOwnSize) {
  // Two Mode 1 sectors, then the first sector of the audio track's pregap.
  Reply r = DataIn(Drive(), ReadCdCdb(L::Mode1 + 28, 3, 0x10), 3 * 2352);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 3 * 2352u - (2048 + 2048 + 2352));
  EXPECT_EQ(Slice(r.Data, 2048, 4096), Slice(Main(29), 16, 2064));
  EXPECT_EQ(Slice(r.Data, 4096, 4096 + 2352), Slice(Main(L::AudioPregap), 0, 2352));
}

TEST_F(ReadTest, TypedReadStopsBeforeTheFirstSectorOfAnotherType) {
  Reply r = DataIn(Drive(), ReadCdCdb(28, 4, 0x10, 0, 0x08), 4 * 2352);
  EXPECT_EQ(r.Result.Status, kStatusCheckCondition);
  EXPECT_EQ(r.Result.SenseKey(), 0x05);
  EXPECT_EQ(r.Result.Asc(), 0x64);
  EXPECT_EQ(r.Result.Residual, 4 * 2352u - 2 * 2048u);
  EXPECT_EQ(Slice(r.Data, 0, 2048), Slice(Main(28), 16, 2064));

  for (auto [lba, type] : {std::pair{L::Audio, 0x04}, {L::Mode1, 0x08}, {L::Form1, 0x10}, {L::Form2, 0x14}})
    EXPECT_TRUE(DataIn(Drive(), ReadCdCdb(lba, 1, 0x10, 0, static_cast<uint8_t>(type)), 2352).Result.Good()) << lba;
  EXPECT_EQ(DataIn(Drive(), ReadCdCdb(L::Form1, 1, 0x10, 0, 0x14), 2352).Result.Asc(), 0x64);
  // A data sector asked as CD-DA, by a drive that does not scramble audio-type reads.
  EXPECT_EQ(DataIn(Drive(), ReadCdCdb(L::Mode1, 1, 0x10, 0, 0x04), 2352).Result.Asc(), 0x64);
  EXPECT_EQ(DataIn(Drive(), ReadCdCdb(L::Audio, 1, 0x10, 0, 0x18), 2352).Result.Asc(), 0x24);  // reserved type
}

TEST_F(ReadTest, FieldCombinationsFollowTheSectorLayout) {
  struct Case {
    int32_t lba;
    uint8_t flags;
    size_t begin, end;
  };
  for (const Case c : {Case{5, 0xF8, 0, 2352}, Case{5, 0xB0, 0, 2064}, Case{5, 0x08, 2064, 2352},
                       Case{5, 0x38, 12, 2352}, Case{5, 0x20, 12, 16}, Case{L::Form1, 0x78, 12, 2352},
                       Case{L::Form1, 0x50, 16, 2072}, Case{L::Form1, 0xE0, 0, 24}, Case{L::Form2, 0x58, 16, 2352},
                       Case{L::Form2, 0xF8, 0, 2352}, Case{L::Audio, 0xF8, 0, 2352}, Case{L::Audio, 0x20, 0, 0}}) {
    Reply r = DataIn(Drive(), ReadCdCdb(c.lba, 1, c.flags), 2352);
    ASSERT_TRUE(r.Result.Good()) << int{c.flags};
    EXPECT_EQ(2352 - r.Result.Residual, c.end - c.begin) << int{c.flags} << " at " << c.lba;
    EXPECT_EQ(Slice(r.Data, 0, c.end - c.begin), Slice(Main(c.lba), c.begin, c.end)) << int{c.flags};
  }
  // Sync without the header after it, EDC/ECC with a gap before it, C2 pointers.
  for (uint8_t flags : {0x80, 0x90, 0x28, 0x48, 0x12})
    EXPECT_EQ(DataIn(Drive(), ReadCdCdb(5, 1, flags), 2352).Result.Asc(), 0x24) << int{flags};
}

TEST_F(ReadTest, RawPwSubchannelIsInterleavedOneBitPerChannel) {
  Reply r = DataIn(Drive(), ReadCdCdb(L::AudioPregap + 1, 2, 0xF8, 1), 2 * 2448);
  ASSERT_TRUE(r.Result.Good());
  for (int s = 0; s < 2; ++s) {
    const uint8_t* served = r.Data.data() + s * 2448 + 2352;
    uint8_t back[96] = {};
    for (int i = 0; i < 96; ++i)
      for (int c = 0; c < 8; ++c)
        if (served[i] & (0x80 >> c)) back[c * 12 + i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    EXPECT_EQ(0, std::memcmp(back, Sub(L::AudioPregap + 1 + s), 96)) << s;
    EXPECT_EQ(Slice(r.Data, s * 2448, s * 2448 + 2352), Slice(Main(L::AudioPregap + 1 + s), 0, 2352));
  }
  // P is set in the pregap: bit 7 of every byte.
  EXPECT_EQ(r.Data[2352] & 0x80, 0x80);

  // R-W alone: the same bits without P and Q.
  Reply rw = DataIn(Drive(), ReadCdCdb(7, 1, 0x00, 4), 96);
  Reply pw = DataIn(Drive(), ReadCdCdb(7, 1, 0x00, 1), 96);
  ASSERT_TRUE(rw.Result.Good());
  EXPECT_NE(pw.Data, std::vector<uint8_t>(96, 0));
  for (int i = 0; i < 96; ++i) EXPECT_EQ(rw.Data[i], pw.Data[i] & 0x3F) << i;
}

TEST_F(ReadTest, FormattedQIsBcdUnlessTheProfileSaysBinary) {
  auto read = [&](EmulatedDrive& d, int32_t lba) { return DataIn(d, ReadCdCdb(lba, 1, 0x00, 2), 16); };
  // Track 2 index 1, 5 frames in, absolute 00:02:40 (LBA 40).
  Reply bcd = read(Drive(), L::Audio + 5);
  ASSERT_TRUE(bcd.Result.Good());
  EXPECT_EQ(bcd.Result.Residual, 0u);
  const std::vector<uint8_t> head = {0x01, 0x02, 0x01, 0x00, 0x00, 0x05, 0x00, 0x00, 0x02, 0x40};
  EXPECT_EQ(Slice(bcd.Data, 0, 10), head);
  EXPECT_EQ(Slice(bcd.Data, 10, 12), Slice(Sub(L::Audio + 5), 22, 24));  // CRC as recorded
  EXPECT_EQ(Slice(bcd.Data, 12, 16), std::vector<uint8_t>(4, 0));
  // Pregap of track 2: index 0, counting down.
  Reply pregap = read(Drive(), L::AudioPregap + 1);
  EXPECT_EQ(pregap.Data[2], 0x00);
  EXPECT_EQ(pregap.Data[5], 0x03);  // reaches 0 on the last pregap frame

  DiscSpec spec = Mode1Disc(30);
  spec.RecordedBeyond = 3;
  auto beyond = BuildDisc(spec);
  beyond->Profile.Vendor = "PLEXTOR";
  beyond->Profile.BinaryQ = true;
  EmulatedDrive plextor(beyond);
  Reply bin = read(plextor, 12);
  EXPECT_EQ(Slice(bin.Data, 0, 10), (std::vector<uint8_t>{0x41, 1, 1, 0, 0, 12, 0, 0, 2, 12}));
  EXPECT_EQ(read(plextor, 31).Data[1], 110);  // lead-out
  EmulatedDrive plain(BuildDisc(spec));
  EXPECT_EQ(read(plain, 31).Data[1], 0xAA);
  EXPECT_EQ(read(plain, 12).Data[9], 0x12);
}

TEST_F(ReadTest, ReadCddaReturnsDataSectorsScrambled) {
  Reply raw = DataIn(Drive(), ReadCdCdb(4, 2, 0xF8), 2 * 2352);
  Reply cdda = DataIn(Drive(), ReadCddaCdb(4, 2, 0), 2 * 2352);
  ASSERT_TRUE(raw.Result.Good());
  ASSERT_TRUE(cdda.Result.Good());
  EXPECT_EQ(cdda.Result.Residual, 0u);
  EXPECT_NE(Slice(cdda.Data, 12, 2352), Slice(raw.Data, 12, 2352));
  for (int s = 0; s < 2; ++s) ASSERT_TRUE(Descramble(cdda.Data.data() + s * 2352, 0, 2352));
  EXPECT_EQ(cdda.Data, raw.Data);

  Reply audio = DataIn(Drive(), ReadCddaCdb(L::Audio + 2, 1, 0), 2352);
  EXPECT_EQ(Slice(audio.Data, 0, 2352), Slice(Main(L::Audio + 2), 0, 2352));
}

TEST_F(ReadTest, ReadCddaSubCodesAndTheUnsupportedProfile) {
  disc->Profile.BinaryQ = true;  // not used by READ CDDA
  Reply q = DataIn(Drive(), ReadCddaCdb(L::Audio + 5, 1, 1), 2368);
  ASSERT_TRUE(q.Result.Good());
  EXPECT_EQ(Slice(q.Data, 0, 2352), Slice(Main(L::Audio + 5), 0, 2352));
  EXPECT_EQ(q.Data[2352 + 9], 0x40);  // BCD frame

  Reply pw = DataIn(Drive(), ReadCddaCdb(L::Audio + 5, 2, 2), 2 * 2448);
  ASSERT_TRUE(pw.Result.Good());
  Reply pwOnly = DataIn(Drive(), ReadCddaCdb(L::Audio + 5, 2, 3), 2 * 96);
  ASSERT_TRUE(pwOnly.Result.Good());
  EXPECT_EQ(pwOnly.Result.Residual, 0u);
  EXPECT_EQ(Slice(pw.Data, 2352, 2448), Slice(pwOnly.Data, 0, 96));
  EXPECT_EQ(Slice(pw.Data, 2448 + 2352, 2 * 2448), Slice(pwOnly.Data, 96, 192));
  EXPECT_EQ(DataIn(Drive(), ReadCddaCdb(L::Audio, 1, 4), 2352).Result.Asc(), 0x24);

  disc->Profile.ReadCddaSupported = false;
  EmulatedDrive noCdda(disc);
  Reply r = DataIn(noCdda, ReadCddaCdb(L::Audio, 1, 0), 2352);
  EXPECT_EQ(r.Result.SenseKey(), 0x05);
  EXPECT_EQ(r.Result.Asc(), 0x20);
  EXPECT_EQ(r.Result.Residual, 2352u);
}

TEST_F(ReadTest, Read10UsesTheBlockLengthSetByModeSelect) {
  Reply user = DataIn(Drive(), Read10Cdb(3, 2), 4096);
  ASSERT_TRUE(user.Result.Good());
  EXPECT_EQ(Slice(user.Data, 2048, 4096), Slice(Main(4), 16, 2064));
  Reply form1 = DataIn(Drive(), Read10Cdb(L::Form1, 1), 2048);
  EXPECT_EQ(Slice(form1.Data, 0, 2048), Slice(Main(L::Form1), 24, 2072));
  EXPECT_EQ(DataIn(Drive(), Read10Cdb(L::Audio, 1), 2048).Result.Asc(), 0x64);
  EXPECT_EQ(DataIn(Drive(), Read10Cdb(L::Form2, 1), 2048).Result.Asc(), 0x64);

  ASSERT_TRUE(SetBlockLength(Drive(), 2352).Good());
  EXPECT_EQ(Drive().BlockLength(), 2352u);
  Reply audio = DataIn(Drive(), Read10Cdb(L::Audio + 1, 2), 2 * 2352);
  ASSERT_TRUE(audio.Result.Good());
  EXPECT_EQ(Slice(audio.Data, 2352, 4704), Slice(Main(L::Audio + 2), 0, 2352));
  Reply raw = DataIn(Drive(), Read10Cdb(7, 1), 2352);
  EXPECT_EQ(Slice(raw.Data, 0, 2352), Slice(Main(7), 0, 2352));
}

TEST_F(ReadTest, ScrambleAudioReadsProfileServesDataAsAudioWhereTheDriveThinksItIsAudio) {
  disc->Profile.ScrambleAudioReads = true;
  Reply typed = DataIn(Drive(), ReadCdCdb(6, 1, 0x10, 0, 0x04), 2352);
  ASSERT_TRUE(typed.Result.Good());
  ASSERT_TRUE(Descramble(typed.Data.data(), 0, 2352));
  EXPECT_EQ(Slice(typed.Data, 0, 2352), Slice(Main(6), 0, 2352));
  // Type any on a data track the TOC calls data: cooked as usual.
  Reply any = DataIn(Drive(), ReadCdCdb(6, 1, 0x10), 2352);
  EXPECT_EQ(any.Result.Residual, 2352u - 2048u);

  // The TOC (damaged) calls track 1 audio: the drive reads it as audio.
  auto damaged = std::make_shared<Disc>(*disc);
  for (TocDescriptor& t : damaged->Toc)
    if (t.Point == 1) t.AdrControl = 0x10;
  EmulatedDrive other(damaged);
  Reply asAudio = DataIn(other, ReadCdCdb(6, 1, 0x10), 2352);
  ASSERT_TRUE(asAudio.Result.Good());
  EXPECT_EQ(asAudio.Result.Residual, 0u);
  ASSERT_TRUE(Descramble(asAudio.Data.data(), 0, 2352));
  EXPECT_EQ(Slice(asAudio.Data, 0, 2352), Slice(Main(6), 0, 2352));
}

TEST_F(ReadTest, ABufferSmallerThanTheTransferGetsWhatFits) {
  Reply r = DataIn(Drive(), ReadCdCdb(2, 3, 0xF8), 3000);
  ASSERT_TRUE(r.Result.Good());
  EXPECT_EQ(r.Result.Residual, 0u);
  EXPECT_EQ(Slice(r.Data, 0, 2352), Slice(Main(2), 0, 2352));
  EXPECT_EQ(Slice(r.Data, 2352, 3000), Slice(Main(3), 0, 648));

  EXPECT_TRUE(DataIn(Drive(), ReadCdCdb(2, 3, 0xF8), 0).Result.Good());
  Reply none = DataIn(Drive(), ReadCdCdb(2, 0, 0xF8), 2352);
  EXPECT_TRUE(none.Result.Good());
  EXPECT_EQ(none.Result.Residual, 2352u);
}

}  // namespace
}  // namespace emu::test
