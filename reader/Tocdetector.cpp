#include "reader/Tocdetector.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "drive/Cdbbuild.h"
#include "drive/Transport.h"
#include "platform/Clock.h"
#include "reader/Discend.h"
#include "reader/Sectorreader.h"
#include "sector/Address.h"
#include "sector/Datasector.h"
#include "sector/Krbuffer.h"
#include "sector/Scramble.h"

namespace {

constexpr int32_t kTwoSectors = 2 * static_cast<int32_t>(kRawSectorSize);
constexpr int64_t kFileSystemSectors = 32;

// Audio reads hand data sectors back scrambled; the other reads only when the header
// shows it.
enum class TDescramble : uint8_t { IfScrambled, Always };

// The type of the sector whose sync starts in the first of the two read; false when no
// sync does. A formless sector is told only where the subheader copies came from the
// sector itself (the READ CD with header codes).
bool TypeAtSync(uint8_t* buffer, TDescramble descramble, bool tellFormless, uint8_t& type) {
  const int32_t sync = FindSync(buffer, kTwoSectors);
  if (sync < 0 || sync >= static_cast<int32_t>(kRawSectorSize)) return false;
  uint8_t* sector = buffer + sync;
  const int32_t length = std::min(kTwoSectors - sync, static_cast<int32_t>(kRawSectorSize));
  if (descramble == TDescramble::Always || IsScrambled(sector)) Descramble(sector, 0, static_cast<uint32_t>(length));
  type = ClassifySector(sector, {.TellFormless = tellFormless, .Otherwise = dtData});
  return true;
}

}  // namespace

TTocDetector::TTocDetector(std::vector<TCdTrack>& tracks, TSectorReader& reader) : Tracks(tracks), Reader(reader) {
  SetDefaults();
}

TTocDetector::~TTocDetector() = default;

void TTocDetector::SetDefaults() { Options = TTocOptions{}; }

void TTocDetector::SetDrive(const TKrCdRom& drive, const TDriveSetting& setting) {
  TWorkerEngine::SetDrive(drive, Bounded(setting));
}

void TTocDetector::Pause() const { platform::Sleep(Setting.Interval); }

uint32_t TTocDetector::Detect() {
  Tracks.clear();
  DiscEndAddress = 0;
  Failure = fcNone;

  TDiscToc toc{};
  const bool tocRead = CdbReadToc(TransportFor(Setting), CdRom, Setting.UseBCD != 0, toc);
  if (tocRead) DiscEndAddress = PackedMsfToFrames(toc.LeadOut);

  if (!Options.Manual) {
    if (tocRead) {
      const TReaderSession session(Reader);
      for (int t = 0; t < toc.TrackCount && t < 99; ++t) {
        const TDiscTocTrack& entry = toc.Tracks[t];
        TCdTrack track;
        track.SessionNo = entry.SessionNo;
        track.TrackNo = entry.TrackNo;
        track.Head = PackedMsfToFrames(entry.Start);
        track.Tail = PackedMsfToFrames(entry.End);
        if (track.Tail <= track.Head) continue;  // a TOC that lost this track's end
        if (entry.DataTrack) {
          track.DataType = DetectTrackType(track.Head, track.Tail);
          track.FileSystem = DetectFileSystem(track.Head, track.Tail, track.DataType);
        } else {
          track.DataType = dtAudio;
          track.FileSystem = entry.PreEmphasis ? fsCddaEmph : fsCdda;
        }
        Tracks.push_back(track);
      }
    }
    if (Options.Leadout) {
      const int64_t leadOut = tocRead ? PackedMsfToFrames(toc.LeadOut) : 0;
      RunSearch(std::max(kLbaOffset, leadOut), Options.LastAddress, 0);
    }
  } else if (Options.Leadout) {
    RunSearch(kLbaOffset, Options.LastAddress, 0);
  } else if (tocRead) {
    for (int i = 0; i < toc.SessionCount && i < 99; ++i) {
      const TDiscTocSession& session = toc.Sessions[i];
      if (!RunSearch(PackedMsfToFrames(session.Start), PackedMsfToFrames(session.LeadOut),
                     static_cast<uint8_t>(i + 1)))
        break;
    }
  }
  return static_cast<uint32_t>(Tracks.size());
}

bool TTocDetector::RunSearch(int64_t start, int64_t end, uint8_t session) {
  return Options.FastSearch ? StartFastSearch(start, end, session) : StartLinearSearch(start, end, session);
}

