#include "tests/emulator/support/TestDiscs.h"

#include <algorithm>
#include <array>

#include "sector/SectorEncoder.h"

namespace emu::test {
namespace {

struct Placed {
  TrackSpec Spec;
  uint8_t Number;
  uint8_t Session;
  int32_t PregapLba, StartLba, EndLba;
};

uint8_t ControlOf(const TrackSpec& t) {
  if (t.Kind != SectorKind::Audio) return 0x04;
  return t.PreEmphasis ? 0x01 : 0x00;
}

TocDescriptor Descriptor(uint8_t session, uint8_t adr, uint8_t control, uint8_t point, int64_t pFrames) {
  TocDescriptor d;
  d.Session = session;
  d.AdrControl = static_cast<uint8_t>(adr << 4 | control);
  d.Point = point;
  d.PMin = static_cast<uint8_t>(pFrames / 4500);
  d.PSec = static_cast<uint8_t>(pFrames / 75 % 60);
  d.PFrame = static_cast<uint8_t>(pFrames % 75);
  return d;
}

void EncodeSector(uint8_t* sector, SectorKind kind, int32_t lba) {
  std::array<uint8_t, 2352> user;
  for (size_t i = 0; i < user.size(); ++i) user[i] = PatternByte(lba, i);
  const int64_t frame = int64_t{lba} + 150;
  switch (kind) {
    case SectorKind::Audio: std::copy(user.begin(), user.end(), sector); break;
    case SectorKind::Mode1: EncodeMode1Sector(sector, frame, user.data()); break;
    case SectorKind::Mode2Form1: {
      const uint8_t sh[4] = {1, 0, kForm1Submode, 0};
      EncodeMode2Form1Sector(sector, frame, sh, user.data());
      break;
    }
    case SectorKind::Mode2Form2: {
      const uint8_t sh[4] = {1, 0, kForm2Submode, 0};
      EncodeMode2Form2Sector(sector, frame, sh, user.data(), true);
      break;
    }
    case SectorKind::Mode2Formless: EncodeMode2FormlessSector(sector, frame, user.data()); break;
  }
}

void WriteSub(uint8_t* sub, int32_t lba, bool pause, uint8_t control, uint8_t track, uint8_t index, int64_t relative) {
  std::fill(sub, sub + 12, pause ? 0xFF : 0x00);  // P: set in pauses
  EncodeQFrame(sub + 12, control, track, index, relative, int64_t{lba} + 150);
  for (size_t i = 24; i < 96; ++i) sub[i] = static_cast<uint8_t>(lba * 7 + i * 13);  // R..W: a pattern
}

}  // namespace

uint8_t PatternByte(int32_t lba, size_t index) {
  return static_cast<uint8_t>((static_cast<uint32_t>(lba) * 131u + index * 7u + (index >> 8)) & 0xFF);
}

std::shared_ptr<Disc> BuildDisc(const DiscSpec& spec) {
  auto disc = std::make_shared<Disc>();
  std::vector<Placed> tracks;
  std::vector<int32_t> leadOuts;
  int32_t lba = 0;
  uint8_t number = 1;
  bool mode2 = false;
  for (size_t s = 0; s < spec.Sessions.size(); ++s) {
    if (s > 0) lba += spec.SessionGap;
    for (const TrackSpec& t : spec.Sessions[s]) {
      mode2 = mode2 || (t.Kind != SectorKind::Audio && t.Kind != SectorKind::Mode1);
      Placed p{t, number++, static_cast<uint8_t>(s + 1), lba, lba + t.Pregap, lba + t.Pregap + t.Sectors};
      tracks.push_back(p);
      lba = p.EndLba;
    }
    leadOuts.push_back(lba);
  }
  const int32_t physicalEnd = lba + spec.RecordedBeyond;

  disc->FirstSession = 1;
  disc->LastSession = static_cast<uint8_t>(spec.Sessions.size());
  for (size_t s = 0; s < spec.Sessions.size(); ++s) {
    const auto session = static_cast<uint8_t>(s + 1);
    std::vector<const Placed*> mine;
    for (const Placed& p : tracks)
      if (p.Session == session) mine.push_back(&p);
    if (mine.empty()) continue;
    const uint8_t firstControl = ControlOf(mine.front()->Spec), lastControl = ControlOf(mine.back()->Spec);
    TocDescriptor a0 = Descriptor(session, 1, firstControl, 0xA0, 0);
    a0.PMin = mine.front()->Number;
    a0.PSec = mode2 ? 0x20 : 0x00;
    TocDescriptor a1 = Descriptor(session, 1, lastControl, 0xA1, 0);
    a1.PMin = mine.back()->Number;
    disc->Toc.push_back(a0);
    disc->Toc.push_back(a1);
    disc->Toc.push_back(Descriptor(session, 1, lastControl, 0xA2, int64_t{leadOuts[s]} + 150));
    if (s + 1 < spec.Sessions.size()) {
      TocDescriptor b0 = Descriptor(session, 5, lastControl, 0xB0, 79 * 4500 + 59 * 75 + 74);
      const int64_t next = int64_t{leadOuts[s]} + spec.SessionGap + 150;
      b0.Min = static_cast<uint8_t>(next / 4500);
      b0.Sec = static_cast<uint8_t>(next / 75 % 60);
      b0.Frame = static_cast<uint8_t>(next % 75);
      disc->Toc.push_back(b0);
      if (s == 0) disc->Toc.push_back(Descriptor(session, 5, lastControl, 0xC0, 97 * 4500 + 26 * 75 + 66));
    }
    for (const Placed* p : mine)
      disc->Toc.push_back(Descriptor(session, 1, ControlOf(p->Spec), p->Number, int64_t{p->StartLba} + 150));
  }

  auto store = std::make_shared<MemorySectorStore>(physicalEnd);
  for (const Placed& p : tracks) {
    const uint8_t control = ControlOf(p.Spec);
    disc->Layout.push_back({p.PregapLba, p.EndLba, p.Spec.Kind, control});
    for (int32_t x = p.PregapLba; x < p.EndLba; ++x) {
      EncodeSector(store->MutableMain(x), p.Spec.Kind, x);
      const bool pregap = x < p.StartLba;
      WriteSub(store->MutableSub(x), x, pregap, control, p.Number, pregap ? 0 : 1,
               pregap ? p.StartLba - 1 - x : x - p.StartLba);
    }
  }
  if (spec.RecordedBeyond > 0 && !tracks.empty()) {
    const Placed& last = tracks.back();
    disc->Layout.back().EndLba = physicalEnd;
    for (int32_t x = last.EndLba; x < physicalEnd; ++x) {
      EncodeSector(store->MutableMain(x), last.Spec.Kind, x);
      WriteSub(store->MutableSub(x), x, false, ControlOf(last.Spec), 0xAA, 1, x - last.EndLba);
    }
  }
  disc->Store = store;
  return disc;
}

DiscSpec Mode1Disc(int32_t sectors) {
  DiscSpec spec;
  spec.Sessions = {{TrackSpec{SectorKind::Mode1, sectors}}};
  return spec;
}

DiscSpec MixedDisc() {
  DiscSpec spec;
  spec.Sessions = {
      {TrackSpec{SectorKind::Mode1, 30}, TrackSpec{SectorKind::Audio, 20, 5},
       TrackSpec{SectorKind::Audio, 20, 0, true}},
      {TrackSpec{SectorKind::Mode2Form1, 15}, TrackSpec{SectorKind::Mode2Form2, 15}},
  };
  return spec;
}

Reply DataIn(EmulatedDrive& drive, const std::vector<uint8_t>& cdb, size_t bufferSize) {
  Reply r;
  r.Data.assign(bufferSize, 0xEE);  // untouched bytes stay recognisable
  r.Result = drive.Execute(cdb, DataDirection::In, r.Data, 30000);
  return r;
}

Reply DataIn(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb, size_t bufferSize) {
  return DataIn(drive, std::vector<uint8_t>(cdb), bufferSize);
}

Reply DataOut(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb, std::vector<uint8_t> data) {
  Reply r;
  r.Data = std::move(data);
  const std::vector<uint8_t> c(cdb);
  r.Result = drive.Execute(c, DataDirection::Out, r.Data, 15000);
  return r;
}

ScsiResult NoData(EmulatedDrive& drive, std::initializer_list<uint8_t> cdb) {
  const std::vector<uint8_t> c(cdb);
  return drive.Execute(c, DataDirection::None, {}, 15000);
}

std::vector<uint8_t> ReadCdCdb(int32_t lba, uint32_t count, uint8_t flags, uint8_t sub, uint8_t type) {
  const auto a = static_cast<uint32_t>(lba);
  return {0xBE, type, static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
          static_cast<uint8_t>(a), static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 8),
          static_cast<uint8_t>(count), flags, sub, 0};
}

