// Writes an image set: streams the .img and .sub sector by sector from the inputs, then
// the .ccd and .flt, all under temporary names that are renamed into place at the end.
#include <stdio.h>  // renameat2
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "emulator/DiscBuilder.h"
#include "emulator/ImageSet.h"
#include "sector/Address.h"
#include "sector/Datasector.h"
#include "sector/SectorEncoder.h"

namespace emu {

namespace {

namespace fs = std::filesystem;

constexpr size_t kQOffset = 12;
constexpr size_t kBatchSectors = 256;
constexpr uint8_t kLeadOutTrack = 0xAA;
constexpr uint8_t kPointFirstTrack = 0xA0;
constexpr int32_t kLeadInRepeats = 3;  // each TOC entry fills three frames in a row

// A file written under a temporary name; removed unless moved into place.
class PendingFile {
 public:
  explicit PendingFile(fs::path final) : Final(std::move(final)) {
    Temp = Final;
    Temp += ".part-" + std::to_string(::getpid());
  }
  ~PendingFile() {
    if (!Placed) {
      std::error_code ec;
      fs::remove(Temp, ec);
    }
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const fs::path& TempPath() const { return Temp; }
  const fs::path& FinalPath() const { return Final; }

  bool Place(bool overwrite, std::string& error) {
    int rc = overwrite ? ::rename(Temp.c_str(), Final.c_str())
                       : ::renameat2(AT_FDCWD, Temp.c_str(), AT_FDCWD, Final.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && !overwrite && (errno == EINVAL || errno == ENOSYS)) {
      // The file system cannot rename without replacing: a hard link never replaces either.
      rc = ::link(Temp.c_str(), Final.c_str());
      if (rc == 0) ::unlink(Temp.c_str());
    }
    if (rc != 0) {
      error = Final.string() + (errno == EEXIST ? ": already exists" : ": " + std::string(std::strerror(errno)));
      return false;
    }
    Placed = true;
    return true;
  }

  // Takes a placed file back out (a later file of the set could not be placed).
  void Withdraw() {
    if (!Placed) return;
    std::error_code ec;
    fs::remove(Final, ec);
  }

 private:
  fs::path Final, Temp;
  bool Placed = false;
};

class ImageStreams {
 public:
  ImageStreams(const fs::path& img, const fs::path& sub)
      : Img(img, std::ios::binary | std::ios::trunc), Sub(sub, std::ios::binary | std::ios::trunc) {
    MainBatch.reserve(kBatchSectors * kRawSectorSize);
    SubBatch.reserve(kBatchSectors * kSubchannelSize);
  }
  bool Open() const { return Img.is_open() && Sub.is_open(); }
  void Put(const uint8_t* main, const uint8_t* sub) {
    MainBatch.insert(MainBatch.end(), main, main + kRawSectorSize);
    SubBatch.insert(SubBatch.end(), sub, sub + kSubchannelSize);
    if (MainBatch.size() >= kBatchSectors * kRawSectorSize) Flush();
  }
  bool Finish() {
    Flush();
    Img.close();
    Sub.close();
    return !Img.fail() && !Sub.fail();
  }

 private:
  void Flush() {
    Img.write(reinterpret_cast<const char*>(MainBatch.data()), static_cast<std::streamsize>(MainBatch.size()));
    Sub.write(reinterpret_cast<const char*>(SubBatch.data()), static_cast<std::streamsize>(SubBatch.size()));
    MainBatch.clear();
    SubBatch.clear();
  }
  std::ofstream Img, Sub;
  std::vector<uint8_t> MainBatch, SubBatch;
};

// Produces the sectors of the image in LBA order.
class SectorSource {
 public:
  SectorSource(const DiscSpec& spec, const DiscLayout& layout, ImageStreams& out)
      : Spec(spec), Layout(layout), Out(out) {}