uint8_t TTocDetector::DetectDataType(int64_t address) {
  uint8_t type = dtData;
  ReadDataType(address, type);
  return type;
}

uint8_t TTocDetector::DetectTrackType(int64_t head, int64_t tail) {
  uint8_t type = dtData;
  if (ReadDataType(head, type)) return type;
  // One failed read (a sector that reads only on some attempts) does not make a track
  // plain data: the next pairs of its first sectors are asked.
  for (int64_t at = head + 2; at < head + 2 * kTypeProbes && at + 1 < tail; at += 2) {
    Pause();
    if (ReadDataType(at, type)) return type;
  }
  return dtData;
}

bool TTocDetector::ReadDataType(int64_t address, uint8_t& type) {
  type = dtData;
  TKrParagraphBoundaryBuffer area(kTwoSectors);
  uint8_t* buffer = area.GetBuffer();
  if (buffer == nullptr) return false;
  const TScsiExec exec = TransportFor(Setting);
  bool read = false;

  std::memset(buffer, 0, kTwoSectors);
  // Sync, header codes, user data and EDC/ECC of any sector type.
  if (CdbReadCdEx(exec, CdRom, address, 2, 0, /*sync=*/true, /*edcEcc=*/true, /*userData=*/true, 0x60, 0, buffer)) {
    read = true;
    if (TypeAtSync(buffer, TDescramble::IfScrambled, /*tellFormless=*/true, type)) return true;
  }
  Pause();
  std::memset(buffer, 0, kTwoSectors);
  if (CdbReadCdda(exec, CdRom, address, 2, 0, buffer)) {
    read = true;
    if (TypeAtSync(buffer, TDescramble::Always, /*tellFormless=*/false, type)) return true;
  }
  Pause();
  std::memset(buffer, 0, kTwoSectors);
  if (CdbReadCd(exec, CdRom, address, 2, 0, buffer)) {
    read = true;
    if (TypeAtSync(buffer, TDescramble::IfScrambled, /*tellFormless=*/false, type)) return true;
  }
  return read;
}

uint8_t TTocDetector::DetectFileSystem(int64_t head, int64_t tail, uint8_t dataType) {
  const int64_t end = std::min(head + kFileSystemSectors, tail);
  std::vector<int64_t> failed;
  for (int64_t address = head; address < end; ++address) {
    const TMark mark = VolumeMarkAt(address, dataType);
    if (mark == TMark::Found) return fsIso9660;
    if (mark == TMark::Unread) failed.push_back(address);
  }
  // Asked again now that other sectors were read: a drive's cache answers a re-read
  // straight after with the same failure.
  for (const int64_t address : failed)
    if (VolumeMarkAt(address, dataType) == TMark::Found) return fsIso9660;
  return fsUnknown;
}

TTocDetector::TMark TTocDetector::VolumeMarkAt(int64_t address, uint8_t dataType) {
  uint8_t buffer[kRawSectorSize] = {};
  uint8_t reported = 0;
  if (!Reader.ReadSector(address, dataType, reported, buffer)) return TMark::Unread;
  uint32_t offset = 0;
  GetUserDataLayout(reported, nullptr, &offset);
  return std::memcmp(buffer + offset + 1, "CD001", 5) == 0 ? TMark::Found : TMark::Absent;
}

bool TTocDetector::StartFastSearch(int64_t start, int64_t end, uint8_t session) {
  return StartSearch(start, end, session, true);
}

bool TTocDetector::StartLinearSearch(int64_t start, int64_t end, uint8_t session) {
  return StartSearch(start, end, session, false);
}

bool TTocDetector::StartSearch(int64_t start, int64_t end, uint8_t session, bool fast) {
  // Q can be asked only of frames 00:00:00 .. 99:59:74.
  start = std::max<int64_t>(start, 0);
  end = std::min<int64_t>(end, kLeadInEndFrame);
  if (end <= start) return true;  // nothing to search, nothing found
  SearchStart = start;
  SearchEnd = end;
  SearchSession = session;
  FirstFound = Tracks.size();
  Drift = 0;

  TWorkerJob job;
  job.Prepare = [this] {
    Utility.SpinUp(kSpinUpMs);
    return true;
  };
  job.Work = [this, fast] {
    const TReaderSession session(Reader);
    if (fast) FastSearch();
    else LinearSearch();
  };
  return Launch("Searching tracks...", std::move(job));
}