std::vector<uint8_t> ReadCddaCdb(int32_t lba, uint32_t count, uint8_t subCode) {
  const auto a = static_cast<uint32_t>(lba);
  return {0xD8, 0, static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
          static_cast<uint8_t>(a), static_cast<uint8_t>(count >> 24), static_cast<uint8_t>(count >> 16),
          static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count), subCode, 0};
}

std::vector<uint8_t> Read10Cdb(int32_t lba, uint16_t count) {
  const auto a = static_cast<uint32_t>(lba);
  return {0x28, 0, static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
          static_cast<uint8_t>(a), 0, static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count), 0};
}

ScsiResult SetErrorRecovery(EmulatedDrive& drive, uint8_t value, int retryCount) {
  Reply sense = DataIn(drive, {0x5A, 0, 0x81, 0, 0, 0, 0, 0, 32, 0}, 32);
  if (!sense.Result.Good()) return sense.Result;
  const size_t length = (size_t{sense.Data[0]} << 8 | sense.Data[1]) + 2;
  const size_t page = 8 + (size_t{sense.Data[6]} << 8 | sense.Data[7]);
  std::vector<uint8_t> list(sense.Data.begin(), sense.Data.begin() + static_cast<std::ptrdiff_t>(length));
  list[0] = list[1] = 0;
  list[page] &= 0x7F;
  list[page + 2] = value;
  if (retryCount >= 0) list[page + 3] = static_cast<uint8_t>(retryCount);
  return DataOut(drive, {0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(length), 0}, list).Result;
}

ScsiResult SetBlockLength(EmulatedDrive& drive, uint32_t length) {
  std::vector<uint8_t> list(16, 0);
  list[7] = 8;
  list[8] = 0x82;
  list[13] = static_cast<uint8_t>(length >> 16);
  list[14] = static_cast<uint8_t>(length >> 8);
  list[15] = static_cast<uint8_t>(length);
  return DataOut(drive, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 16, 0}, list).Result;
}

int32_t SenseInfo(const ScsiResult& r) {
  return static_cast<int32_t>(uint32_t{r.Sense[3]} << 24 | uint32_t{r.Sense[4]} << 16 | uint32_t{r.Sense[5]} << 8 |
                              r.Sense[6]);
}

}  // namespace emu::test