  bool Run(std::string& error) {
    for (size_t s = 0; s < Layout.Sessions.size(); ++s) {
      const SessionLayout& session = Layout.Sessions[s];
      for (int t = session.FirstTrack; t <= session.LastTrack; ++t)
        if (!WriteTrack(Layout.Tracks[t], Spec.Sessions[s].Tracks[t - session.FirstTrack], error)) return false;
      if (s + 1 < Layout.Sessions.size()) WriteGap(s);
    }
    return true;
  }

 private:
  bool WriteTrack(const TrackLayout& track, const TrackSpec& spec, std::string& error) {
    if (track.PregapRecorded) {
      std::array<uint8_t, kRawSectorSize> zero{};
      for (int32_t lba = track.PregapLba; lba < track.StartLba; ++lba) {
        ClearSector();
        EncodeData(track.Kind, lba, zero.data(), false);
        WritePregapSub(track, lba);
        Emit(lba);
      }
    }
    std::ifstream in(spec.File, std::ios::binary);
    if (!in || !in.seekg(static_cast<std::streamoff>(track.DataOffset))) {
      error = spec.File.string() + ": cannot read the file";
      return false;
    }
    const uint32_t unit = SectorPayloadBytes(track.Kind);
    std::array<uint8_t, kRawSectorSize> payload{};
    uint64_t remaining = track.DataBytes;
    for (int32_t lba = track.StartLba; lba < track.EndLba; ++lba) {
      const uint64_t take = std::min<uint64_t>(unit, remaining);
      payload.fill(0);
      if (!in.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(take))) {
        error = spec.File.string() + ": the file ended early (changed while the disc was built?)";
        return false;
      }
      remaining -= take;
      ClearSector();
      EncodeData(track.Kind, lba, payload.data(), lba + 1 == track.EndLba);
      EncodeTrackQ(track, lba);
      Emit(lba);
    }
    return true;
  }

  void EncodeTrackQ(const TrackLayout& track, int32_t lba) {
    uint8_t* q = Sub.data() + kQOffset;
    const uint8_t adr = Spec.ModeQFrames ? ModeQAdrAt(lba, track.Kind) : 1;
    if (adr != 1) return EncodeModeQFrame(q, track.Control, adr, lba);
    EncodeQFrame(q, track.Control, static_cast<uint8_t>(track.Number), 1, lba - track.StartLba, LbaToFrames(lba));
  }

  // The lead-out of session s, the lead-in of the next and, unless it is recorded as the
  // next track's pregap, that session's first pregap. Their main channel stays zero; a
  // bare disc has no sub-channel there either.
  void WriteGap(size_t s) {
    const SessionLayout& session = Layout.Sessions[s];
    const TrackLayout& next = Layout.Tracks[Layout.Sessions[s + 1].FirstTrack];
    const int32_t leadIn = session.LeadOutLba + session.LeadOutFrames;
    const int32_t end = next.PregapRecorded ? next.PregapLba : next.StartLba;
    const uint8_t control = Layout.Tracks[session.LastTrack].Control;
    std::vector<TocDescriptor> toc;
    for (const TocDescriptor& d : SessionToc(Layout, s + 1, TocDamage{}))
      if (d.AdrControl >> 4 == 1) toc.push_back(d);
    for (int32_t lba = session.LeadOutLba; lba < end; ++lba) {
      ClearSector();
      if (Spec.RecordLeadAreas && lba < leadIn)
        EncodeQFrame(Sub.data() + kQOffset, control, kLeadOutTrack, 1, lba - session.LeadOutLba, LbaToFrames(lba));
      else if (Spec.RecordLeadAreas && lba < leadIn + kLeadInFrames)
        EncodeLeadInQ(Sub.data() + kQOffset, toc[(lba - leadIn) / kLeadInRepeats % toc.size()], lba - leadIn);
      Emit(lba);
    }
  }

  // Mode-1 Q of a lead-in frame: track 0, the entry's point and values, the running time.
  static void EncodeLeadInQ(uint8_t* q, const TocDescriptor& d, int32_t running) {
    q[0] = static_cast<uint8_t>((d.AdrControl & 0x0F) << 4 | d.AdrControl >> 4);
    q[1] = 0;
    q[2] = d.Point <= 99 ? BinToBcd(d.Point) : d.Point;
    const TPackedMsf time = FramesToMsf(running);
    q[3] = BinToBcd(PackedMsfMinute(time));
    q[4] = BinToBcd(PackedMsfSecond(time));
    q[5] = BinToBcd(PackedMsfFrame(time));
    q[6] = 0;
    q[7] = BinToBcd(d.PMin);
    q[8] = d.Point == kPointFirstTrack ? d.PSec : BinToBcd(d.PSec);  // A0 carries the disc type as it is
    q[9] = BinToBcd(d.PFrame);
    SetQFrameCrc(q);
  }

  void WritePregapSub(const TrackLayout& track, int32_t lba) {
    std::memset(Sub.data(), 0xFF, 12);  // P marks the pause
    EncodeQFrame(Sub.data() + kQOffset, track.Control, static_cast<uint8_t>(track.Number), 0,
                 track.StartLba - 1 - lba, LbaToFrames(lba));
  }

  void EncodeData(SectorKind kind, int32_t lba, const uint8_t* payload, bool lastOfFile) {
    const int64_t frame = LbaToFrames(lba);
    // Submode: data (0x08) or Form 2 (0x20); a recorder ends the file with EOR and EOF.
    const uint8_t endBits = lastOfFile ? 0x81 : 0x00;
    switch (kind) {
      case SectorKind::Audio: std::memcpy(Main.data(), payload, kRawSectorSize); break;
      case SectorKind::Mode1: EncodeMode1Sector(Main.data(), frame, payload); break;
      case SectorKind::Mode2Form1: {
        const uint8_t subheader[4] = {0, 0, static_cast<uint8_t>(0x08 | endBits), 0};
        EncodeMode2Form1Sector(Main.data(), frame, subheader, payload);
        break;
      }
      case SectorKind::Mode2Form2: {
        const uint8_t subheader[4] = {0, 0, static_cast<uint8_t>(0x20 | endBits), 0};
        EncodeMode2Form2Sector(Main.data(), frame, subheader, payload, true);
        break;
      }
      case SectorKind::Mode2Formless: EncodeMode2FormlessSector(Main.data(), frame, payload); break;
    }
  }

  void ClearSector() {
    Main.fill(0);
    Sub.fill(0);
  }

  void Emit(int32_t lba) {
    for (const QDamage& damage : Spec.QDamages)
      if (lba >= damage.FirstLba && lba < damage.EndLba) Damage(damage.Kind, lba);
    Out.Put(Main.data(), Sub.data());
  }

  void Damage(QDamageKind kind, int32_t lba) {
    uint8_t* q = Sub.data() + kQOffset;
    switch (kind) {
      case QDamageKind::Zero: std::memset(q, 0, 12); break;
      case QDamageKind::BadCrc: {
        uint32_t x = static_cast<uint32_t>(lba) * 2654435761u + 0x9E3779B9u;
        for (int i = 1; i < 10; ++i) {
          x ^= x << 13;
          x ^= x >> 17;
          x ^= x << 5;
          q[i] = static_cast<uint8_t>(x);
        }
        const uint16_t wrong = static_cast<uint16_t>(QFrameCrc(q) ^ 0x5A5A);
        q[10] = static_cast<uint8_t>(wrong >> 8);
        q[11] = static_cast<uint8_t>(wrong);
        break;
      }
      case QDamageKind::WrongTrack: {
        const int track = q[1] == 0xAA ? 0 : BcdToBin(q[1]);
        const int index = BcdToBin(q[2]);
        q[1] = BinToBcd(static_cast<uint8_t>(track % 99 + 1));
        q[2] = BinToBcd(index == 1 ? 0 : 1);
        SetQFrameCrc(q);
        break;
      }
    }
  }

  const DiscSpec& Spec;
  const DiscLayout& Layout;
  ImageStreams& Out;
  std::array<uint8_t, kRawSectorSize> Main{};
  std::array<uint8_t, kSubchannelSize> Sub{};
};

fs::path BaseName(const fs::path& name) {
  const std::string ext = name.extension().string();
  if (ext == ".ccd" || ext == ".img" || ext == ".sub" || ext == ".flt") return fs::path(name).replace_extension();
  return name;
}

fs::path WithExtension(const fs::path& base, const char* ext) {
  fs::path p = base;
  p += ext;
  return p;
}

}  // namespace

uint8_t ModeQAdrAt(int32_t lba, SectorKind kind) {
  if (lba % 100 == 25) return 2;
  if (lba % 100 == 50 && kind == SectorKind::Audio) return 3;
  return 1;
}

void EncodeModeQFrame(uint8_t q[12], uint8_t control, uint8_t adr, int32_t lba) {
  // Catalogue 0123456789012 in BCD; ISRC "QN-LAB-26-00042" as five 6-bit characters
  // and BCD digits. Both end with the absolute frame.
  static constexpr std::array<uint8_t, 8> kCatalogue = {0x01, 0x23, 0x45, 0x67, 0x89, 0x01, 0x20, 0x00};
  static constexpr std::array<uint8_t, 8> kIsrc = {0x85, 0x27, 0x1B, 0x20, 0x26, 0x00, 0x04, 0x20};
  q[0] = static_cast<uint8_t>((control & 0x0F) << 4 | adr);
  std::copy_n((adr == 2 ? kCatalogue : kIsrc).begin(), 8, q + 1);
  q[9] = BinToBcd(static_cast<uint8_t>(LbaToFrames(lba) % 75));
  SetQFrameCrc(q);
}

bool BuildImageSet(const DiscSpec& spec, const fs::path& name, bool overwrite, std::string& error,
                   DiscLayout* layoutOut) {
  if (name.empty() || name.filename().empty()) {
    error = "no output name given";
    return false;
  }
  DiscLayout layout;
  if (!PlanDisc(spec, layout, error)) return false;

  const fs::path base = BaseName(name);
  std::array<PendingFile, 4> files = {PendingFile(WithExtension(base, ".img")), PendingFile(WithExtension(base, ".sub")),
                                      PendingFile(WithExtension(base, ".ccd")), PendingFile(WithExtension(base, ".flt"))};
  std::error_code ec;
  if (!overwrite)
    for (const PendingFile& f : files)
      if (fs::symlink_status(f.FinalPath(), ec).type() != fs::file_type::not_found) {
        error = f.FinalPath().string() + ": already exists; not replaced";
        return false;
      }
  if (base.has_parent_path()) {
    fs::create_directories(base.parent_path(), ec);
    if (ec) {
      error = base.parent_path().string() + ": " + ec.message();
      return false;
    }
  }

  {
    ImageStreams streams(files[0].TempPath(), files[1].TempPath());
    if (!streams.Open()) {
      error = files[0].FinalPath().string() + ": cannot create the file (" + std::strerror(errno) + ")";
      return false;
    }
    SectorSource source(spec, layout, streams);
    if (!source.Run(error)) return false;
    if (!streams.Finish()) {
      error = files[0].FinalPath().string() + ": write failed (" + std::strerror(errno) + ")";
      return false;
    }
  }
  Disc disc = DescribeDisc(spec, layout);
  // The control file finds the pregaps in the image from the index 0 frames of the .sub.
  disc.Store = MappedSectorStore::Open(files[0].TempPath(), files[1].TempPath(), error);
  if (!disc.Store) return false;
  if (!WriteControlFile(files[2].TempPath(), disc, error) || !WriteFaultFile(files[3].TempPath(), disc, error))
    return false;

  for (size_t i = 0; i < files.size(); ++i) {
    if (!files[i].Place(overwrite, error)) {
      for (size_t j = 0; j < i; ++j) files[j].Withdraw();
      return false;
    }
  }
  if (layoutOut) *layoutOut = std::move(layout);
  return true;
}

}  // namespace emu
